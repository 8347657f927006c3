// Texts that more than one command shows, letter for letter, and the filter of the upload
// commands' file-open dialog.
#pragma once

#include <cstdint>
#include <string>

#include "formats/SectInfo.h"

namespace zub {

// OpenDialog1, the file-open dialog of the upload commands.
inline constexpr const char* kOpenDialog1Filter =
    "All known|*.bin;*.prg;*.lzo;*.lib;*.sec;*.elf;*.ep|Binary files|*.bin|PRG-Programs|*.prg|"
    "LZO-Compressed progs|*.lzo|Library|*.lib|Sections data|*.sec|ELF-Executables|*.elf|"
    "All files|*.*|Talon3D episode|*.ep";

inline constexpr const char* kErrorCaption = "ERROR";
inline constexpr const char* kOkCaption = "OK!";

inline constexpr const char* kUploadedSuccessfully = "Section uploaded sucsessfully!";
inline constexpr const char* kUploadErrorText =
    "Section uploaded with error or out of memory!\nTry to upload again or free some NVM memory";
// The in-place conversion's upload error: the converted program is kept in temp.prg.
inline constexpr const char* kConvertUploadErrorText =
    "Section uploaded with error or out of memory!\nTry to upload again or free some NVM "
    "memory.\nConverted program stored at temp.prg file!!!";
// The same note under a box about a lost link.
inline constexpr const char* kConvertKeptNote = "Converted program stored at temp.prg file!!!";
inline constexpr const char* kFileTooBig = "Can't uplod - file too big!";
inline constexpr const char* kFileEmpty = "Can't uplod - file is empty!";

inline constexpr const char* kStatusUploading = "Uploading data...";
inline constexpr const char* kStatusDownloading = "Downloading data...";
inline constexpr const char* kStatusUploaded = "Uploaded!";
inline constexpr const char* kStatusDownloaded = "Downloaded!";
inline constexpr const char* kStatusUploadError = "Upload error!";
inline constexpr const char* kStatusErased = "Erased!";

inline std::string ErrorReadingSection(std::int32_t section, std::int32_t subSection) {
  return "Error reading section " + TSectionAddress{section, subSection}.Text();
}

// A call that lost the link: the status line and the box of a command that stopped there.
inline std::string StoppedAtText(TSectionAddress a) {
  return "Stopped at section " + a.Text() + ": the telephone stopped answering!";
}
inline std::string StoppedAnsweringText(TSectionAddress a) {
  return "The telephone stopped answering (section " + a.Text() + ")";
}

// A write or an erase whose answer was lost: the telephone may have done it or not, and only
// reading the section tells. The box of the window, and the sentence of the command line with
// `check`, the command that shows what the section holds ("zub read 2-12 FILE").
inline std::string LostWhileChangingText(TSectionAddress a, bool erasing) {
  return "The telephone stopped answering while section " + a.Text() + " was being " +
         (erasing ? "erased: it may or may not be empty now"
                  : "written: it may or may not hold "
                    "the new content") +
         ". Check it with Refresh or Full Refresh.";
}
inline std::string LostWhileChangingSentence(TSectionAddress a, bool erasing,
                                             const std::string& check) {
  return "the telephone stopped answering while section " + a.Text() + " was being " +
         (erasing ? "erased; it may or may not be empty now"
                  : "written; it may or may not hold the new content") +
         " (check with: " + check + ")";
}

}  // namespace zub
