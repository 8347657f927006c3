// ReorderLibraryList on two texts: the reference list before the first NUL byte of the input,
// the chosen list after it.
//
// The output is the chosen list's leading header lines, then for reference entries in order
// the first chosen line with the same key as value + " " + key; so every later line ends in a
// reference key, and there are never more lines than reference entries plus header lines.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "base/TextLines.h"
#include "formats/LibReorder.h"

using namespace zub;

namespace {

// The key: L - P - 2 characters from after the first space, P the 1-based position of the
// first " #" (0 without one); worked out in 64 bits.
std::string ReferenceKey(std::string_view line) {
  const std::int64_t l = static_cast<std::int64_t>(line.size());
  const auto hash = line.find(" #");
  const std::int64_t p = hash == std::string_view::npos ? 0 : static_cast<std::int64_t>(hash) + 1;
  const std::int64_t count = l - p - 2;
  if (count < 1) return {};
  const auto space = line.find(' ');
  const std::size_t start = space == std::string_view::npos ? 0 : space + 1;
  return std::string(line.substr(start, static_cast<std::size_t>(count)));
}

std::string ReferenceValue(std::string_view line) {
  const auto space = line.find(' ');
  return space == std::string_view::npos ? std::string() : std::string(line.substr(0, space));
}

bool Header(const std::string& line) {
  return !line.empty() && line[0] == '#';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const auto nul = all.find('\0');
  const std::string_view referenceText = all.substr(0, nul);
  const std::string_view chosenText =
      nul == std::string_view::npos ? std::string_view() : all.substr(nul + 1);
  const std::vector<std::string> reference = SplitLines(referenceText);
  const std::vector<std::string> chosen = SplitLines(chosenText);

  for (const auto& line : chosen) {
    ZUB_CHECK(EntryKey(line) == ReferenceKey(line));
    ZUB_CHECK(EntryValue(line) == ReferenceValue(line));
  }

  const std::vector<std::string> out = ReorderLibraryList(reference, chosen);

  std::size_t headers = 0;
  while (headers < chosen.size() && Header(chosen[headers])) ++headers;
  std::size_t refStart = 0;
  while (refStart < reference.size() && Header(reference[refStart])) ++refStart;
  const std::size_t entries = reference.size() - refStart;
  ZUB_CHECK(out.size() <= headers + entries);
  ZUB_CHECK(out.size() >= headers);
  for (std::size_t i = 0; i < headers; ++i) ZUB_CHECK(out[i] == chosen[i]);

  // The entries, worked out by a plain search of the chosen list for each reference key.
  std::vector<std::string> chosenKeys;
  for (const auto& line : chosen) chosenKeys.push_back(ReferenceKey(line));
  std::size_t o = headers;
  for (std::size_t r = refStart; r < reference.size(); ++r) {
    const std::string key = ReferenceKey(reference[r]);
    for (std::size_t c = 0; c < chosen.size(); ++c) {
      if (chosenKeys[c] != key) continue;
      ZUB_CHECK(o < out.size());
      ZUB_CHECK(out[o] == ReferenceValue(chosen[c]) + " " + key);
      ++o;
      break;
    }
  }
  ZUB_CHECK(o == out.size());
  return 0;
}
