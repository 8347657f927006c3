// Files the commands read and write. Reading takes at most a given number of bytes from the
// start; writing is whole or not at all: the bytes go to a temporary file beside the target,
// which is then renamed over it, so a failure never leaves a half-written file and never
// destroys the previous one. Failures raise EFileError with the toolkit's wording.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Bytes.h"

namespace zub {

// Up to `maxBytes` bytes from the start of the file.
std::vector<std::uint8_t> ReadFileHead(const std::string& path, std::size_t maxBytes);
// The whole file as text.
std::string ReadTextFile(const std::string& path);
void WriteFileAtomic(const std::string& path, Bytes data);

}  // namespace zub
