#include "base/TextLines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zub {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(TextLinesTest, SplitsAtEveryLineEnd) {
  EXPECT_THAT(SplitLines("a\r\nb\nc\rd"), ElementsAre("a", "b", "c", "d"));
  EXPECT_THAT(SplitLines("a\r\nb\r\n"), ElementsAre("a", "b"));
  EXPECT_THAT(SplitLines("a\n\n\nb"), ElementsAre("a", "", "", "b"));
  EXPECT_THAT(SplitLines("a\r\r\nb"), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitLines("a\n\r"), ElementsAre("a", ""));
  EXPECT_THAT(SplitLines("\n"), ElementsAre(""));
  EXPECT_THAT(SplitLines(""), IsEmpty());
  EXPECT_THAT(SplitLines(std::string_view("a\0b", 3)), ElementsAre(std::string("a\0b", 3)));
}

TEST(TextLinesTest, JoinEndsEveryLineWithCrLf) {
  EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
  EXPECT_EQ(JoinLines({}), "");
  EXPECT_THAT(SplitLines(JoinLines({"x", "", "y"})), ElementsAre("x", "", "y"));
}

}  // namespace
}  // namespace zub
