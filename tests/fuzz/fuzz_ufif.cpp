// The UFIF 2.0 test, the ELF image offset, the 2.1 mark and the relocation on any bytes.
//
// Input: U32 base, Byte model (bit 0: Z7), Byte k, k bytes of firmware text, then the image.
//
// The image is converted twice: for the firmware text (when it parses; a text that does not
// may only raise EConvertError) and for the base and model given directly. Each conversion
// keeps the length and the first 20 bytes, changes only whole words at offsets of 20 and on
// in the ways the relocation allows, and reports only unrelocated words of the firmware range.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/Convert.h"
#include "formats/Ufif.h"

using namespace zub;
using zub::fuzz::TFuzzInput;

namespace {

constexpr std::array<std::uint32_t, 6> kBare = {0x36AC74u, 0x36AA84u, 0x36A97Cu,
                                                0x36AE14u, 0x36AE18u, 0x36AE1Cu};

bool InRange(std::uint32_t w) {
  return w > UfifLinkBase && w < UfifUpperBound;
}

// The file offset of the embedded image, worked out in 64 bits from the header fields; a
// field that lies outside the bytes reads as 0 (so a file shorter than 32 bytes has P = 0).
std::uint64_t ReferenceImageOffset(Bytes b) {
  const std::uint32_t p = load_u32le(b, 28).value_or(0);
  if (p > 120) return 0;
  return load_u32le(b, std::size_t{p} + 4).value_or(0);
}

void CheckConversion(const std::vector<std::uint8_t>& before, const TFirmwareChoice& fw) {
  std::vector<std::uint8_t> after = before;
  const std::vector<std::string> report = ConvertToUFIF21(after, fw);
  ZUB_CHECK(after.size() == before.size());
  const std::uint32_t delta = fw.Base - UfifLinkBase;

  for (std::size_t i = 0; i < after.size(); ++i) {
    if (after[i] == before[i]) continue;
    ZUB_CHECK(i >= 20);
    // A changed byte belongs to a whole word at a multiple of four.
    const std::size_t word = i & ~std::size_t{3};
    ZUB_CHECK(FitsAt(after.size(), word, 4));
  }
  for (std::size_t o = 20; FitsAt(after.size(), o, 4); o += 4) {
    const std::uint32_t was = *load_u32le(before, o);
    const std::uint32_t now = *load_u32le(after, o);
    if (was == now) continue;
    const bool relocated = (InRange(was) && now == was + delta) ||
                           (was == 0x36A9D1u && now == 0x36A9D5u + delta) ||
                           (std::ranges::find(kBare, was) != kBare.end() && now == was + delta) ||
                           (was == UfifModelWord && fw.Z7 && now == UfifModelWordZ7);
    ZUB_CHECK(relocated);
  }
  // With the link base itself only the corrected entry moves.
  if (fw.Base == UfifLinkBase && !fw.Z7) {
    for (std::size_t o = 20; FitsAt(after.size(), o, 4); o += 4) {
      const std::uint32_t was = *load_u32le(before, o);
      const std::uint32_t now = *load_u32le(after, o);
      ZUB_CHECK(was == now || (was == 0x36A9D1u && now == 0x36A9D5u));
    }
  }

  // "offset: o; UFIF Address:w" for a word of the firmware range that stayed as it was.
  for (const std::string& line : report) {
    const std::string head = "offset: ";
    const std::string mid = "; UFIF Address:";
    ZUB_CHECK(line.starts_with(head));
    const auto m = line.find(mid);
    ZUB_CHECK(m != std::string::npos);
    const auto o = TryStrToInt(line.substr(head.size(), m - head.size()));
    const auto w = TryStrToInt(line.substr(m + mid.size()));
    ZUB_CHECK(o && w && *o >= 20 && (*o % 4) == 0);
    ZUB_CHECK(FitsAt(before.size(), static_cast<std::size_t>(*o), 4));
    const auto word = static_cast<std::uint32_t>(*w);
    ZUB_CHECK(word > UfifReportBound && word < UfifUpperBound);
    ZUB_CHECK(load_u32le(before, static_cast<std::size_t>(*o)) == word);
    ZUB_CHECK(load_u32le(after, static_cast<std::size_t>(*o)) == word);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzInput in(data, size);
  TFirmwareChoice direct;
  direct.Base = in.U32();
  direct.Z7 = (in.Byte() & 1) != 0;
  const std::string text = in.Text(in.Byte());
  const Bytes rest = in.Rest();
  const std::vector<std::uint8_t> image(rest.begin(), rest.end());

  const std::uint64_t e = ReferenceImageOffset(image);
  const bool elf = load_u32le(image, 0) == ElfMagic;
  ZUB_CHECK(IsElf(image) == elf);
  ZUB_CHECK(EmbeddedImageOffset(image) == e);
  const bool ufif20 =
      image.size() >= 4 && (load_u32le(image, 0) == UFIF20Tag ||
                            (elf && e <= image.size() && load_u32le(image, e) == UFIF20Tag));
  ZUB_CHECK(IsUFIF20(image) == ufif20);

  // The mark sets one byte to 1, at 2 or E + 2, or nothing when that lies outside.
  {
    std::vector<std::uint8_t> marked = image;
    MarkUFIF21(marked);
    const std::uint64_t at = elf ? e + 2 : 2;
    for (std::size_t i = 0; i < marked.size(); ++i)
      ZUB_CHECK(marked[i] == (i == at ? 1 : image[i]));
    if (ufif20) ZUB_CHECK(load_u32le(marked, elf ? e : 0) == 0x20010000u);
  }

  try {
    const TFirmwareChoice fw = ParseFirmwareText(text);
    // A text that parses has a blank, and the base is what comes before it.
    const auto blank = text.find(' ');
    ZUB_CHECK(blank != std::string::npos);
    ZUB_CHECK(static_cast<std::uint32_t>(StrToInt(text.substr(0, blank))) == fw.Base);
    CheckConversion(image, fw);
  } catch (const EConvertError&) {
    const auto blank = text.find(' ');
    ZUB_CHECK(blank == std::string::npos || !TryStrToInt(text.substr(0, blank)));
  }
  CheckConversion(image, direct);
  return 0;
}
