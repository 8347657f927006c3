// The backup manifest: what backup writes, restore and verify read back the same; a manifest
// that does not say clearly what to restore is refused as damaged, naming the entry.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/FileIO.h"
#include "base/Sha256.h"
#include "commands/Manifest.h"
#include "core/device/DeviceTestSupport.h"
#include "support/TestFiles.h"

namespace zub {
namespace {

void WriteText(const std::filesystem::path& file, const std::string& text) {
  WriteFileAtomic(file.string(),
                  Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

const std::string kSha(64, 'a');

TEST(Manifest, WhatBackupWritesIsWhatRestoreReads) {
  TManifest m;
  m.Tool = "zub 3.0";
  m.Date = "2025-03-04T05:06:07Z";
  m.Cable = "service";
  m.Library = "cte_gbp.dll";
  m.Port = 3;
  m.Scope = "all";
  m.Entries = {
      {{2, 1}, TBackupState::Present, 6020, Sha256Hex(Bytes()), ""},
      {{2, 8}, TBackupState::Empty, 0, "", ""},
      {{255, 255}, TBackupState::Absent, 0, "", ""},
      {{17, 2}, TBackupState::Unreadable, 0, "", "the device library answered -10\nto the read"},
  };
  const auto dir = test::FreshTestDir();
  WriteText(dir / kManifestName, ManifestText(m));

  std::string error;
  const auto back = LoadManifest(dir, error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->Tool, m.Tool);
  EXPECT_EQ(back->Date, m.Date);
  EXPECT_EQ(back->Cable, m.Cable);
  EXPECT_EQ(back->Library, m.Library);
  EXPECT_EQ(back->Port, 3);
  EXPECT_EQ(back->Scope, m.Scope);
  ASSERT_EQ(back->Entries.size(), m.Entries.size());
  for (std::size_t i = 0; i < m.Entries.size(); ++i) {
    SCOPED_TRACE(m.Entries[i].Address.Text());
    EXPECT_EQ(back->Entries[i].Address, m.Entries[i].Address);
    EXPECT_EQ(back->Entries[i].State, m.Entries[i].State);
    EXPECT_EQ(back->Entries[i].Size, m.Entries[i].Size);
    EXPECT_EQ(back->Entries[i].Sha256, m.Entries[i].Sha256);
  }
  // The reason keeps to one line, so it cannot end the key early.
  EXPECT_EQ(back->Entries[3].Error, "the device library answered -10 to the read");
  // The SHA-256 of nothing, as every implementation knows it.
  EXPECT_EQ(back->Entries[0].Sha256,
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Manifest, UnclearManifestsAreRefusedAsDamagedNamingTheEntry) {
  const std::string present = "State=present\nSize=4\nSHA-256=" + kSha + "\n";
  const struct {
    const char* name;
    std::string text;  // empty: no manifest file at all
    const char* error;
  } cases[] = {
      {"no file", "", "there is no manifest.ini in"},
      {"no sections", "[Backup]\nTool=zub 3.0\n", "is damaged: manifest.ini: lists no section"},
      {"bad address", "[Sections]\nsection1=2-300\n", "section1=2-300 is no section S-SS"},
      {"listed twice", "[Sections]\nsection1=2-1\nsection2=2-1\n[2-1]\nState=empty\nSize=0\n",
       "2-1 is listed twice"},
      {"unknown state", "[Sections]\nsection1=2-1\n[2-1]\nState=fine\nSize=0\n",
       "2-1 has no valid State (\"fine\")"},
      {"no size", "[Sections]\nsection1=2-1\n[2-1]\nState=empty\n", "2-1 has no valid Size"},
      {"negative size", "[Sections]\nsection1=2-1\n[2-1]\nState=present\nSize=-1\nSHA-256=" + kSha,
       "2-1 has no valid Size"},
      {"present without hash", "[Sections]\nsection1=2-1\n[2-1]\nState=present\nSize=4\n",
       "2-1 has no valid SHA-256"},
      {"short hash",
       "[Sections]\nsection1=2-1\n[2-1]\nState=present\nSize=4\nSHA-256=" + kSha.substr(1),
       "2-1 has no valid SHA-256"},
      {"empty with a size", "[Sections]\nsection1=2-1\n[2-1]\nState=empty\nSize=5\n",
       "2-1 is empty but has the size 5"},
      // Every entry after a gap would otherwise be dropped without a word.
      {"a gap in the numbering",
       "[Sections]\nsection1=2-1\nsection2=2-2\nsection4=2-4\n[2-1]\n" + present + "[2-2]\n" +
           present + "[2-4]\n" + present,
       "is damaged: manifest.ini: section3 is missing, but section4 follows"},
      {"numbering that starts late", "[Sections]\nsection2=2-1\n[2-1]\n" + present,
       "section1 is missing, but section2 follows"},
      // More than a section may hold: refused before any file is read.
      {"beyond 16 MiB",
       "[Sections]\nsection1=2-1\n[2-1]\nState=present\nSize=1073741824\nSHA-256=" + kSha,
       "2-1 has the size 1073741824, more than the 16 MiB a section may hold"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto dir = test::FreshTestDir();
    if (!c.text.empty()) WriteText(dir / kManifestName, c.text);
    std::string error;
    EXPECT_FALSE(LoadManifest(dir, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(Manifest, AManifestThatIsALinkIsRefused) {
  const auto dir = test::FreshTestDir();
  if (!test::LinksPossible(dir)) GTEST_SKIP() << "this system makes no symbolic links";
  WriteText(dir / "elsewhere.ini", "[Sections]\nsection1=2-1\n[2-1]\nState=empty\nSize=0\n");
  std::filesystem::create_symlink(dir / "elsewhere.ini", dir / kManifestName);
  std::string error;
  EXPECT_FALSE(LoadManifest(dir, error));
  EXPECT_NE(error.find("it is a link or no regular file"), std::string::npos) << error;
}

}  // namespace
}  // namespace zub
