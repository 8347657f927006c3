#include "formats/Prg3Library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "base/Bytes.h"
#include "base/Convert.h"

namespace zub {
namespace {

using ::testing::ElementsAre;

TEST(Prg3LibraryTest, ExampleFileGivesTwelveBytes) {
  const auto image = BuildPRG3Image(
      "RELEASE=3\r\n00123456 first entry\n0xABCD second entry\r\n\r# heading line\r\n");
  EXPECT_FALSE(image.TooBig);
  EXPECT_THAT(image.Image,
              ElementsAre(0x03, 0x00, 0x00, 0x00, 0x56, 0x34, 0x12, 0x00, 0xCD, 0xAB, 0x00, 0x00));
}

TEST(Prg3LibraryTest, LineValues) {
  struct Case {
    const char* line;
    std::optional<std::int32_t> value;
  };
  const Case cases[] = {
      {"RELEASE=7x", 7},
      {"RELEASE=12", 1},
      {"x A=5 RELEASE=9", 5},  // the first "=" of the line counts
      {"10 sixteen", 16},
      {"1A2B hex", 0x1A2B},
      {"0x1A2B hex", 0x1A2B},
      {"$1A2B hex", 0x1A2B},
      {"-5 negative", -5},
      {"FFFFFFFF all bits", -1},
      {"123456789 nine digits", 123456789},  // too long for hex, read as decimal
      {"12345678", std::nullopt},
      {" 12345678 leading space", std::nullopt},
      {"", std::nullopt},
      {"#1 comment", std::nullopt},
      {"release=3 lower case", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(PRG3LineValue(c.line), c.value) << c.line;
}

TEST(Prg3LibraryTest, ReleaseWithoutDigitRaises) {
  const std::pair<const char*, const char*> cases[] = {
      {"RELEASE=", "'' is not a valid integer value"},
      {"RELEASE=x7", "'x' is not a valid integer value"},
  };
  for (auto [text, message] : cases) {
    try {
      BuildPRG3Image(std::string("00000001 a\n") + text + "\n");
      ADD_FAILURE() << text;
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
}

std::string ValueLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += std::to_string(i) + " entry\n";
  return text;
}

TEST(Prg3LibraryTest, AtMost512Words) {
  const auto full = BuildPRG3Image(ValueLines(512));
  EXPECT_FALSE(full.TooBig);
  ASSERT_EQ(full.Image.size(), 2048u);
  EXPECT_EQ(load_u32le(full.Image, 2044), 0x511u);  // "511" read as hexadecimal

  const auto over = BuildPRG3Image(ValueLines(513));
  EXPECT_TRUE(over.TooBig);
  EXPECT_EQ(over.Image.size(), 2048u);

  // Every line is still read: a bad release line past the limit raises.
  EXPECT_THROW(BuildPRG3Image(ValueLines(600) + "RELEASE=\n"), EConvertError);
}

}  // namespace
}  // namespace zub
