// The steps every command that reads or writes a whole section shares: reading a section into
// a buffer sized for it, writing an image and scanning the row again on the same connection,
// and the verdicts of an upload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/Bytes.h"
#include "commands/CoreState.h"
#include "commands/Messages.h"
#include "formats/Magic.h"

namespace zub {

struct TReadOptions {
  // The most bytes the command can use.
  std::size_t Capacity = kSectionBufferSize;
  // A section that does not exist (read and size both answer "no such section") reads as an
  // empty one, so items can be put into a row the grid shows as empty.
  bool AbsentIsEmpty = false;
  // When the read fills the whole buffer, ask the size too, to tell a section that holds
  // more than the buffer.
  bool DetectLonger = false;
  // The read opens the connection itself: when it cannot be opened, the component's message
  // is followed by the failed read's own.
  bool ReadOpensConnection = false;
};

struct TSectionContent {
  std::vector<std::uint8_t> Data;  // what the telephone delivered, never more than Capacity
  bool Longer = false;             // the section holds more than Data (DetectLonger only)
};

// Reads the section on a connection of its own (or the one the command holds), closed again
// before anything is shown. nullopt when the connection could not be opened (the component
// has said so) or the read failed ("Error reading section S-SS").
std::optional<TSectionContent> ReadWholeSection(TCoreState& m, std::int32_t section,
                                                std::int32_t subSection,
                                                const TReadOptions& options = {});

// One read on the open connection into `buffer` (its size is the capacity): the library's
// result; the buffer keeps what was delivered, a count beyond its size clamped to it.
std::int32_t ReadInto(TNVMSection& nvm, std::vector<std::uint8_t>& buffer);

// The upload commands' first steps: the file-open dialog, "Uploading data...", the first
// 65,536 bytes of the chosen file without their trailing filler words. nullopt when the user
// cancelled the dialog.
std::optional<std::vector<std::uint8_t>> OpenProgramFile(TCoreState& m);

// Writes the image into the row's section on a connection of its own and scans the row again
// before the connection closes, then repaints: the size the scan found, or nullopt when the
// connection could not be opened.
std::optional<std::int32_t> WriteAndRescan(TCoreState& m, TSectInfo& row, Bytes image);

// The upload's verdict: r is what the rescan found, n what was written.
void ReportUpload(TCoreState& m, std::int32_t r, std::int32_t n,
                  const char* success = kUploadedSuccessfully, const char* done = kStatusUploaded,
                  const char* failure = kUploadErrorText);

// The check after a library upload, on the open connection: the section's size on success
// (with the "OK!" box), -1 on failure (with the "ERROR" box).
std::int32_t VerifyUpload(TCoreState& m, std::int32_t section, std::int32_t subSection,
                          std::int32_t expected);

// Writes a library image on a connection of its own and checks it; the status line tells
// whether the telephone kept it.
void WriteAndVerify(TCoreState& m, std::int32_t section, std::int32_t subSection, Bytes image);

}  // namespace zub
