#include "formats/PrefRecord.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace zub {
namespace {

using ::testing::ElementsAre;

TEST(PrefRecordTest, FieldsSitAtTheirOffsets) {
  TPrefRecord r;
  r.MenuMode = 7;
  r.Reserved = 0x55;
  r.LibSubSection = 17;
  r.LibSection = 2;
  r.AutorunSubSection = 9;
  r.AutorunSection = 18;
  r.Reserved2 = 0xCDAB;
  const TPrefBytes b = EncodePrefRecord(r);
  EXPECT_THAT(b, ElementsAre('Z', 'U', 'B', '2', 7, 0x55, 17, 2, 9, 18, 0xAB, 0xCD));
  EXPECT_EQ(DecodePrefRecord(b), r);
}

TEST(PrefRecordTest, MenuModeAndRadioItem) {
  const std::pair<std::uint8_t, int> pairs[] = {{3, 0}, {7, 1}, {255, 2}};
  for (const auto& [mode, index] : pairs) {
    EXPECT_EQ(RadioIndexOfMenuMode(mode), index);
    EXPECT_EQ(MenuModeOfRadioIndex(index), mode);
  }
  for (std::uint8_t other : {0, 1, 4, 6, 8, 254})
    EXPECT_EQ(RadioIndexOfMenuMode(other), std::nullopt);
  for (int other : {-1, 3, 100}) EXPECT_EQ(MenuModeOfRadioIndex(other), std::nullopt);
}

}  // namespace
}  // namespace zub
