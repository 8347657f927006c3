#include "SectionIO.h"

#include <algorithm>

#include "CliSession.h"
#include "device/GbpApi.h"

namespace zub::cli {
namespace {

void Select(TNVMSection& nvm, TSectionAddress a) {
  nvm.SetSect(a.Section);
  nvm.SetSSect(a.SubSection);
}

std::string Answered(std::int32_t code, const char* what) {
  return "the device library answered " + std::to_string(code) + " to " + what;
}

}  // namespace

TSectionRead QuerySize(TNVMSection& nvm, TSectionAddress a) {
  StopIfInterrupted();
  Select(nvm, a);
  TSectionRead r;
  const std::int32_t size = nvm.GetSize();
  if (size == gbp::kNoSection || size == gbp::kNoSectionAlt) {
    r.State = TReadState::Absent;
  } else if (size == 0) {
    r.State = TReadState::Empty;
  } else if (size < 0) {
    r.Error = Answered(size, "the size query");
  } else if (static_cast<std::uint64_t>(size) > kMaxSectionBytes) {
    r.Error = "it reports " + std::to_string(size) + " bytes, more than the " +
              std::to_string(kMaxSectionBytes >> 20) + " MiB zub handles";
  } else {
    r.State = TReadState::Present;
    r.Size = size;
  }
  return r;
}

TSectionRead ReadContent(TNVMSection& nvm, TSectionAddress a, TSectionRead sized) {
  if (sized.State != TReadState::Present) return sized;
  StopIfInterrupted();
  Select(nvm, a);
  const auto expected = static_cast<std::size_t>(sized.Size);
  // One byte more than the size: a section that grew since the size query fills it.
  sized.Bytes.assign(expected + 1, 0);
  const std::int32_t n =
      nvm.Read(sized.Bytes.data(), static_cast<std::uint32_t>(sized.Bytes.size()));
  if (n < 0) {
    sized.State = TReadState::Failed;
    sized.Error = Answered(n, "the read");
    sized.Bytes.clear();
    return sized;
  }
  const auto delivered = std::min(static_cast<std::size_t>(n), sized.Bytes.size());
  if (delivered != expected) {
    sized.State = TReadState::Failed;
    sized.Error = delivered > expected ? "it holds more than the " + std::to_string(expected) +
                                             " bytes its size query reported"
                                       : "the telephone delivered " + std::to_string(delivered) +
                                             " of its " + std::to_string(expected) + " bytes";
    sized.Bytes.clear();
    return sized;
  }
  sized.Bytes.resize(expected);
  return sized;
}

std::optional<std::string> WriteSection(TNVMSection& nvm, TSectionAddress a, Bytes data) {
  StopIfInterrupted();
  Select(nvm, a);
  const std::int32_t r = nvm.Write(data.data(), static_cast<std::uint32_t>(data.size()));
  if (r < 0) return Answered(r, "the write");
  return std::nullopt;
}

std::optional<std::string> EraseSection(TNVMSection& nvm, TSectionAddress a) {
  StopIfInterrupted();
  Select(nvm, a);
  nvm.Clear();  // the library's answer means nothing; the size afterwards tells
  const TSectionRead after = QuerySize(nvm, a);
  if (after.State == TReadState::Empty || after.State == TReadState::Absent) return std::nullopt;
  if (after.State == TReadState::Present)
    return "it still holds " + std::to_string(after.Size) + " bytes after erasing";
  return after.Error + " after erasing";
}

std::optional<std::size_t> FirstDifference(Bytes a, Bytes b) {
  const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  if (ia == a.end() && ib == b.end()) return std::nullopt;
  return static_cast<std::size_t>(ia - a.begin());
}

}  // namespace zub::cli
