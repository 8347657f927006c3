#include "base/SectionAddress.h"

namespace zub {
namespace {

std::optional<std::int32_t> ByteNumber(std::string_view text) {
  // Digits only: no sign, no blanks, no prefix.
  if (text.empty() || text.size() > 3) return std::nullopt;
  std::int32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 255) return std::nullopt;
  return value;
}

}  // namespace

std::string TSectionAddress::Text() const {
  return std::to_string(Section) + "-" + std::to_string(SubSection);
}

std::optional<TSectionAddress> ParseSectionAddress(std::string_view text) {
  const auto dash = text.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const auto s = ByteNumber(text.substr(0, dash));
  const auto ss = ByteNumber(text.substr(dash + 1));
  if (!s || !ss) return std::nullopt;
  return TSectionAddress{*s, *ss};
}

}  // namespace zub
