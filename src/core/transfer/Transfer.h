// Whole-section transfers: upload a file into the current row's section, download a section
// into a file, erase a section, show a GIF section; and the two steps other uploads share.
#pragma once

#include <cstdint>
#include <optional>

#include "app/Bytes.h"
#include "app/Manager.h"

namespace zub {

// The largest image the uploads write.
inline constexpr std::int32_t kMaxUploadSize = 34442;

// Drops trailing filler words 0x46C0 (bytes C0 46); returns the remaining length.
std::int32_t StripFiller(Bytes data, std::int32_t n);

// The check after a library upload, on the open connection: the section's size on success
// (with the "OK!" box), -1 on failure (with the "ERROR" box).
std::int32_t VerifyUpload(TManager& m, std::int32_t section, std::int32_t subSection,
                          std::int32_t expected);

// Points the device component at the row's section.
void SelectSection(TManager& m, const TSectInfo& row);

// Writes the image into the row's section on a connection of its own and scans the row again
// before the connection closes, then repaints: the size the scan found, or nullopt when the
// connection could not be opened.
std::optional<std::int32_t> WriteAndRescan(TManager& m, TSectInfo& row, Bytes image);

// The text shown when the size read back after a write differs from what was written.
extern const char* const kUploadErrorText;

// The upload's verdict: r is what the rescan found, n what was written.
void ReportUpload(TManager& m, std::int32_t r, std::int32_t n,
                  const char* success = "Section uploaded sucsessfully!",
                  const char* done = "Uploaded!");

void UploadActionExecute(TManager& m);
void DownloadActionExecute(TManager& m);
// Returns true when the section reads as empty afterwards.
bool ClearActionExecute(TManager& m);
void PlayGIFActionExecute(TManager& m);
void Button4Click(TManager& m);  // hidden "SummSize 18"

}  // namespace zub
