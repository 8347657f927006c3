// "Upload LZO-Compressed": compresses a program file into an LZO image and writes it into the
// current row's section. When the section holds an earlier version of the same program, the
// user may keep its save items; they go behind the new program's own items.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/Bytes.h"
#include "commands/CoreState.h"
#include "formats/LzoImage.h"

namespace zub {

// The carry-over of save items is offered only for LZO images up to this length.
inline constexpr std::size_t kMaxCarryOverImage = 21000;

// Whether an LZO image's program name (Windows-1251 bytes) and a row's title (UTF-8) name the
// same program: their first five characters (each up to its first NUL) are equal and not empty.
bool IsSameProgram(Bytes lzoImage, std::string_view title);

// Shows the icon picker; the chosen item's code after OK with an item selected, else E852.
std::uint32_t ChooseIconCode(TCoreState& m);

void UploadLZOActionExecute(TCoreState& m);
// The same with another compressor, for a compressor that fails.
void UploadLZOActionExecute(TCoreState& m, const TLZOCompressor& compress);

}  // namespace zub
