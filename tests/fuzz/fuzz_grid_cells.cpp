// DrawCell, FirmwareLabel and LzoText for any record, any cell rectangle and any font metrics.
//
// Input: Byte flags (bit 0: an ordinary cell rectangle), the record's Section, SubSection,
// Kind, Format, Size, Compression, UnpackedSize, Icon (U32 each), U32 column, U32 row, the
// rectangle (4 × U32, or 4 × U16 scaled to ordinary sizes), U32 text height, U32 width per
// character, Byte decimal separator, then the title.
//
// No trap (the sanitizers abort on overflow or a division by zero), the cell draws exactly
// the elements its row, column and record call for, and the size bar never leaves its frame.
#include <cmath>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "formats/GridCells.h"
#include "formats/IconTable.h"

using namespace zub;
using zub::fuzz::TFuzzInput;

namespace {

void CheckLzoText(std::int32_t size, std::int32_t unpacked, char separator) {
  const std::string text = LzoText(size, unpacked, separator);
  ZUB_CHECK(text.starts_with("LZO(") && text.ends_with(")"));
  if (unpacked == 0) return;  // no percentage without the unpacked length
  ZUB_CHECK(text.ends_with("%)"));
  const std::int64_t product = std::int64_t{size} * 100;
  if (product < INT32_MIN || product > INT32_MAX) return;  // 32-bit arithmetic wraps there
  const std::int64_t percent = 100 - product / unpacked;
  if (percent < INT32_MIN || percent > INT32_MAX) return;
  ZUB_CHECK(text == "LZO(" + std::to_string(percent) + separator + "0%)");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzInput in(data, size);
  const bool ordinary = (in.Byte() & 1) != 0;
  TSectInfo info;
  info.Section = static_cast<std::int32_t>(in.U32());
  info.SubSection = static_cast<std::int32_t>(in.U32());
  info.Kind = static_cast<TSectKind>(static_cast<std::int32_t>(in.U32()));
  info.Format = in.U32();
  info.Size = static_cast<std::int32_t>(in.U32());
  info.Compression = static_cast<std::int32_t>(in.U32());
  info.UnpackedSize = static_cast<std::int32_t>(in.U32());
  info.Icon = static_cast<std::int32_t>(in.U32());
  const auto col = static_cast<std::int32_t>(in.U32());
  const auto row = static_cast<std::int32_t>(in.U32());
  TCellRect rect;
  if (ordinary) {
    rect.Left = in.U16() % 2000;
    rect.Top = in.U16() % 20000;
    rect.Right = rect.Left + in.U16() % 1000;
    rect.Bottom = rect.Top + in.U16() % 200;
  } else {
    rect.Left = static_cast<std::int32_t>(in.U32());
    rect.Top = static_cast<std::int32_t>(in.U32());
    rect.Right = static_cast<std::int32_t>(in.U32());
    rect.Bottom = static_cast<std::int32_t>(in.U32());
  }
  TTextMetrics metrics;
  metrics.Height = static_cast<std::int32_t>(in.U32());
  const auto perChar = static_cast<std::int32_t>(in.U32());
  metrics.Width = [perChar](const std::string& text) {
    return static_cast<int>(static_cast<std::int64_t>(text.size()) * (perChar % 100000));
  };
  const char separator = static_cast<char>(in.Byte());
  info.Title = in.Text(64);
  if (ordinary) metrics.Height = metrics.Height % 100;

  const TCellDrawing d = DrawCell(info, col, row, rect, metrics, separator);

  const bool sectionRow = row != 0;
  ZUB_CHECK(d.Drawn == (!sectionRow || std::int64_t{info.Section} + info.SubSection != 0));
  if (!d.Drawn) {
    ZUB_CHECK(!d.Header && !d.Address && !d.Icon && !d.Title && !d.Lzo && !d.SizeText && !d.Bar &&
              !d.Firmware);
  } else if (!sectionRow) {
    ZUB_CHECK(d.Header.has_value() == (col >= 0 && col < 3));
    ZUB_CHECK(!d.Address && !d.Icon && !d.Title && !d.Lzo && !d.SizeText && !d.Bar && !d.Firmware);
  } else {
    ZUB_CHECK(!d.Header);
    ZUB_CHECK(d.Address.has_value() == (col == 0));
    if (d.Address)
      ZUB_CHECK(d.Address->Text ==
                "{" + std::to_string(info.Section) + "-" + std::to_string(info.SubSection) + "}");
    ZUB_CHECK(d.SizeText.has_value() == (col == 1));
    ZUB_CHECK(d.Bar.has_value() == (col == 1));
    ZUB_CHECK(d.Title.has_value() == (col == 1 && info.Size != 0));
    ZUB_CHECK(d.Lzo.has_value() == (col == 1 && info.Compression == 1));
    ZUB_CHECK(d.Icon.has_value() == (col == 1 && info.Icon > 0 && info.Icon < kIconImageCount));
    ZUB_CHECK(d.Firmware.has_value() == (col == 2 && info.Kind == skProgram));
    if (d.SizeText) ZUB_CHECK(d.SizeText->Text == std::to_string(info.Size));
    if (d.Title) ZUB_CHECK(d.Title->Text == info.Title);
    if (d.Firmware) ZUB_CHECK(d.Firmware->Text == FirmwareLabel(info.Format));
    if (d.Lzo) ZUB_CHECK(d.Lzo->Text == LzoText(info.Size, info.UnpackedSize, separator));
  }

  if (d.Bar) {
    const TCellBar& bar = *d.Bar;
    const bool small = info.Size <= 21504;
    ZUB_CHECK(bar.Colour == (small ? TBarColour::Blue : TBarColour::Red));
    ZUB_CHECK(bar.Scale == (small ? 21504 : 65536));
    // The bar starts at the inner rectangle and ends inside it.
    ZUB_CHECK(bar.Bar.Left == bar.Inner.Left && bar.Bar.Top == bar.Inner.Top &&
              bar.Bar.Bottom == bar.Inner.Bottom);
    ZUB_CHECK(bar.Bar.Right >= bar.Inner.Left);
    ZUB_CHECK(bar.Bar.Right <= std::max(bar.Inner.Left, bar.Inner.Right));
    if (ordinary) {
      ZUB_CHECK(bar.Frame.Left == rect.Left + 3 && bar.Frame.Right == rect.Right - 53);
      ZUB_CHECK(bar.Frame.Top == rect.Top + (rect.Bottom - rect.Top) / 2 + 3);
      ZUB_CHECK(bar.Frame.Bottom == rect.Bottom - 3);
      ZUB_CHECK(bar.Inner.Left == bar.Frame.Left + 1 && bar.Inner.Right == bar.Frame.Right - 1);
      ZUB_CHECK(bar.Inner.Top == bar.Frame.Top + 1 && bar.Inner.Bottom == bar.Frame.Bottom - 1);
      // Within the scale the length is Size × (inner width / scale), truncated.
      const int width = bar.Inner.Right - bar.Inner.Left;
      if (width >= 0 && info.Size >= 0 && info.Size <= bar.Scale) {
        const double exact = info.Size * (static_cast<double>(width) / bar.Scale);
        ZUB_CHECK(std::abs((bar.Bar.Right - bar.Inner.Left) - exact) < 1.0 + 1e-9);
      }
    }
  }

  const std::string label = FirmwareLabel(info.Format);
  ZUB_CHECK(!label.empty() && label.size() <= 9);
  CheckLzoText(info.Size, info.UnpackedSize, separator);
  return 0;
}
