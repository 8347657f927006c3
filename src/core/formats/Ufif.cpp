#include "formats/Ufif.h"

#include <algorithm>
#include <array>

#include "base/Convert.h"

namespace zub {
namespace {

constexpr std::uint32_t kCorrectedEntryFrom = 0x36A9D1u;
constexpr std::uint32_t kCorrectedEntryTo = 0x36A9D5u;
constexpr std::array<std::uint32_t, 6> kBareAddresses = {0x36AC74u, 0x36AA84u, 0x36A97Cu,
                                                         0x36AE14u, 0x36AE18u, 0x36AE1Cu};

// A stub's literal that points into the relocated firmware range.
bool IsRelocatable(std::optional<std::uint32_t> literal) {
  return literal && *literal > UfifLinkBase && *literal < UfifUpperBound;
}

}  // namespace

std::int32_t StripFiller(Bytes data, std::int32_t n) {
  if (n > static_cast<std::int32_t>(data.size())) n = static_cast<std::int32_t>(data.size());
  while (n >= 2 && load_u16le(data, static_cast<std::size_t>(n - 2)) == FillerWord) n -= 2;
  return n;
}

bool IsElf(Bytes image) {
  return load_u32le(image, 0) == ElfMagic;
}

std::optional<std::uint32_t> ElfImageOffset(Bytes image, TElfField missing) {
  const auto read = [&](std::size_t at) -> std::optional<std::uint32_t> {
    if (const auto v = load_u32le(image, at)) return v;
    if (missing == TElfField::Zero) return 0u;
    return std::nullopt;
  };
  const auto tableOffset = read(28);
  if (!tableOffset) return std::nullopt;
  if (*tableOffset > 120) return 0u;
  return read(std::size_t{*tableOffset} + 4);
}

std::uint32_t EmbeddedImageOffset(Bytes image) {
  return *ElfImageOffset(image, TElfField::Zero);
}

bool IsUFIF20(Bytes image) {
  if (image.size() < 4) return false;
  const std::uint32_t first = u32le_or0(image, 0);
  if (first == UFIF20Tag) return true;
  if (first != ElfMagic) return false;
  return load_u32le(image, EmbeddedImageOffset(image)) == UFIF20Tag;
}

void MarkUFIF21(MutableBytes image) {
  const std::size_t offset = IsElf(image) ? std::size_t{EmbeddedImageOffset(image)} + 2 : 2;
  if (offset < image.size()) image[offset] = 1;
}

TFirmwareChoice ParseFirmwareText(const std::string& text) {
  const auto blank = text.find(' ');
  const std::string address = blank == std::string::npos ? std::string() : text.substr(0, blank);

  std::string model;
  if (const auto sep = text.find(" - "); sep != std::string::npos) {
    model = text.substr(sep + 3, 2);
  } else if (text.size() > 2) {
    model = text.substr(2, 2);
  }

  TFirmwareChoice fw;
  fw.Base = static_cast<std::uint32_t>(StrToInt(address));
  fw.Z7 = model == "Z7" || model == "z7";
  return fw;
}

std::vector<std::string> ConvertToUFIF21(MutableBytes image, const TFirmwareChoice& fw) {
  const std::uint32_t delta = fw.Base - UfifLinkBase;
  std::vector<std::string> report;

  std::size_t o = 20;
  while (FitsAt(image.size(), o, 4)) {
    const std::uint32_t w = *load_u32le(image, o);
    if (w == UfifStubPattern1) {
      if (auto literal = load_u32le(image, o + 8); IsRelocatable(literal)) {
        const std::uint32_t target = *literal == kCorrectedEntryFrom ? kCorrectedEntryTo : *literal;
        store_u32le(image, o + 8, target + delta);
        o += 8;
      }
    } else if (w == UfifStubPattern2) {
      if (auto literal = load_u32le(image, o + 24); IsRelocatable(literal)) {
        store_u32le(image, o + 24, *literal + delta);
        o += 28;
      }
    } else if (std::ranges::find(kBareAddresses, w) != kBareAddresses.end()) {
      store_u32le(image, o, w + delta);
    } else if (w == UfifModelWord) {
      store_u32le(image, o, fw.Z7 ? UfifModelWordZ7 : UfifModelWord);
    } else if (w > UfifReportBound && w < UfifUpperBound) {
      report.push_back("offset: " + std::to_string(o) + "; UFIF Address:" + std::to_string(w));
    }
    o += 4;
  }
  return report;
}

}  // namespace zub
