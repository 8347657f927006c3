// Whole sections on an open connection: the size query, the read of every byte of a section
// (a buffer sized for it, every count clamped to the buffer), the write, the erase, and the
// comparison of two contents. Each device call is preceded by a look at Ctrl-C.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CliArgs.h"
#include "base/Bytes.h"
#include "device/NVMSection.h"

namespace zub::cli {

// The largest section zub reads or writes: far beyond any telephone's NVM, small enough to
// hold in memory.
inline constexpr std::size_t kMaxSectionBytes = 16u << 20;

enum class TReadState { Present, Empty, Absent, Failed };

struct TSectionRead {
  TReadState State = TReadState::Failed;
  std::int32_t Size = 0;            // as the size query reported it (0 when empty or absent)
  std::vector<std::uint8_t> Bytes;  // Present, after ReadContent
  std::string Error;                // Failed: what went wrong, as the end of a sentence
  bool HasData() const { return State == TReadState::Present; }
};

// GetNVMFileSize: Present with the size, Empty, Absent (-153, -5) or Failed.
TSectionRead QuerySize(TNVMSection& nvm, TSectionAddress a);

// Reads every byte of a section whose size query `sized` gave (Present); any other state is
// returned as it is. A section that delivers other than its reported size is Failed.
TSectionRead ReadContent(TNVMSection& nvm, TSectionAddress a, TSectionRead sized);

inline TSectionRead ReadWholeSection(TNVMSection& nvm, TSectionAddress a) {
  return ReadContent(nvm, a, QuerySize(nvm, a));
}

// WriteNVMFile with the bytes as they are; the sentence's end when the library refused.
std::optional<std::string> WriteSection(TNVMSection& nvm, TSectionAddress a, Bytes data);

// ClearNVMFile, then the size query: the sentence's end when the section does not read as
// empty afterwards.
std::optional<std::string> EraseSection(TNVMSection& nvm, TSectionAddress a);

// The first offset at which the two differ (the shorter one's length when one is a prefix of
// the other); nullopt when they are equal.
std::optional<std::size_t> FirstDifference(Bytes a, Bytes b);

}  // namespace zub::cli
