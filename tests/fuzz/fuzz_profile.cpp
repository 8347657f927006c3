// TProfileFile over any file contents.
//
// Input: Byte k, k % 16 bytes of section name, Byte k, k % 16 bytes of key name, Byte k,
// k % 64 bytes of value, then the file's contents.
//
// Reading never fails; ReadInteger agrees with TryStrToInt of ReadString and ReadBool with
// ReadInteger; a value written under simple names reads back as written, by the same object
// and by a new one, and leaves the other keys of the file as they were; the write changes
// the file in one place only (part of one line replaced, or lines inserted), every other byte
// stays; a file that is not 8-bit text (a NUL byte, a UTF-16 byte-order mark) is never
// rewritten; a file rewritten behind the object's back is read as it is now.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "base/Convert.h"
#include "base/ProfileFile.h"

using namespace zub;
using zub::fuzz::TFuzzInput;

namespace {

const std::string kAbsent = "\x01<absent>";

std::filesystem::path ScratchFile() {
  static const std::filesystem::path path =
      zub::fuzz::ScratchDir() / ("zub-fuzz-profile-" + std::to_string(::getpid()) + ".ini");
  return path;
}

void WriteRaw(const std::filesystem::path& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  ZUB_CHECK(out.good());
}

// Letters and digits only; a fallback when nothing is left.
std::string SimpleName(const std::string& raw, const char* fallback) {
  std::string out;
  for (unsigned char c : raw)
    if (std::isalnum(c)) out.push_back(static_cast<char>(c));
  return out.empty() ? fallback : out;
}

// Letters, digits and a few marks, with no blank at either end.
std::string SimpleValue(const std::string& raw) {
  std::string out;
  for (unsigned char c : raw)
    if (std::isalnum(c) ||
        std::string_view(" ._:/,-").find(static_cast<char>(c)) != std::string_view::npos)
      out.push_back(static_cast<char>(c));
  while (!out.empty() && out.back() == ' ') out.pop_back();
  while (!out.empty() && out.front() == ' ') out.erase(out.begin());
  return out;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string ReadRaw(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The edit from `before` to `after` is one place: what it removed holds no line break, and
// it added at most the lines of a new section with its key (and an ending for the last line).
void CheckOneEdit(std::string_view before, std::string_view after) {
  std::size_t p = 0;
  while (p < before.size() && p < after.size() && before[p] == after[p]) ++p;
  std::size_t s = 0;
  while (s < before.size() - p && s < after.size() - p &&
         before[before.size() - 1 - s] == after[after.size() - 1 - s])
    ++s;
  const std::string_view removed = before.substr(p, before.size() - s - p);
  const std::string_view added = after.substr(p, after.size() - s - p);
  ZUB_CHECK(removed.find('\n') == std::string_view::npos);
  ZUB_CHECK(std::count(added.begin(), added.end(), '\n') <= 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzInput in(data, size);
  // Names and values are C strings to the profile functions: they end at a NUL.
  const std::string section = in.Text(in.Byte() % 16).c_str();
  const std::string key = in.Text(in.Byte() % 16).c_str();
  const std::string value = in.Text(in.Byte() % 64).c_str();
  const Bytes contents = in.Rest();
  const auto path = ScratchFile();
  WriteRaw(path, std::string(contents.begin(), contents.end()));

  {
    TProfileFile file(path);
    const std::string text = file.ReadString(section, key, "");
    ZUB_CHECK(file.ReadInteger(section, key, 777) == TryStrToInt(text).value_or(777));
    ZUB_CHECK(file.ReadBool(section, key, true) == (file.ReadInteger(section, key, 1) != 0));
    const std::string before = file.ReadString(section, key, kAbsent);
    if (before != kAbsent) {
      ZUB_CHECK(before == text);
      ZUB_CHECK(file.SectionExists(section));
    }

    const std::string simpleSection = SimpleName(section, "S");
    const std::string simpleKey = SimpleName(key, "K");
    const std::string simpleValue = SimpleValue(value);
    const std::string_view raw(reinterpret_cast<const char*>(contents.data()), contents.size());
    const bool eightBit = raw.find('\0') == std::string_view::npos &&
                          !raw.starts_with("\xFF\xFE") && !raw.starts_with("\xFE\xFF");
    if (!eightBit) {
      bool refused = false;
      try {
        file.WriteString(simpleSection, simpleKey, simpleValue);
      } catch (const EProfileNotText&) {
        refused = true;
      }
      ZUB_CHECK(refused);
      ZUB_CHECK(ReadRaw(path) == raw);
      std::error_code ec;
      std::filesystem::remove(path, ec);
      return 0;
    }
    file.WriteString(simpleSection, simpleKey, simpleValue);
    const std::string written = ReadRaw(path);
    CheckOneEdit(raw, written);
    ZUB_CHECK(file.ReadString(simpleSection, simpleKey, kAbsent) == simpleValue);
    ZUB_CHECK(TProfileFile(path).ReadString(simpleSection, simpleKey, kAbsent) == simpleValue);
    // The key of the input, when it is another one, kept its value through the write.
    if (!(SameName(section, simpleSection) && SameName(key, simpleKey)))
      ZUB_CHECK(file.ReadString(section, key, kAbsent) == before);

    const auto number = static_cast<std::int32_t>(std::hash<std::string>{}(value));
    file.WriteInteger(simpleSection, simpleKey, number);
    CheckOneEdit(written, ReadRaw(path));
    ZUB_CHECK(file.ReadInteger(simpleSection, simpleKey, 0) == number);
    ZUB_CHECK(TProfileFile(path).ReadInteger(simpleSection, simpleKey, 0) == number);
  }

  // A file changed on disk after a read is read again, even at the same length.
  {
    const std::string v1 = "a" + SimpleValue(value) + "z";
    const std::string v2 = "b" + SimpleValue(value) + "y";
    const std::string head = "[" + SimpleName(section, "S") + "]\r\n" + SimpleName(key, "K") + "=";
    WriteRaw(path, head + v1 + "\r\n");
    TProfileFile file(path);
    ZUB_CHECK(file.ReadString(SimpleName(section, "S"), SimpleName(key, "K"), kAbsent) == v1);
    WriteRaw(path, head + v2 + "\r\n");
    ZUB_CHECK(file.ReadString(SimpleName(section, "S"), SimpleName(key, "K"), kAbsent) == v2);
  }
  std::error_code ec;
  std::filesystem::remove(path, ec);
  return 0;
}
