#include "base/Convert.h"

#include <gtest/gtest.h>

namespace zub {
namespace {

struct ConvertCase {
  const char* text;
  std::optional<std::int32_t> value;
};

TEST(StrToInt, ReadsTheToolkitNotation) {
  const ConvertCase cases[] = {
      {"0", 0},
      {"528", 528},
      {"  42", 42},
      {"-1", -1},
      {"+7", 7},
      {"0x0210", 0x210},
      {"0X0210", 0x210},
      {"$0210", 0x210},
      {"x1F", 0x1F},
      {"X1f", 0x1F},
      {"-$10", -16},
      {"0xFFFFFFFF", -1},  // hexadecimal wraps into the sign
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},  // decimal must fit
      {"0x100000000", std::nullopt},
      {"", std::nullopt},
      {" ", std::nullopt},
      {"0x", std::nullopt},
      {"12a", std::nullopt},
      {"12 ", std::nullopt},  // nothing may follow the digits
      {"abc", std::nullopt},
      {"1.5", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(TryStrToInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(StrToInt, RaisesTheConversionErrorWithTheText) {
  try {
    StrToInt("abc");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
  EXPECT_THROW(StrToInt(""), EConvertError);
  EXPECT_EQ(StrToInt("0x370000"), 0x370000);
}

}  // namespace
}  // namespace zub
