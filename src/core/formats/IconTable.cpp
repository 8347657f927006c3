#include "formats/IconTable.h"

#include <cstdio>
#include <string>

#include "base/Convert.h"

namespace zub {
namespace {

constexpr std::array<std::string_view, kIconItemCount> kCaptions = {
    "E80A", "E80B", "E80C", "E80D", "E80E", "E80F", "E81A", "E81B", "E81C", "E81D", "E81E", "E81F",
    "E82A", "E82C", "E82D", "E82E", "E82F", "E83A", "E83B", "E83D", "E83E", "E83F", "E84A", "E84B",
    "E84C", "E84D", "E84E", "E85A", "E85B", "E85C", "E85D", "E85E", "E85F", "E86C", "E86D", "E86E",
    "E86F", "E87A", "E87B", "E87C", "E87D", "E87E", "E87F", "E88A", "E88B", "E88C", "E88D", "E88E",
    "E88F", "E89A", "E89B", "E89C", "E89D", "E89E", "E89F", "E800", "E801", "E802", "E803", "E804",
    "E805", "E806", "E807", "E808", "E809", "E810", "E811", "E812", "E813", "E814", "E815", "E816",
    "E817", "E818", "E819", "E820", "E821", "E822", "E823", "E824", "E825", "E826", "E827", "E828",
    "E829", "E830", "E831", "E832", "E833", "E834", "E835", "E836", "E837", "E838", "E839", "E840",
    "E841", "E842", "E843", "E844", "E845", "E846", "E847", "E848", "E850", "E851", "E852", "E853",
    "E854", "E855", "E856", "E857", "E859", "E862", "E863", "E864", "E865", "E866", "E867", "E868",
    "E870", "E871", "E875", "E876", "E877", "E878", "E879", "E880", "E881", "E882", "E883", "E884",
    "E885", "E886", "E887", "E888", "E889", "E890", "E891", "E892", "E893", "E894", "E895", "E896",
    "E897", "E898", "E899",
};

constexpr std::uint32_t kTransparent = 0x00000000;

// 3 x 5 digits, one row per entry, bit 2 = left column.
constexpr std::array<std::array<std::uint8_t, 5>, 10> kDigits = {{
    {7, 5, 5, 5, 7},  // 0
    {2, 6, 2, 2, 7},  // 1
    {7, 1, 7, 4, 7},  // 2
    {7, 1, 7, 1, 7},  // 3
    {5, 5, 7, 1, 1},  // 4
    {7, 4, 7, 1, 7},  // 5
    {7, 4, 7, 5, 7},  // 6
    {7, 1, 2, 2, 2},  // 7
    {7, 5, 7, 5, 7},  // 8
    {7, 5, 7, 1, 7},  // 9
}};

std::uint32_t Argb(int r, int g, int b) {
  return 0xFF000000u | (static_cast<std::uint32_t>(r) << 16) |
         (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}

void Put(TIconPixels& px, int x, int y, std::uint32_t colour) {
  if (x >= 0 && x < kIconSize && y >= 0 && y < kIconSize)
    px[static_cast<std::size_t>(y * kIconSize + x)] = colour;
}

// A colour per image, hues spread by the golden angle so that neighbours differ clearly.
std::uint32_t TileColour(int image, double value) {
  const double hue = static_cast<double>((image * 137) % 360) / 60.0;
  const int sector = static_cast<int>(hue);
  const double f = hue - sector;
  const double s = 0.65;
  const double p = value * (1 - s), q = value * (1 - s * f), t = value * (1 - s * (1 - f));
  double r = 0, g = 0, b = 0;
  switch (sector % 6) {
    case 0:
      r = value, g = t, b = p;
      break;
    case 1:
      r = q, g = value, b = p;
      break;
    case 2:
      r = p, g = value, b = t;
      break;
    case 3:
      r = p, g = q, b = value;
      break;
    case 4:
      r = t, g = p, b = value;
      break;
    default:
      r = value, g = p, b = q;
      break;
  }
  return Argb(static_cast<int>(r * 255), static_cast<int>(g * 255), static_cast<int>(b * 255));
}

TIconPixels ProgramGlyph() {
  TIconPixels px;
  px.fill(kTransparent);
  const auto frame = Argb(48, 48, 48), title = Argb(32, 96, 208), close = Argb(208, 48, 48),
             body = Argb(255, 255, 255), line = Argb(160, 160, 160);
  for (int y = 1; y <= 10; ++y)
    for (int x = 0; x < kIconSize; ++x) {
      const bool edge = y == 1 || y == 10 || x == 0 || x == kIconSize - 1;
      Put(px, x, y, edge ? frame : (y <= 3 ? title : body));
    }
  Put(px, 9, 2, close);
  Put(px, 10, 2, close);
  Put(px, 9, 3, close);
  Put(px, 10, 3, close);
  for (int x = 3; x <= 8; ++x) {
    Put(px, x, 6, line);
    Put(px, x, 8, line);
  }
  return px;
}

TIconPixels EmptyBoxGlyph() {
  TIconPixels px;
  px.fill(kTransparent);
  const auto outline = Argb(128, 128, 128);
  for (int i = 1; i <= 10; ++i) {
    Put(px, i, 1, outline);
    Put(px, i, 10, outline);
    Put(px, 1, i, outline);
    Put(px, 10, i, outline);
  }
  return px;
}

// A rounded tile in the image's colour showing the last two digits of its number; images
// from 100 on carry a bar under the digits.
TIconPixels NumberedTile(int image) {
  TIconPixels px;
  const auto fill = TileColour(image, 0.85), border = TileColour(image, 0.45),
             mark = Argb(255, 255, 255);
  for (int y = 0; y < kIconSize; ++y)
    for (int x = 0; x < kIconSize; ++x) {
      const bool corner = (x == 0 || x == kIconSize - 1) && (y == 0 || y == kIconSize - 1);
      const bool edge = x == 0 || y == 0 || x == kIconSize - 1 || y == kIconSize - 1;
      Put(px, x, y, corner ? kTransparent : (edge ? border : fill));
    }
  const int digits[2] = {(image / 10) % 10, image % 10};
  for (int d = 0; d < 2; ++d)
    for (int row = 0; row < 5; ++row)
      for (int col = 0; col < 3; ++col)
        if (kDigits[static_cast<std::size_t>(digits[d])][static_cast<std::size_t>(row)] &
            (4 >> col))
          Put(px, 2 + d * 5 + col, 3 + row, mark);
  if (image >= 100)
    for (int x = 2; x <= 9; ++x) Put(px, x, 9, mark);
  return px;
}

}  // namespace

std::string_view IconCaption(int item) {
  if (item < 0 || item >= kIconItemCount) return {};
  return kCaptions[static_cast<std::size_t>(item)];
}

int ImageIndexOfItem(int item) {
  if (item < 0 || item >= kIconItemCount) return -1;
  return item <= 18 ? item : item + 1;
}

int FindIconIndex(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(code));
  for (int k = 0; k < kIconItemCount; ++k)
    if (kCaptions[static_cast<std::size_t>(k)] == text) return ImageIndexOfItem(k);
  return 0;
}

TIconPixels IconPixels(int image) {
  if (image == kProgramIcon) return ProgramGlyph();
  if (image == kEmptyIcon) return EmptyBoxGlyph();
  if (image < 0 || image >= kIconImageCount) {
    TIconPixels px;
    px.fill(kTransparent);
    return px;
  }
  return NumberedTile(image);
}

}  // namespace zub
