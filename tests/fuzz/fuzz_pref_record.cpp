// The 12-byte preference record: decoding any number of bytes, encoding any record, and the
// menu-mode radio mapping.
//
// Input: U32 radio index, then the record bytes (any length).
//
// Each field is its byte (0 when the record is shorter); encoding a decoded record gives back
// its first 12 bytes, zero-filled; decoding an encoded record gives the record; the radio
// index and the menu mode map onto each other for 3, 7 and 255 only.
#include <cstdint>

#include "FuzzSupport.h"
#include "formats/PrefRecord.h"

using namespace zub;
using zub::fuzz::TFuzzInput;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzInput in(data, size);
  const auto radio = static_cast<std::int32_t>(in.U32());
  const Bytes bytes = in.Rest();

  const auto at = [&](std::size_t i) -> std::uint8_t { return i < bytes.size() ? bytes[i] : 0; };
  const TPrefRecord r = DecodePrefRecord(bytes);
  for (std::size_t i = 0; i < 4; ++i) ZUB_CHECK(r.Signature[i] == at(i));
  ZUB_CHECK(r.MenuMode == at(4));
  ZUB_CHECK(r.Reserved == at(5));
  ZUB_CHECK(r.LibSubSection == at(6));
  ZUB_CHECK(r.LibSection == at(7));
  ZUB_CHECK(r.AutorunSubSection == at(8));
  ZUB_CHECK(r.AutorunSection == at(9));
  // The reserved word is read only when it lies wholly inside.
  ZUB_CHECK(r.Reserved2 == (bytes.size() >= 12 ? at(10) | (at(11) << 8) : 0));

  const TPrefBytes encoded = EncodePrefRecord(r);
  for (std::size_t i = 0; i < kPrefRecordSize; ++i) {
    const std::uint8_t want = (i >= 10 && bytes.size() < 12) ? 0 : at(i);
    ZUB_CHECK(encoded[i] == want);
  }
  ZUB_CHECK(DecodePrefRecord(encoded) == r);

  // The radio group's item for the stored mode, and back.
  if (const auto item = RadioIndexOfMenuMode(r.MenuMode)) {
    ZUB_CHECK(*item >= 0 && *item < 3);
    ZUB_CHECK(MenuModeOfRadioIndex(*item) == r.MenuMode);
  } else {
    ZUB_CHECK(r.MenuMode != 3 && r.MenuMode != 7 && r.MenuMode != 255);
  }
  const auto mode = MenuModeOfRadioIndex(radio);
  ZUB_CHECK(mode.has_value() == (radio >= 0 && radio < 3));
  if (mode) ZUB_CHECK(RadioIndexOfMenuMode(*mode) == radio);
  return 0;
}
