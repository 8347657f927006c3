// The history of section contents through the commands' own steps (the section engine over a
// fake device library): what is kept, the limits, damaged indexes and content files, the
// write-back, and the read before a change. The history lives in a fresh folder per case.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "app/Manager.h"
#include "base/ProfileFile.h"
#include "base/Sha256.h"
#include "commands/History.h"
#include "commands/SectionEngine.h"
#include "core/device/DeviceTestSupport.h"
#include "support/FakeInteraction.h"

namespace zub {
namespace {

namespace fs = std::filesystem;
using test::FakeDir;

constexpr TSectionAddress kA{2, 1}, kB{2, 2};

std::string ReadAll(const fs::path& path);

std::vector<std::uint8_t> Content(char id, std::size_t size = 3000) {
  return test::Pattern(size, static_cast<unsigned>(id));
}

class HistoryTest : public ::testing::Test {
 public:  // the cases reach the steps through the fixture
  void Start(const std::string& settings) {
    ASSERT_TRUE(fake.Loaded());
    fake.Reset();
    const fs::path dir = test::FreshTestDir();
    history = dir / "history";
    std::ofstream(dir / "zubmanager.INI") << "[History]\n" << settings;
    TManagerOptions o;
    o.HomeDir = FakeDir("fake");
    o.SettingsPath = dir / "zubmanager.INI";
    o.HistoryDir = history;
    o.DeviceMessagesAsBoxes = false;
    m = std::make_unique<TManager>(ui, o);
    m->SettingsLoad();
  }
  void Write(TSectionAddress a, const std::vector<std::uint8_t>& bytes) {
    TSectionLink link(*m);
    ASSERT_TRUE(link.WriteAndCheck(a, bytes).Ok());
  }
  void Read(TSectionAddress a) {
    TSectionLink link(*m);
    ASSERT_FALSE(link.ReadWhole(a).Error);
  }
  // Another program changes the section: the history does not see it.
  void WriteUnseen(TSectionAddress a, const std::vector<std::uint8_t>& bytes) {
    m->NVM->SetContentObserver(nullptr);
    Write(a, bytes);
    m->NVM->SetContentObserver(&m->History);
  }
  std::vector<std::uint8_t> Phone(TSectionAddress a) {
    m->NVM->SetContentObserver(nullptr);
    TSectionLink link(*m);
    auto bytes = link.ReadWhole(a).Bytes;
    m->NVM->SetContentObserver(&m->History);
    return bytes;
  }
  // The versions' contents, newest first, as the ids they were made from ('?' for others).
  std::string Versions(TSectionAddress a, std::vector<std::string>* problems = nullptr) {
    const THistoryListing l = ListHistory(*m, a);
    if (problems) *problems = l.Problems;
    std::string ids;
    for (const auto& v : l.Versions) {
      char id = '?';
      for (char c : std::string("ABCDEFGH"))
        for (std::size_t size : {std::size_t{3000}, std::size_t{600} << 10, std::size_t{0}})
          if (Sha256Hex(Content(c, size)) == v.Entry.Hash) id = size == 0 ? '0' : c;
      ids += id;
    }
    return ids;
  }
  fs::path Object(char id, std::size_t size = 3000) {
    return history / "objects" / Sha256Hex(Content(id, size));
  }

