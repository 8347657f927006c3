#include "formats/Classify.h"

#include "base/Cp1251.h"
#include "formats/IconTable.h"
#include "formats/Magic.h"
#include "formats/Ufif.h"

namespace zub {
namespace {

constexpr std::size_t kNameWidth = 16;

// Offsets may come from the head itself (an ELF header), so they are 64-bit here and a field
// that does not lie wholly inside the head reads as 0 or empty.
std::uint32_t U32At(Bytes head, std::uint64_t offset) {
  if (offset > head.size()) return 0;
  return u32le_or0(head, static_cast<std::size_t>(offset));
}

// A program's 16-byte name, in the telephone's code page.
std::string NameAt(Bytes head, std::uint64_t offset) {
  if (offset > head.size()) return {};
  return Cp1251ToUtf8(load_text(head, static_cast<std::size_t>(offset), kNameWidth));
}

// UTF-16LE units from offset 4 up to the first zero unit or the end of the head.
std::string RingerName(Bytes head) {
  std::u16string text;
  for (std::size_t at = 4; auto unit = load_u16le(head, at); at += 2) {
    if (*unit == 0) break;
    text.push_back(static_cast<char16_t>(*unit));
  }
  return Utf16ToUtf8(text);
}

THeadClass Program(std::uint32_t format, std::string title, std::int32_t icon) {
  THeadClass c;
  c.Kind = skProgram;
  c.Format = format;
  c.Title = std::move(title);
  c.Icon = icon;
  return c;
}

THeadClass Data(std::string title) {
  THeadClass c;
  c.Kind = skData;
  c.Title = std::move(title);
  return c;
}

THeadClass Classify(const THeadInput& in, const TSignatureLookup& signatureName) {
  const Bytes h = in.Head;
  // A test matches only on bytes that were delivered: the 32-bit value needs four bytes, its
  // low 24 bits three.
  const auto d = load_u32le(h, 0);
  const std::uint32_t D = d.value_or(0);
  std::optional<std::uint32_t> L;
  if (h.size() >= 3) L = h[0] | (h[1] << 8) | (static_cast<std::uint32_t>(h[2]) << 16);

  if (d && D == LZOMagic) {
    const std::uint32_t tag = U32At(h, 20);
    THeadClass c;
    c.Kind = (tag >> 24) == 0x20 ? skProgram : skData;
    c.Compression = 1;
    c.Format = tag;
    c.Title = c.Kind == skProgram ? NameAt(h, 4) : "< Data >";
    c.UnpackedSize = static_cast<std::int32_t>(U32At(h, 24));
    c.Icon = FindIconIndex(U32At(h, 28));
    return c;
  }
  if (d && D == ElfMagic) {
    const auto e = ElfImageOffset(h, TElfField::Unknown);
    if (!e) return Program(0, {}, 0);
    return Program(U32At(h, *e), NameAt(h, std::uint64_t{*e} + 4),
                   FindIconIndex(U32At(h, std::uint64_t{*e} + 24)));
  }
  if (d && D == Prg3Magic) return Program(D, NameAt(h, 4), kProgramIcon);
  if (d && ((D >> 16) == 0x3500 || (D >> 16) == 0x3501))
    return Program(0x3500, NameAt(h, 4), kProgramIcon);
  if (d && (D >> 24) == 0x20) return Program(D, NameAt(h, 4), kProgramIcon);
  if (L == LibTag) return Data("< UFIF2 ExtLibrary >");
  if (L == GifTag) {
    THeadClass c = Data("< GIF-File >");
    c.Kind = skGIF;
    return c;
  }
  if (d && D == 0) return Data("ringer: " + RingerName(h));
  if (L == PhfTag) return Data("< imagoVELA pack >");
  if (h.size() > 16 && h[7] == 0 && h[11] == 0 && h[15] == 0 && in.Section == 2 &&
      in.SubSection == 16)
    return Data("< PRG3 ExtLibrary ver." + std::to_string(static_cast<std::int32_t>(D)) + ">");
  const std::string fallback = in.Description + " or unknown data";
  return Data("< " + (signatureName ? signatureName(D, fallback) : fallback) + " >");
}

}  // namespace

THeadClass ClassifyHead(const THeadInput& in, const TSignatureLookup& signatureName) {
  THeadClass c = Classify(in, signatureName);
  c.Size = in.Size;
  return c;
}

void ApplyHeadClass(TSectInfo& row, const THeadClass& c) {
  row.Kind = c.Kind;
  row.Title = c.Title;
  if (c.Format) row.Format = *c.Format;
  row.Size = c.Size;
  row.Compression = c.Compression;
  if (c.UnpackedSize) row.UnpackedSize = *c.UnpackedSize;
  row.Icon = c.Icon;
}

}  // namespace zub
