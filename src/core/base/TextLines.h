// Text files as lists of lines, the way the toolkit's string lists load and save them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zub {

// A line ends at CR LF, LF or CR. A line end at the very end of the text does not start
// another line, so "a\r\nb\r\n" and "a\r\nb" both give {"a", "b"}; an empty text gives none.
std::vector<std::string> SplitLines(std::string_view text);

// Every line followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace zub
