// BuildPRG3Image on any text.
//
// The image holds at most 512 words, or TooBig is set; the conversion error comes only from a
// release line whose character after the first "=" is not a decimal digit; each word is the
// value of its line, in order, and a release line's word is its digit.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "base/Convert.h"
#include "formats/Prg3Library.h"

using namespace zub;

namespace {

bool IsReleaseLine(std::string_view line) {
  return line.find("RELEASE=") != std::string_view::npos;
}

// A release line converts when the one character after its first "=" is a digit.
bool BadReleaseLine(std::string_view line) {
  if (!IsReleaseLine(line)) return false;
  const auto eq = line.find('=');
  return eq + 1 >= line.size() || line[eq + 1] < '0' || line[eq + 1] > '9';
}

// The lines of the text as views into it; a last line without an ending counts too.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = i;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.push_back(text.substr(i, end - i));
    i = end;
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
  }
  return lines;
}

// The word a line gives, read here where that is plain: a release line its digit, a line whose
// first word is missing or starts the line none, a first word of one to eight hexadecimal
// digits their value. Any other first word (a decimal with a sign, "$" or "0x", a longer one)
// is read by the tool's own PRG3LineValue.
std::optional<std::int32_t> Word(std::string_view line) {
  if (IsReleaseLine(line)) return line[line.find('=') + 1] - '0';
  const auto space = line.find(' ');
  if (space == std::string_view::npos || space == 0) return std::nullopt;
  if (space <= 8) {
    std::uint32_t value = 0;
    std::size_t i = 0;
    for (; i < space; ++i) {
      const char c = line[i];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) break;
      value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    if (i == space) return static_cast<std::int32_t>(value);
  }
  return PRG3LineValue(line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> lines = Lines(text);

  bool anyBad = false;
  for (const std::string_view line : lines) anyBad = anyBad || BadReleaseLine(line);

  TPRG3Image image;
  try {
    image = BuildPRG3Image(text);
  } catch (const EConvertError&) {
    ZUB_CHECK(anyBad);
    return 0;
  }
  ZUB_CHECK(!anyBad);
  ZUB_CHECK(image.Image.size() % 4 == 0);
  ZUB_CHECK(image.Image.size() <= PRG3MaxWords * 4);

  std::size_t word = 0;
  std::size_t valueLines = 0;
  for (const std::string_view line : lines) {
    const std::optional<std::int32_t> value = Word(line);
    if (!value) continue;
    ++valueLines;
    if (word < PRG3MaxWords) {
      ZUB_CHECK(load_u32le(image.Image, word * 4) == static_cast<std::uint32_t>(*value));
      ++word;
    }
  }
  ZUB_CHECK(image.Image.size() == word * 4);
  ZUB_CHECK(image.TooBig == (valueLines > PRG3MaxWords));
  return 0;
}
