// Whole-section reads against a device library that answers what the test scripts: every
// size of section comes back whole, and a library whose counts do not add up (more than the
// buffer, fewer than the size it reported, a section that grew) is never believed.
#include <gtest/gtest.h>

#include <optional>

#include "SectionIO.h"
#include "core/device/DeviceTestSupport.h"

namespace zub::cli {
namespace {

using test::FakeDir;
using test::TFakeControl;
using test::TRecordingOwner;

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return out;
}

class SectionIOTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fake.Loaded());
    fake.Reset();
    ASSERT_TRUE(nvm.InitGBP());
  }
  // Stores bytes through the library itself.
  void Store(TSectionAddress a, const std::vector<std::uint8_t>& bytes) {
    nvm.SetSect(a.Section);
    nvm.SetSSect(a.SubSection);
    ASSERT_GE(nvm.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())), 0);
  }

  TRecordingOwner owner;
  TFakeControl fake{FakeDir("fake"), "gbp.dll"};
  TNVMSection nvm{owner, FakeDir("fake")};
};

TEST_F(SectionIOTest, ReadsEverySectionWholeAndBelievesNoCountThatDoesNotAddUp) {
  constexpr std::int32_t kUnset = 1 << 30;
  const struct {
    const char* name;
    std::optional<std::size_t> stored;  // absent: no such section
    std::int32_t size = kUnset;         // scripted answer of GetNVMFileSize
    std::int32_t read = kUnset;         // scripted answer of ReadNVMFile
    TReadState state;
    int reads;          // ReadNVMFile calls expected
    const char* error;  // part of the sentence, for Failed
  } cases[] = {
      {"small section", 3000, kUnset, kUnset, TReadState::Present, 1, ""},
      {"beyond the window's 64 KiB buffer", 200000, kUnset, kUnset, TReadState::Present, 1, ""},
      {"empty", 0, kUnset, kUnset, TReadState::Empty, 0, ""},
      {"no such section (-153)", std::nullopt, kUnset, kUnset, TReadState::Absent, 0, ""},
      {"no such section (-5)", 100, -5, kUnset, TReadState::Absent, 0, ""},
      {"size cannot be read", 100, -10, kUnset, TReadState::Failed, 0,
       "answered -10 to the size query"},
      {"size beyond 16 MiB", 100, 17 << 20, kUnset, TReadState::Failed, 0, "more than the 16 MiB"},
      {"read fails", 100, kUnset, -10, TReadState::Failed, 1, "answered -10 to the read"},
      {"claims more than the buffer", 100, kUnset, 1'000'000, TReadState::Failed, 1,
       "holds more than the 100 bytes"},
      {"delivers less than its size", 50, 100, kUnset, TReadState::Failed, 1,
       "delivered 50 of its 100 bytes"},
      {"grew after the size query", 100, 50, kUnset, TReadState::Failed, 1,
       "holds more than the 50 bytes"},
  };
  const TSectionAddress a{2, 9};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    nvm.EndGBP();
    fake.Reset();
    ASSERT_TRUE(nvm.InitGBP());
    const auto bytes = Pattern(c.stored.value_or(0));
    if (c.stored) Store(a, bytes);
    if (c.size != kUnset) fake.SetResult("GetNVMFileSize", c.size);
    if (c.read != kUnset) fake.SetResult("ReadNVMFile", c.read);
    const int readsBefore = fake.CallCount("ReadNVMFile");

    const TSectionRead r = ReadWholeSection(nvm, a);

    EXPECT_EQ(r.State, c.state);
    EXPECT_EQ(fake.CallCount("ReadNVMFile") - readsBefore, c.reads);
    if (c.state == TReadState::Present) {
      EXPECT_EQ(r.Bytes, bytes);
      // One byte more than the size: a section that grew fills it.
      EXPECT_EQ(fake.LastLength(), static_cast<std::int64_t>(bytes.size()) + 1);
    } else {
      EXPECT_TRUE(r.Bytes.empty());
    }
    EXPECT_NE(r.Error.find(c.error), std::string::npos) << r.Error;
  }
}

TEST_F(SectionIOTest, EraseIsJudgedByTheSizeAfterwards) {
  const TSectionAddress a{17, 3};
  Store(a, Pattern(10));
  EXPECT_EQ(EraseSection(nvm, a), std::nullopt);
  EXPECT_EQ(ReadWholeSection(nvm, a).State, TReadState::Absent);

  // A library that answers the erase but keeps the bytes.
  Store(a, Pattern(10));
  fake.SetResult("ClearNVMFile", 0);
  const auto error = EraseSection(nvm, a);
  ASSERT_TRUE(error);
  EXPECT_EQ(*error, "it still holds 10 bytes after erasing");
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
}  // namespace zub::cli
