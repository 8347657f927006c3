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

}  // namespace zub
