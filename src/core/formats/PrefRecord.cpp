#include "formats/PrefRecord.h"

namespace zub {
namespace {

std::uint8_t ByteAt(Bytes b, std::size_t offset) {
  return offset < b.size() ? b[offset] : 0;
}

constexpr std::uint8_t kMenuModes[] = {kMenuOnlyPrograms, kMenuProgsAndData, kMenuShowAll};

}  // namespace

TPrefBytes EncodePrefRecord(const TPrefRecord& record) {
  TPrefBytes b{};
  for (std::size_t i = 0; i < record.Signature.size(); ++i)
    b[kPrefSignatureAt + i] = record.Signature[i];
  b[kPrefMenuModeAt] = record.MenuMode;
  b[kPrefReservedAt] = record.Reserved;
  b[kPrefLibSubSectionAt] = record.LibSubSection;
  b[kPrefLibSectionAt] = record.LibSection;
  b[kPrefAutorunSubSectionAt] = record.AutorunSubSection;
  b[kPrefAutorunSectionAt] = record.AutorunSection;
  store_u16le(b, kPrefReserved2At, record.Reserved2);
  return b;
}

TPrefRecord DecodePrefRecord(Bytes bytes) {
  TPrefRecord r;
  for (std::size_t i = 0; i < r.Signature.size(); ++i)
    r.Signature[i] = ByteAt(bytes, kPrefSignatureAt + i);
  r.MenuMode = ByteAt(bytes, kPrefMenuModeAt);
  r.Reserved = ByteAt(bytes, kPrefReservedAt);
  r.LibSubSection = ByteAt(bytes, kPrefLibSubSectionAt);
  r.LibSection = ByteAt(bytes, kPrefLibSectionAt);
  r.AutorunSubSection = ByteAt(bytes, kPrefAutorunSubSectionAt);
  r.AutorunSection = ByteAt(bytes, kPrefAutorunSectionAt);
  r.Reserved2 = load_u16le(bytes, kPrefReserved2At).value_or(0);
  return r;
}

std::optional<int> RadioIndexOfMenuMode(std::uint8_t mode) {
  for (int i = 0; i < 3; ++i)
    if (kMenuModes[i] == mode) return i;
  return std::nullopt;
}

std::optional<std::uint8_t> MenuModeOfRadioIndex(int index) {
  if (index < 0 || index >= 3) return std::nullopt;
  return kMenuModes[index];
}

}  // namespace zub
