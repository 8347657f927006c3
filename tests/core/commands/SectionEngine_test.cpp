// The section engine against a device library that answers what the test scripts: every size
// of section comes back whole, a library whose counts do not add up (more than the buffer,
// fewer than the size it reported, a section that grew) is never believed, and an erase is
// judged by the size afterwards. Each step's failure comes back as a value with the library's
// answer in it, and no box is shown.
#include <gtest/gtest.h>

#include <optional>

#include "app/Manager.h"
#include "commands/SectionEngine.h"
#include "core/device/DeviceTestSupport.h"
#include "support/FakeInteraction.h"

namespace zub {
namespace {

using test::FakeDir;
using test::TFakeControl;

class SectionEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fake.Loaded());
    fake.Reset();
    TManagerOptions o;
    o.HomeDir = FakeDir("fake");
    o.SettingsPath = test::FreshTestDir() / "zubmanager.INI";
    o.DeviceMessagesAsBoxes = false;
    m = std::make_unique<TManager>(ui, o);
  }
  // Stores bytes through the library itself.
  void Store(TSectionAddress a, const std::vector<std::uint8_t>& bytes) {
    TSectionLink link(*m);
    ASSERT_TRUE(link);
    ASSERT_GE(WriteSection(*m->NVM, a, bytes), 0);
  }

  TFakeControl fake{FakeDir("fake"), "gbp.dll"};
  test::FakeInteraction ui;
  std::unique_ptr<TManager> m;
};

TEST_F(SectionEngineTest, ReadsEverySectionWholeAndBelievesNoCountThatDoesNotAddUp) {
  constexpr std::int32_t kUnset = 1 << 30;
  const struct {
    const char* name;
    std::optional<std::size_t> stored;  // absent: no such section
    std::int32_t size = kUnset;         // scripted answer of GetNVMFileSize
    std::int32_t read = kUnset;         // scripted answer of ReadNVMFile
    TSizeState state;
    int reads;          // ReadNVMFile calls expected
    const char* error;  // part of the sentence, for a failure
  } cases[] = {
      {"small section", 3000, kUnset, kUnset, TSizeState::Present, 1, ""},
      {"beyond the window's 64 KiB buffer", 200000, kUnset, kUnset, TSizeState::Present, 1, ""},
      {"empty", 0, kUnset, kUnset, TSizeState::Empty, 0, ""},
      {"no such section (-153)", std::nullopt, kUnset, kUnset, TSizeState::Absent, 0, ""},
      {"no such section (-5)", 100, -5, kUnset, TSizeState::Absent, 0, ""},
      {"size cannot be read", 100, -10, kUnset, TSizeState::Failed, 0,
       "the device library answered -10 to the size query"},
      {"size beyond 16 MiB", 100, 17 << 20, kUnset, TSizeState::Failed, 0,
       "more than the 16 MiB a section may hold"},
      {"read fails", 100, kUnset, -10, TSizeState::Present, 1,
       "the device library answered -10 to the read"},
      {"claims more than the buffer", 100, kUnset, 1'000'000, TSizeState::Present, 1,
       "holds more than the 100 bytes"},
      {"delivers less than its size", 50, 100, kUnset, TSizeState::Present, 1,
       "delivered 50 of its 100 bytes"},
      {"grew after the size query", 100, 50, kUnset, TSizeState::Present, 1,
       "holds more than the 50 bytes"},
  };
  const TSectionAddress a{2, 9};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake.Reset();
    const auto bytes = test::Pattern(c.stored.value_or(0));
    if (c.stored) Store(a, bytes);
    if (c.size != kUnset) fake.SetResult("GetNVMFileSize", c.size);
    if (c.read != kUnset) fake.SetResult("ReadNVMFile", c.read);
    const int readsBefore = fake.CallCount("ReadNVMFile");

    TSectionLink link(*m);
    ASSERT_TRUE(link);
    const TSectionRead r = link.ReadWhole(a);

    EXPECT_EQ(r.Sized.State, c.state);
    EXPECT_EQ(fake.CallCount("ReadNVMFile") - readsBefore, c.reads);
    if (*c.error == '\0') {
      EXPECT_FALSE(r.Error) << r.Error->Text;
      EXPECT_EQ(r.Bytes, c.state == TSizeState::Present ? bytes : std::vector<std::uint8_t>{});
      // One byte more than the size: a section that grew fills it.
      if (c.reads) {
        EXPECT_EQ(fake.LastLength(), static_cast<std::int64_t>(bytes.size()) + 1);
      }
    } else {
      ASSERT_TRUE(r.Error);
      EXPECT_NE(r.Error->Text.find(c.error), std::string::npos) << r.Error->Text;
      EXPECT_TRUE(r.Bytes.empty());
    }
  }
  EXPECT_TRUE(ui.Boxes.empty());
}

TEST_F(SectionEngineTest, EraseIsJudgedByTheSizeAfterwards) {
  const TSectionAddress a{17, 3};
  Store(a, test::Pattern(10));
  {
    TSectionLink link(*m);
    EXPECT_EQ(link.EraseAndCheck(a), std::nullopt);
    EXPECT_EQ(link.QuerySize(a).State, TSizeState::Absent);
  }
  // A library that answers the erase but keeps the bytes.
  Store(a, test::Pattern(10));
  fake.SetResult("ClearNVMFile", 0);
  TSectionLink link(*m);
  const auto error = link.EraseAndCheck(a);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Kind, TFailureKind::Differs);
  EXPECT_EQ(error->Text, "it still holds 10 bytes after erasing");
}

TEST_F(SectionEngineTest, AConnectionThatCannotBeOpenedGivesTheLibrarysMessageAndNoBox) {
  fake.SetResult("InitGBPMode", -3);
  const TSectionLink link(*m);
  EXPECT_FALSE(link);
  ASSERT_TRUE(link.OpenError());
  EXPECT_EQ(link.OpenError()->Kind, TFailureKind::Unreachable);
  EXPECT_EQ(link.OpenError()->Text, "GBP Error: No AT response!");
  EXPECT_TRUE(ui.Boxes.empty());
}

TEST_F(SectionEngineTest, ARaisedStopFlagEndsTheRunBeforeTheNextCall) {
  std::atomic<bool> stop{false};
  TSectionLink link(*m, &stop);
  ASSERT_TRUE(link);
  stop = true;
  const int before = fake.CallCount("GetNVMFileSize");
  const TSectionRead r = link.ReadWhole({2, 1});
  ASSERT_TRUE(r.Error);
  EXPECT_EQ(r.Error->Kind, TFailureKind::Stopped);
  EXPECT_EQ(fake.CallCount("GetNVMFileSize"), before);
  link.Close();
  EXPECT_FALSE(fake.IsOpen());
}

TEST(FirstDifference, IsTheFirstDifferingOffsetOrTheShorterLength) {
  const struct {
    std::string a, b;
    std::optional<std::size_t> at;
  } cases[] = {
      {"", "", std::nullopt}, {"abc", "abc", std::nullopt},
      {"abc", "abd", 2},      {"xbc", "abc", 0},
      {"abc", "ab", 2},       {"ab", "abc", 2},
      {"", "a", 0},
  };
  for (const auto& c : cases) {
    const auto bytes = [](const std::string& s) {
      return Bytes(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    };
    EXPECT_EQ(FirstDifference(bytes(c.a), bytes(c.b)), c.at) << c.a << " / " << c.b;
  }
}

}  // namespace
}  // namespace zub
