#include "base/FileIO.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "base/Convert.h"

namespace zub {
namespace {

std::string Reason(int err) {
  std::string r = std::strerror(err);
  if (!r.empty()) r[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(r[0])));
  return r;
}

[[noreturn]] void OpenFailed(const std::string& path, int err) {
  throw EFileError("Cannot open file \"" + path + "\". " + Reason(err));
}

[[noreturn]] void CreateFailed(const std::string& path, int err) {
  throw EFileError("Cannot create file \"" + path + "\". " + Reason(err));
}

}  // namespace

std::vector<std::uint8_t> ReadFileHead(const std::string& path, std::size_t maxBytes) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) OpenFailed(path, EISDIR);
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) OpenFailed(path, errno ? errno : ENOENT);
  std::vector<std::uint8_t> data(maxBytes);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(maxBytes));
  if (in.bad()) OpenFailed(path, EIO);
  data.resize(static_cast<std::size_t>(in.gcount()));
  return data;
}

std::string ReadTextFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) OpenFailed(path, EISDIR);
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) OpenFailed(path, errno ? errno : ENOENT);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) OpenFailed(path, EIO);
  return text;
}

void WriteFileAtomic(const std::string& path, Bytes data) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  std::error_code ec;
  if (fs::is_directory(target, ec)) CreateFailed(path, EISDIR);
  std::random_device rd;
  const fs::path temp =
      target.parent_path() / (target.filename().string() + ".tmp" + std::to_string(rd() % 1000000));
  {
    errno = 0;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) CreateFailed(path, errno ? errno : EACCES);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    out.flush();
    if (!out) {
      const int err = errno ? errno : EIO;
      out.close();
      fs::remove(temp, ec);
      CreateFailed(path, err);
    }
  }
  fs::rename(temp, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    CreateFailed(path, ec.value());
  }
}

}  // namespace zub
