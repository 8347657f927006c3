#include "formats/LibReorder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zub {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(LibReorderTest, EntryKeyAndValue) {
  struct Case {
    const char* line;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"1234 Foo #ab", "F", "1234"},  // L = 12, P = 9: one character
      {"1234 Foo Bar", "Foo Bar", "1234"},
      {"00000000 Foo", "Foo", "00000000"},
      {"Foo", "F", ""},  // no space: from the first character, L - 2 long
      {"ab", "", ""},
      {"1 #x", "", "1"},
      {"#header", "#head", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EntryKey(c.line), c.key) << c.line;
    EXPECT_EQ(EntryValue(c.line), c.value) << c.line;
  }
}

const std::vector<std::string> kReference = {"# reference", "#", "00000000 Foo", "00000000 Bar",
                                             "00000000 Baz"};

TEST(LibReorderTest, FollowsTheReferenceAndDropsMissingEntries) {
  const std::vector<std::string> chosen = {"# my list", "#v2", "22222222 Baz", "11111111 Foo"};
  EXPECT_THAT(ReorderLibraryList(kReference, chosen),
              ElementsAre("# my list", "#v2", "11111111 Foo", "22222222 Baz"));
}

TEST(LibReorderTest, FirstMatchWinsAndHeaderStopsAtFirstEntry) {
  const std::vector<std::string> chosen = {"33333333 Foo", "# late header", "44444444 Foo",
                                           "55555555 Bar"};
  EXPECT_THAT(ReorderLibraryList(kReference, chosen), ElementsAre("33333333 Foo", "55555555 Bar"));

  const std::vector<std::string> emptyFirst = {"", "# not a header", "1 Baz"};
  EXPECT_THAT(ReorderLibraryList(kReference, emptyFirst), ElementsAre("1 Baz"));
}

TEST(LibReorderTest, KeysCompareExactly) {
  EXPECT_THAT(ReorderLibraryList(kReference, {"1 foo", "2 Foo #comment", "3 Ba"}), IsEmpty());
}

}  // namespace
}  // namespace zub
