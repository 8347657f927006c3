// The window's section steps, made of the section engine's (SectionEngine.h): reading a
// section into a buffer for a command, writing an image and scanning the row again on the
// same connection, and the verdicts of an upload, each with the boxes the window shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/Bytes.h"
#include "commands/CoreState.h"
#include "commands/Messages.h"
#include "commands/SectionEngine.h"
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
  // Ask the size first and read the whole section (ReadSized; the capacity when the size
  // cannot be asked); a read that delivers other than the size is a failure, so a copy the
  // user keeps is never shortened.
  bool SizeFirst = false;
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
// has said so) or the read failed ("Error reading section S-SS"). A call that lost the link
// is the last: no answer of it is taken for an absent, empty or short section; the command
// is told through `linkLost` and must stop, its box shown (ReportLinkLost).
std::optional<TSectionContent> LoadSection(TCoreState& m, TSectionAddress a,
                                           const TReadOptions& options = {},
                                           bool* linkLost = nullptr);

// Whether `e` is a lost link.
bool IsLinkLost(const std::optional<TStepError>& e);

// A call of the command lost the link, and the connection is closed: the status line says where
// the command stopped and one box why: "The telephone stopped answering (section S-SS)", or,
// for a write or an erase in flight, that the section may or may not hold the new content.
// `note`, when given, is the box's last line.
void ReportLinkLost(TCoreState& m, const TStepError& e, const char* note = nullptr);

// The upload commands' first steps: the file-open dialog, "Uploading data...", the first
// 65,536 bytes of the chosen file without their trailing filler words. nullopt when the user
// cancelled the dialog.
std::optional<std::vector<std::uint8_t>> OpenProgramFile(TCoreState& m);

struct TWriteResult {
  std::int32_t Written = 0;  // what the library answered to the write; negative: it failed
  std::int32_t Size = 0;     // the section's size the rescan found afterwards
  // The write or the rescan lost the link; nothing else was asked of the telephone.
  std::optional<TStepError> Lost;
};

// Writes the image into the row's section on a connection of its own and scans the row again
// before the connection closes, then repaints: the write's answer and the size the scan
// found, or nullopt when the connection could not be opened. A scan that fails shows its box.
std::optional<TWriteResult> WriteAndRescan(TCoreState& m, TSectInfo& row, Bytes image);

// The upload's verdict: r is what the write answered and the rescan found, n what was
// written. A failed write is a failed upload even when the section kept its size; a lost link
// is reported as such, never as an upload's success or failure.
void ReportUpload(TCoreState& m, const TWriteResult& r, std::int32_t n,
                  const char* success = kUploadedSuccessfully, const char* done = kStatusUploaded,
                  const char* failure = kUploadErrorText);

// The check after a library upload, on the open connection: the section's size on success
// (with the "OK!" box), -1 on failure (with the "ERROR" box). `written` is what the write
// answered: a negative answer is a failure whatever the size. A size query that lost the link
// shows nothing (-1, LinkLost() of the component): the caller closes and reports it.
std::int32_t VerifyUpload(TCoreState& m, std::int32_t section, std::int32_t subSection,
                          std::int32_t expected, std::int32_t written = 0);

// Writes a library image on a connection of its own and checks it; the status line tells
// whether the telephone kept it.
void WriteAndVerify(TCoreState& m, std::int32_t section, std::int32_t subSection, Bytes image);

}  // namespace zub