  test::TFakeControl fake{FakeDir("fake"), "gbp.dll"};
  test::FakeInteraction ui;
  std::unique_ptr<TManager> m;
  fs::path history;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Mentions(const std::vector<std::string>& problems, const std::string& part) {
  for (const auto& p : problems)
    if (p.find(part) != std::string::npos) return true;
  return false;
}

TEST_F(HistoryTest, KeepsVersionsWithinTheLimitsAndReportsDamageWithoutFailing) {
  const std::size_t big = std::size_t{600} << 10;
  const struct {
    const char* name;
    const char* settings;
    std::function<void(HistoryTest&)> steps;
    const char* versionsA;  // newest first
    const char* versionsB;
    const char* problem;  // part of a reported problem; "" for none
  } cases[] = {
      {"each content once, however often it is read", "",
       [](HistoryTest& t) {
         t.Write(kA, Content('A'));
         t.Read(kA);
         t.Read(kA);
         t.Write(kA, Content('B'));
       },
       "BA", "", ""},
      {"Versions=3 keeps the newest three, a prune their files only", "Versions=3\n",
       [](HistoryTest& t) {
         for (char c : std::string("ABCDE")) t.Write(kA, Content(c));
         EXPECT_TRUE(PruneHistory(*t.m).empty());
         EXPECT_FALSE(fs::exists(t.Object('A')));
         EXPECT_FALSE(fs::exists(t.Object('B')));
       },
       "EDC", "", ""},
      {"MaxMB removes the oldest of any section, never one's last", "MaxMB=1\n",
       [big](HistoryTest& t) {
         t.Write(kA, Content('A', big));
         t.Write(kB, Content('B', big));
         t.Write(kA, Content('C', big));
         EXPECT_FALSE(fs::exists(t.Object('A', big)));
       },
       "C", "B", ""},
      {"--prune applies lowered limits to what is kept", "",
       [](HistoryTest& t) {
         for (char c : std::string("ABCD")) t.Write(kA, Content(c));
         t.m->Settings().WriteInteger("History", "Versions", 2);
         t.m->SettingsLoad();
         EXPECT_TRUE(PruneHistory(*t.m).empty());
       },
       "DC", "", ""},
      {"a damaged index line is reported, skipped and kept", "",
       [](HistoryTest& t) {
         t.Write(kA, Content('A'));
         std::ofstream(t.history / "2-1.index", std::ios::app) << "not\ta version\n";
         t.Write(kA, Content('B'));
         const std::string index = ReadAll(t.history / "2-1.index");
         EXPECT_NE(index.find("not\ta version\n"), std::string::npos);
       },
       "BA", "", "Line 2 of the history index"},
      {"a missing content file is reported and cannot be written back", "",
       [](HistoryTest& t) {
         t.Write(kA, Content('A'));
         t.Write(kA, Content('B'));
         fs::remove(t.Object('A'));
         EXPECT_TRUE(RestoreHistoryVersion(*t.m, kA, 2));
         EXPECT_EQ(t.Phone(kA), Content('B'));
       },
       "BA", "", "is missing"},
      {"a content file that does not hash to its name is not written back", "",
       [](HistoryTest& t) {
         t.Write(kA, Content('A'));
         t.Write(kA, Content('B'));
         auto damaged = Content('A');
         damaged[7] ^= 1;
         std::ofstream(t.Object('A'), std::ios::binary)
             .write(reinterpret_cast<const char*>(damaged.data()),
                    static_cast<std::streamsize>(damaged.size()));
         const auto error = RestoreHistoryVersion(*t.m, kA, 2);
         ASSERT_TRUE(error);
         EXPECT_NE(error->Text.find("damaged"), std::string::npos);
         EXPECT_EQ(t.Phone(kA), Content('B'));
       },
       "BA", "", ""},
      {"a version written back is verified and kept as the newest", "",
       [](HistoryTest& t) {
         t.Write(kA, Content('A'));
         t.Write(kA, Content('B'));
         EXPECT_FALSE(RestoreHistoryVersion(*t.m, kA, 2));
         EXPECT_EQ(t.Phone(kA), Content('A'));
         EXPECT_TRUE(RestoreHistoryVersion(*t.m, kA, 9));
       },
       "ABA", "", ""},
      {"no read before a change unless asked: the unseen content is lost", "",
       [](HistoryTest& t) {
         t.WriteUnseen(kA, Content('A'));
         t.Write(kA, Content('B'));
       },
       "B", "", ""},
      {"ReadBeforeChange=1 keeps the unseen content first", "ReadBeforeChange=1\n",
       [](HistoryTest& t) {
         t.WriteUnseen(kA, Content('A'));
         t.Write(kA, Content('B'));
         const int reads = t.fake.CallCount("ReadNVMFile");
         t.Write(kA, Content('C'));  // known now: no further read first
         EXPECT_EQ(t.fake.CallCount("ReadNVMFile"), reads + 1);
       },
       "CBA", "", ""},
      {"ReadBeforeChange=1 over an empty section keeps the empty one", "ReadBeforeChange=1\n",
       [](HistoryTest& t) {
         t.Write(kA, Content('B'));
         EXPECT_FALSE(RestoreHistoryVersion(*t.m, kA, 2));  // erases
         EXPECT_TRUE(t.Phone(kA).empty());
       },
       "0B0", "", ""},
      {"Enabled=0 keeps nothing", "Enabled=0\n",
       [](HistoryTest& t) {
         t.Write(kA, Content('A'));
         EXPECT_FALSE(fs::exists(t.history));
       },
       "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.settings);
    c.steps(*this);
    std::vector<std::string> problems;
    EXPECT_EQ(Versions(kA, &problems), c.versionsA);
    EXPECT_EQ(Versions(kB), c.versionsB);
    if (*c.problem)
      EXPECT_TRUE(Mentions(problems, c.problem)) << (problems.empty() ? "" : problems.front());
    else
      EXPECT_TRUE(problems.empty()) << problems.front();
  }
}

}  // namespace
}  // namespace zub
