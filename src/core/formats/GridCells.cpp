#include "formats/GridCells.h"

#include <algorithm>
#include <cstdio>

#include "formats/IconTable.h"

namespace zub {
namespace {

constexpr std::int32_t kSmallScale = 21504;  // 21 KiB: the most a blue bar shows
constexpr std::int32_t kLargeScale = 65536;

// Geometry is worked out in 64 bits and handed back as int; a cell rectangle never comes near
// the limits, but a record may hold any value.
int ToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

struct TMeasures {
  std::int64_t W, H, TH;
};

TMeasures Measure(const TCellRect& r, const TTextMetrics& metrics) {
  return {std::int64_t{r.Right} - r.Left, std::int64_t{r.Bottom} - r.Top, metrics.Height};
}

int TextWidth(const TTextMetrics& metrics, const std::string& text) {
  return metrics.Width ? metrics.Width(text) : 0;
}

TCellText Centred(const std::string& text, const TCellRect& r, const TTextMetrics& metrics) {
  const auto m = Measure(r, metrics);
  const std::int64_t tw = TextWidth(metrics, text);
  return {text, ToInt(r.Left + m.W / 2 - tw / 2), ToInt(r.Top + m.H / 2 - m.TH / 2)};
}

TCellBar SizeBar(std::int32_t size, const TCellRect& r, const TMeasures& m) {
  TCellBar bar;
  bar.Frame = {ToInt(std::int64_t{r.Left} + 3), ToInt(r.Top + m.H / 2 + 3),
               ToInt(std::int64_t{r.Right} - 53), ToInt(std::int64_t{r.Bottom} - 3)};
  bar.Inner = {ToInt(std::int64_t{bar.Frame.Left} + 1), ToInt(std::int64_t{bar.Frame.Top} + 1),
               ToInt(std::int64_t{bar.Frame.Right} - 1), ToInt(std::int64_t{bar.Frame.Bottom} - 1)};
  const bool small = size <= kSmallScale;
  bar.Scale = small ? kSmallScale : kLargeScale;
  bar.Colour = small ? TBarColour::Blue : TBarColour::Red;
  // Size * (inner width / scale), truncated toward zero. Worked out exactly: in floating point
  // a full-scale size can land just below the right edge and lose the last pixel.
  const std::int64_t width = std::int64_t{bar.Inner.Right} - bar.Inner.Left;
  std::int64_t length = std::int64_t{size} * width / bar.Scale;
  // A size beyond the scale (above 64 KiB) or below zero stays inside the frame.
  length = std::clamp<std::int64_t>(length, 0, std::max<std::int64_t>(width, 0));
  bar.Bar = bar.Inner;
  bar.Bar.Right = ToInt(bar.Inner.Left + length);
  return bar;
}

void DrawProgramColumn(const TSectInfo& info, const TCellRect& r, const TTextMetrics& metrics,
                       char decimalSeparator, TCellDrawing& out) {
  const auto m = Measure(r, metrics);
  const int upperY = ToInt(r.Top + m.H / 4 - m.TH / 2);
  if (info.Icon > 0 && info.Icon < kIconImageCount) {
    out.Icon = info.Icon;
    out.IconX = ToInt(std::int64_t{r.Left} + 3);
    out.IconY = ToInt(std::int64_t{upperY} + 3);
  }
  if (info.Size != 0) out.Title = TCellText{info.Title, ToInt(std::int64_t{r.Left} + 20), upperY};
  if (info.Compression == 1)
    out.Lzo = TCellText{LzoText(info.Size, info.UnpackedSize, decimalSeparator),
                        ToInt(std::int64_t{r.Right} - 80), upperY};
  out.SizeText = TCellText{std::to_string(info.Size), ToInt(std::int64_t{r.Right} - 50),
                           ToInt(r.Top + (3 * m.H) / 4 - m.TH / 2)};
  out.Bar = SizeBar(info.Size, r, m);
}

}  // namespace

TCellDrawing DrawCell(const TSectInfo& info, int col, int row, const TCellRect& rect,
                      const TTextMetrics& metrics, char decimalSeparator) {
  TCellDrawing out;
  if (row != 0 && std::int64_t{info.Section} + info.SubSection == 0) return out;
  out.Drawn = true;
  if (row == 0) {
    static const char* const kHeaders[] = {"#", "Program & Size", "FW"};
    if (col >= 0 && col < 3) out.Header = Centred(kHeaders[col], rect, metrics);
    return out;
  }
  switch (col) {
    case 0: {
      const auto m = Measure(rect, metrics);
      out.Address =
          TCellText{"{" + info.Address().Text() + "}", ToInt(std::int64_t{rect.Left} + 25),
                    ToInt(rect.Top + m.H / 2 - m.TH / 2)};
      break;
    }
    case 1:
      DrawProgramColumn(info, rect, metrics, decimalSeparator, out);
      break;
    case 2:
      if (info.Kind == skProgram) out.Firmware = Centred(FirmwareLabel(info.Format), rect, metrics);
      break;
    default:
      break;
  }
  return out;
}

std::string FirmwareLabel(std::uint32_t format) {
  const std::int32_t high = static_cast<std::int32_t>(format) >> 8;
  if (high == 0x200000) return "UFIF 2";
  if (high == 0x200100) return "UFIF 2.1";
  switch (format) {
    case 0x20031004:
      return "3.10/4";
    case 0x20036005:
      return "3.6/5";
    case 0x20054206:
      return "5.4.2/6";
    case 0x30C0DE01:
      return "PRG 3";
    case 0x00003500:
      return "PRG 3.5";
    default:
      break;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%x.%x.%x/%x", (format >> 16) & 0xF, (format >> 12) & 0xF,
                (format >> 8) & 0xF, format & 0xF);
  return text;
}

std::string LzoText(std::int32_t size, std::int32_t unpackedSize, char decimalSeparator) {
  // Without the unpacked length the share saved is unknown.
  if (unpackedSize == 0) return "LZO(?)";
  // 32-bit arithmetic as the window has always done it: the product and the quotient wrap
  // instead of trapping.
  const auto wrap = [](std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  };
  const std::int32_t product = wrap(std::int64_t{size} * 100);
  const std::int32_t quotient = wrap(std::int64_t{product} / unpackedSize);
  const std::int32_t percent = wrap(100 - std::int64_t{quotient});
  return "LZO(" + std::to_string(percent) + decimalSeparator + "0%)";
}

TListRow ListRow(const TSectInfo& row, const std::string& error) {
  TListRow out;
  out.Address = row.Address().Text();
  out.Title = row.Title;
  out.Size = row.Size;
  out.Capacity = row.MaxSize;
  out.Error = error;
  if (!error.empty()) {
    out.Kind = "error";
    return out;
  }
  switch (row.Kind) {
    case skEmpty:
      out.Kind = "empty";
      break;
    case skProgram:
      out.Kind = "program";
      out.Format = FirmwareLabel(row.Format);
      break;
    case skGIF:
      out.Kind = "gif";
      break;
    case skData:
      out.Kind = "data";
      break;
    default:
      out.Kind = "unknown";
      break;
  }
  if (row.Compression == 1) out.Lzo = LzoText(row.Size, row.UnpackedSize);
  return out;
}

}  // namespace zub
