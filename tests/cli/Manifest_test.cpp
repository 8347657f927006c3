// The backup manifest: what backup writes, restore and verify read back the same; a manifest
// that does not say clearly what to restore is refused. And the list's texts: titles in the
// telephone's code page come out as UTF-8, JSON strings are escaped.
#include <gtest/gtest.h>

#include "Commands.h"
#include "Manifest.h"
#include "base/FileIO.h"
#include "core/device/DeviceTestSupport.h"

namespace zub::cli {
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
      {{2, 1}, TSectionState::Present, 6020, Sha256Hex(Bytes()), ""},
      {{2, 8}, TSectionState::Empty, 0, "", ""},
      {{255, 255}, TSectionState::Absent, 0, "", ""},
      {{17, 2}, TSectionState::Unreadable, 0, "", "the device library answered -10\nto the read"},
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
    SCOPED_TRACE(AddressText(m.Entries[i].Address));
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

TEST(Manifest, UnclearManifestsAreRefused) {
  const struct {
    const char* name;
    std::string text;  // empty: no manifest file at all
    const char* error;
  } cases[] = {
      {"no file", "", "there is no manifest.ini in"},
      {"no sections", "[Backup]\nTool=zub 3.0\n", "lists no section"},
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

TEST(ListRows, ShowTheGridsTextsAsUtf8AndEscapedJson) {
  TSectInfo program;
  program.Section = 2;
  program.SubSection = 3;
  program.Kind = skProgram;
  program.Title = "Chess";
  program.Format = 0x20010000;
  program.Size = 710;
  program.Compression = 1;
  program.UnpackedSize = 1000;
  program.MaxSize = 65535;
  TSectInfo ringer;
  ringer.Section = 17;
  ringer.SubSection = 2;
  ringer.Kind = skData;
  ringer.Title = "ringer: \xCC\xE5 \"1\"\\\x01";  // Windows-1251 "Ме"
  ringer.Size = 4000;
  ringer.MaxSize = 100;

  const std::vector<TListRow> rows = {ListRow(program, ""), ListRow(ringer, ""),
                                      ListRow(TSectInfo{}, "Error getting section 0-0 size")};
  EXPECT_EQ(rows[0].Format, "UFIF 2.1");
  EXPECT_EQ(rows[0].Lzo, "LZO(29.0%)");
  EXPECT_EQ(rows[1].Format, "");  // only programs show a firmware label
  EXPECT_EQ(rows[1].Title, "ringer: \xD0\x9C\xD0\xB5 \"1\"\\\x01");
  EXPECT_EQ(rows[2].Kind, "error");

  EXPECT_EQ(ListJson(rows),
            "[\n"
            " {\"section\": \"2-3\", \"kind\": \"program\", \"title\": \"Chess\", \"size\": 710, "
            "\"capacity\": 65535, \"format\": \"UFIF 2.1\", \"lzo\": \"LZO(29.0%)\"},\n"
            " {\"section\": \"17-2\", \"kind\": \"data\", \"title\": \"ringer: "
            "\xD0\x9C\xD0\xB5 \\\"1\\\"\\\\\\u0001\", \"size\": 4000, \"capacity\": 100, "
            "\"format\": null, \"lzo\": null},\n"
            " {\"section\": \"0-0\", \"kind\": \"error\", \"title\": \"\", \"size\": 0, "
            "\"capacity\": 0, \"format\": null, \"lzo\": null, "
            "\"error\": \"Error getting section 0-0 size\"}\n"
            "]\n");
  EXPECT_EQ(ListJson({}), "[]\n");

  // The table lines its columns up by characters, not bytes.
  const std::string text = ListText({rows[0], rows[1]});
  const auto line = [&](int n) {
    std::size_t start = 0;
    for (int i = 0; i < n; ++i) start = text.find('\n', start) + 1;
    return text.substr(start, text.find('\n', start) - start);
  };
  EXPECT_EQ(line(0).find("SIZE") + 4, line(1).find("710") + 3);
  EXPECT_EQ(line(1).find("710") + 3, line(2).find("4000") + 4 - 2);  // "Ме" is 2 bytes more
}

}  // namespace
}  // namespace zub::cli
