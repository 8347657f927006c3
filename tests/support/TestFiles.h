// Files and bytes of the tests: made-up contents, files written and read whole, and a spell in
// another current folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace zub::test {

using Buf = std::vector<std::uint8_t>;

// Bytes i * 7 + seed: they never end in a filler word and never start like a program image.
inline Buf Pattern(std::size_t n, std::uint8_t seed = 1) {
  Buf b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return b;
}

// Filler words (C0 46), which the uploads drop from the end of a file.
inline Buf Filler(std::size_t words) {
  Buf b;
  for (std::size_t i = 0; i < words; ++i) b.insert(b.end(), {0xC0, 0x46});
  return b;
}

// The bytes of a file saved as "Unicode" by a Windows editor: the byte-order mark FF FE, then
// each UTF-16 unit low byte first.
inline std::string Utf16Le(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (const char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

// Random bytes: they hardly compress.
inline Buf Random(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Buf b(n);
  for (auto& c : b) c = static_cast<std::uint8_t>(rng());
  return b;
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
inline void WriteFile(const std::filesystem::path& path, const Buf& bytes) {
  WriteFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}
// The whole file; nothing when it cannot be opened.
inline std::optional<Buf> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return Buf(std::istreambuf_iterator<char>(in), {});
}
inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The current folder is `dir` while the object lives: the commands write some files ("temp.gif",
// "temp.prg") and look some up ("514lg4.lib") there without asking.
class InFolder {
 public:
  explicit InFolder(const std::filesystem::path& dir) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InFolder() { std::filesystem::current_path(previous_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

// Whether this process can make symbolic links (Linux can; Windows only with the right to, and
// Wine not at all): the tests of links run where they can be made. Asked once, in `dir`.
inline bool LinksPossible(const std::filesystem::path& dir) {
  static const bool possible = [&] {
    std::error_code ec;
    const auto link = dir / ".links-possible";
    std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(dir, link, ec);
    const bool made = !ec;
    std::filesystem::remove(link, ec);
    return made;
  }();
  return possible;
}

}  // namespace zub::test
