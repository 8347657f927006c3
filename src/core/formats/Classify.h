// Recognising what a section holds from its head: the first bytes of the section as the
// telephone delivered them (at most 128). Pure: the bytes, the row's address and description
// and a signature lookup go in, the row's content fields come out.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/Bytes.h"
#include "formats/SectInfo.h"

namespace zub {

inline constexpr std::size_t kHeadSize = 128;

// The name of unrecognised data whose first 32-bit value is `first`, or `defaultText`.
using TSignatureLookup =
    std::function<std::string(std::uint32_t first, const std::string& defaultText)>;

struct THeadInput {
  Bytes Head;  // the delivered bytes only
  std::int32_t Section = 0;
  std::int32_t SubSection = 0;
  std::int32_t Size = 0;  // the section's size as the telephone reported it
  std::string Description;
};

// The content fields a head gives. Format and UnpackedSize are absent where the row keeps
// the value it had.
struct THeadClass {
  TSectKind Kind = skData;
  std::string Title;
  std::optional<std::uint32_t> Format;
  std::int32_t Size = 0;
  std::int32_t Compression = 0;
  std::optional<std::int32_t> UnpackedSize;
  std::int32_t Icon = -1;
};

THeadClass ClassifyHead(const THeadInput& in, const TSignatureLookup& signatureName);

// Stores the fields into the row; Section, SubSection, MaxSize and Description stay.
void ApplyHeadClass(TSectInfo& row, const THeadClass& c);

}  // namespace zub
