// Files the commands read and write. Only regular files are read: a folder, a pipe or a
// device is refused at once, before anything could wait on it. Reading takes at most a given
// number of bytes from the start; a text file longer than its limit is refused. Writing is
// whole or not at all: the bytes go to a new temporary file of an unpredictable name beside
// the target (created afresh, never an existing name or link), are flushed to the disk, and
// the temporary file is then renamed over the target, so a failure never leaves a
// half-written file and never touches the previous one. Failures raise EFileError with the
// toolkit's wording.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Bytes.h"

namespace zub {

// A file name held as text: the program's texts are UTF-8 on every platform, and so is what
// std::filesystem::path::string() gives back. (A path made straight from a std::string takes
// the bytes as the system's narrow code page on Windows, so a name beyond ASCII would not
// come back as it went in.)
std::filesystem::path PathFromUtf8(std::string_view text);

// The longest text file the commands read (a PRG3 library text, a library list).
constexpr std::size_t kMaxTextFileSize = std::size_t{1} << 20;

// Up to `maxBytes` bytes from the start of the file.
std::vector<std::uint8_t> ReadFileHead(const std::string& path, std::size_t maxBytes);
// The whole file as text; a file longer than `maxBytes` is refused.
std::string ReadTextFile(const std::string& path, std::size_t maxBytes = kMaxTextFileSize);

// Where a command's input file comes from: up to `maxBytes` bytes from its start, EFileError
// when it cannot be read. The tool reads the disk (ReadFileHead); a run that holds the file's
// bytes already (the fuzz targets) hands them over without a file.
using TFileReader =
    std::function<std::vector<std::uint8_t>(const std::string& path, std::size_t maxBytes)>;
// The whole file as text through `read`, refused as ReadTextFile refuses a longer one.
std::string ReadTextFile(const TFileReader& read, const std::string& path,
                         std::size_t maxBytes = kMaxTextFileSize);

// Replaces the file, or creates it. An existing file keeps its permission bits; a file that
// is read-only (no write permission for its owner, or none for this user) is not replaced.
// A link is kept: the file it points to is replaced.
void WriteFileAtomic(const std::string& path, Bytes data);
// The same, with the temporary file's name (a bare name in the target's folder) taken from
// `tempName`, which is asked again while a name is taken already.
void WriteFileAtomic(const std::string& path, Bytes data,
                     const std::function<std::string()>& tempName);

// Removes the temporary files that WriteFileAtomic left beside `path` when it was stopped
// before its rename (the process killed, the power lost): regular files named as it names
// them for this target, last written more than `minAge` ago (a younger one may belong to a
// save that another copy of the program is making now). Nothing else is touched, and a
// folder that cannot be read changes nothing. Gives how many went.
std::size_t RemoveLeftoverTempFiles(const std::string& path, std::chrono::seconds minAge);

}  // namespace zub
