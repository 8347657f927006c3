#include "formats/IconTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "commands/LzoUpload.h"
#include "support/CommandFixture.h"

namespace zub {
namespace {

TEST(IconTable, FindIconIndex) {
  const std::pair<std::uint32_t, int> cases[] = {
      {0xE852, 107}, {0xE83C, 0},  {0xE80A, 0},  {0x0000E855, 110},
      {0xE899, 147}, {0xE83D, 20}, {0xE83B, 18}, {0xE80B, 1},
      {0xE800, 56},  {0, 0},       {0x1E852, 0}, {0xFFFFFFFF, 0},
  };
  for (const auto& [code, image] : cases) EXPECT_EQ(FindIconIndex(code), image) << std::hex << code;
}

TEST(IconTable, ItemsAndImages) {
  EXPECT_EQ(IconCaption(0), "E80A");
  EXPECT_EQ(IconCaption(kIconItemCount - 1), "E899");
  EXPECT_EQ(IconCaption(-1), "");
  EXPECT_EQ(IconCaption(kIconItemCount), "");
  EXPECT_EQ(ImageIndexOfItem(-1), -1);
  EXPECT_EQ(ImageIndexOfItem(kIconItemCount), -1);

  std::set<std::string_view> captions;
  std::set<int> images;
  for (int k = 0; k < kIconItemCount; ++k) {
    const auto c = IconCaption(k);
    ASSERT_EQ(c.size(), 4u) << k;
    for (char ch : c) EXPECT_TRUE(std::isdigit(ch) || (ch >= 'A' && ch <= 'F')) << c;
    captions.insert(c);
    images.insert(ImageIndexOfItem(k));
    EXPECT_EQ(ImageIndexOfItem(k), k <= 18 ? k : k + 1);
  }
  EXPECT_EQ(captions.size(), 147u);
  // Every image but 19 belongs to exactly one item.
  EXPECT_EQ(images.size(), 147u);
  EXPECT_FALSE(images.contains(19));
  EXPECT_EQ(*images.rbegin(), kIconImageCount - 1);
}

std::uint32_t Alpha(std::uint32_t argb) {
  return argb >> 24;
}

TEST(IconTable, ImagesAreDistinctAndTransparentWhereMarked) {
  std::set<TIconPixels> seen;
  for (int i = 0; i < kIconImageCount; ++i) {
    const auto px = IconPixels(i);
    EXPECT_TRUE(seen.insert(px).second) << "image " << i << " repeats another";
    int opaque = 0;
    for (auto p : px) {
      EXPECT_TRUE(Alpha(p) == 0 || Alpha(p) == 0xFF) << i;
      opaque += Alpha(p) == 0xFF;
    }
    EXPECT_GT(opaque, 20) << i;
    EXPECT_LT(opaque, 144) << i;  // each has a transparent part
  }
  const auto at = [](const TIconPixels& px, int x, int y) { return px[y * kIconSize + x]; };
  // The empty-section box: an outline around nothing.
  const auto box = IconPixels(kEmptyIcon);
  EXPECT_EQ(Alpha(at(box, 1, 1)), 0xFFu);
  EXPECT_EQ(Alpha(at(box, 10, 5)), 0xFFu);
  EXPECT_EQ(Alpha(at(box, 5, 5)), 0u);
  EXPECT_EQ(Alpha(at(box, 0, 0)), 0u);
  // The program window: an opaque body under a title bar of another colour.
  const auto window = IconPixels(kProgramIcon);
  EXPECT_EQ(Alpha(at(window, 5, 5)), 0xFFu);
  EXPECT_NE(at(window, 5, 2), at(window, 5, 5));
  for (int bad : {-1, kIconImageCount})
    for (auto p : IconPixels(bad)) EXPECT_EQ(Alpha(p), 0u);
}

class IconChoice : public test::CommandFixture<> {
 protected:
  void SetUp() override { Start(); }
};

TEST_F(IconChoice, OkWithAnItemGivesItsCode) {
  ui.AnswerModal(TFormId::IconForm, mrOk, [&] { m->IconForm.ItemIndex = 19; });
  EXPECT_EQ(ChooseIconCode(*m), 0xE83Du);
  ui.AnswerModal(TFormId::IconForm, mrOk, [&] { m->IconForm.ItemIndex = 0; });
  EXPECT_EQ(ChooseIconCode(*m), 0xE80Au);
  EXPECT_TRUE(ui.Mismatches.empty());
}

TEST_F(IconChoice, CancelOrNoSelectionKeepsTheDefault) {
  ui.AnswerModal(TFormId::IconForm, mrCancel, [&] { m->IconForm.ItemIndex = 3; });
  EXPECT_EQ(ChooseIconCode(*m), 0xE852u);
  ui.AnswerModal(TFormId::IconForm, mrOk, [&] { m->IconForm.ItemIndex = -1; });
  EXPECT_EQ(ChooseIconCode(*m), 0xE852u);
  ui.AnswerModal(TFormId::IconForm, mrOk, [&] { m->IconForm.ItemIndex = kIconItemCount; });
  EXPECT_EQ(ChooseIconCode(*m), 0xE852u);
  EXPECT_EQ(ui.ModalShown.size(), 3u);
}

}  // namespace
}  // namespace zub
