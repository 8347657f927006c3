// The extension-library uploads: a UFIF2 library file sent unchanged into the library section
// that the preference record names, a PRG3 library text turned into its word table for 2-16,
// and the hidden raw upload of any file, without its trailing filler, into 17-19.
#pragma once

#include <cstdint>

#include "commands/CoreState.h"

namespace zub {

// The largest UFIF2 library file (21 KiB).
inline constexpr std::size_t kMaxLibrarySize = 21504;

// "UFIF2 library upload": reads the preferences for the target, asks, then uploads.
void Button5Click(TCoreState& m);
// "PRG3 library upload" into 2-16.
void Button6Click(TCoreState& m);
// Hidden "U": raw upload into 17-19.
void Button9Click(TCoreState& m);

// Sends a chosen file unchanged.
void UploadLibFile(TCoreState& m, std::int32_t section, std::int32_t subSection);
// Converts a chosen PRG3 library text and sends its image.
void UploadPRG3Lib(TCoreState& m, std::int32_t section, std::int32_t subSection);
// Sends the first 65536 bytes of a chosen file without their trailing filler words.
void UploadFileTrimmed(TCoreState& m, std::int32_t section, std::int32_t subSection);

}  // namespace zub
