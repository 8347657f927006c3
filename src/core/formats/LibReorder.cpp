#include "formats/LibReorder.h"

#include <cstdint>
#include <unordered_map>

namespace zub {
namespace {

bool IsHeaderLine(std::string_view line) {
  return line.starts_with('#');
}

}  // namespace

std::string EntryKey(std::string_view line) {
  const auto length = static_cast<std::int64_t>(line.size());
  const auto hash = line.find(" #");
  const std::int64_t position =
      hash == std::string_view::npos ? 0 : static_cast<std::int64_t>(hash) + 1;
  const std::int64_t count = length - position - 2;
  if (count < 1) return {};
  const auto space = line.find(' ');
  const std::size_t start = space == std::string_view::npos ? 0 : space + 1;
  return std::string(line.substr(start, static_cast<std::size_t>(count)));
}

std::string EntryValue(std::string_view line) {
  const auto space = line.find(' ');
  return space == std::string_view::npos ? std::string() : std::string(line.substr(0, space));
}

std::vector<std::string> ReorderLibraryList(const std::vector<std::string>& reference,
                                            const std::vector<std::string>& chosen) {
  std::vector<std::string> output;
  for (const auto& line : chosen) {
    if (!IsHeaderLine(line)) break;
    output.push_back(line);
  }

  // The first chosen line of each key; header lines take part in the search as well.
  std::unordered_map<std::string, std::size_t> firstByKey;
  for (std::size_t i = 0; i < chosen.size(); ++i) firstByKey.emplace(EntryKey(chosen[i]), i);

  std::size_t i = 0;
  while (i < reference.size() && IsHeaderLine(reference[i])) ++i;
  for (; i < reference.size(); ++i) {
    const std::string key = EntryKey(reference[i]);
    if (auto it = firstByKey.find(key); it != firstByKey.end()) {
      output.push_back(EntryValue(chosen[it->second]) + " " + key);
    }
  }
  return output;
}

}  // namespace zub
