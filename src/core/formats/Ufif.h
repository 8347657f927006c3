// UFIF program images: the ELF wrapping, the UFIF 2.0 test, the 2.1 mark and the relocation of
// a UFIF 2.0 image's firmware addresses for a chosen firmware.
//
// Image layout: 0..3 format tag (0x20000000 = UFIF 2.0, byte 2 set to 01 = UFIF 2.1),
// 4..19 program name, 20.. Thumb code with call stubs and 32-bit literals.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "formats/Magic.h"

namespace zub {

// Relocation constants: UFIF 2.0 images call the firmware as if it sat at the link base.
inline constexpr std::uint32_t UfifLinkBase = 0x36A658u;
inline constexpr std::uint32_t UfifUpperBound = 0x370000u;
inline constexpr std::uint32_t UfifReportBound = 0x36A630u;
inline constexpr std::uint32_t UfifStubPattern1 = 0x4801B403u;  // literal 8 bytes on
inline constexpr std::uint32_t UfifStubPattern2 = 0x4809B407u;  // literal 24 bytes on
inline constexpr std::uint32_t UfifModelWord = 0x820000u;
inline constexpr std::uint32_t UfifModelWordZ7 = 0x8A0000u;

bool IsElf(Bytes image);

// Drops trailing filler words 0x46C0 (bytes C0 46) from the first n bytes; returns the
// remaining length.
std::int32_t StripFiller(Bytes data, std::int32_t n);

// How a field that lies outside the bytes reads: as 0 (the bytes stand at the start of a
// zero-filled buffer), or as unknown.
enum class TElfField { Zero, Unknown };

// Where the program image of an ELF file starts: P = the program-header table's offset (at
// 28); when P <= 120, the file offset of the first segment (at P + 4), else 0. nullopt only
// when a field it needs is unknown.
std::optional<std::uint32_t> ElfImageOffset(Bytes image, TElfField missing);

// The same for a file loaded into a zero-filled buffer: fields outside the bytes read as 0.
std::uint32_t EmbeddedImageOffset(Bytes image);

// A bare image tagged exactly 0x20000000, or an ELF file whose embedded image is.
bool IsUFIF20(Bytes image);

// Sets byte 2 of the image (E + 2 in an ELF file) to 1; nothing when it lies outside.
void MarkUFIF21(MutableBytes image);

// What the firmware combo box shows, taken apart: "0x370000 - J7/70 3.10/4".
struct TFirmwareChoice {
  std::uint32_t Base = 0;
  bool Z7 = false;
};

// The address is the text before the first blank, read with StrToInt (raises EConvertError,
// also when there is no blank). The model is the two characters after the first " - ", or the
// third and fourth characters when there is none; only "Z7" and "z7" count as Z7.
TFirmwareChoice ParseFirmwareText(const std::string& text);

// Relocates the image in place for the firmware and returns the report: one line per word in
// the firmware address range that was left alone. Scans 32-bit words from offset 20 on; never
// changes the first 20 bytes, the length, or a literal that does not lie wholly inside.
// The caller marks the image as UFIF 2.1.
std::vector<std::string> ConvertToUFIF21(MutableBytes image, const TFirmwareChoice& fw);

}  // namespace zub
