// The table of program icon codes held by the icon picker (IconForm): 147 items, each a code
// written as four upper-case hexadecimal digits, and 148 images of 12 x 12 pixels. Item k
// shows image k up to item 18 and image k + 1 from item 19 on, so image 19 belongs to no item.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace zub {

inline constexpr int kIconItemCount = 147;
inline constexpr int kIconImageCount = 148;
inline constexpr int kIconSize = 12;
inline constexpr int kProgramIcon = 107;  // the image of E852
inline constexpr int kEmptyIcon = 110;    // the image of E855

// The caption of item k ("E80A"), or an empty text outside 0..146.
std::string_view IconCaption(int item);
// The image index of item k, or -1 outside 0..146.
int ImageIndexOfItem(int item);

// The image index of the first item whose caption equals the code in "%X" notation; 0 when
// no item matches (image 0 is never drawn by the grid).
int FindIconIndex(std::uint32_t code);

// ARGB pixels of one image, row by row; alpha 0 marks a transparent pixel. Images outside
// 0..147 are fully transparent.
using TIconPixels = std::array<std::uint32_t, kIconSize * kIconSize>;
TIconPixels IconPixels(int image);

}  // namespace zub
