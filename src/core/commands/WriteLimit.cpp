#include "commands/WriteLimit.h"

#include <algorithm>

#include "formats/Magic.h"

namespace zub {

TWriteLimit WriteLimitFor(const TCoreState& m, TSectionAddress a) {
  TWriteLimit limit;
  limit.UploadLimit = static_cast<std::size_t>(kMaxUploadSize);
  limit.Bytes = limit.UploadLimit;
  const TSectionAddress wanted = a.OnTelephone();
  // Entry 0 is the grid's header row; the first row that names the section is the one the
  // window shows for it.
  for (std::size_t r = 1; r < m.Sections.size(); ++r) {
    const TSectInfo& row = m.Sections[r];
    if (row.Address().OnTelephone() != wanted) continue;
    if (row.MaxSize > 0) {
      limit.Max = row.MaxSize;
      limit.Bytes = std::min<std::size_t>(limit.Bytes, row.MaxSize);
    }
    break;
  }
  return limit;
}

std::optional<std::string> WriteTooLarge(const TCoreState& m, TSectionAddress a, std::size_t size) {
  const TWriteLimit limit = WriteLimitFor(m, a);
  if (size <= limit.Bytes) return std::nullopt;
  std::string why = std::to_string(size) + " bytes are more than section " + a.Text() + " takes: ";
  if (limit.Max && *limit.Max < limit.UploadLimit)
    why += "the catalogue's maximum for it is " + std::to_string(*limit.Max) + " bytes";
  else
    why += "a section write holds at most " + std::to_string(limit.UploadLimit) + " bytes";
  return why;
}

}  // namespace zub
