// The PE export reader: a small library image built here and broken in every field the reader
// follows, truncated at every length, and the Windows files the cross compiler built.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "device/host/PeFile.h"

namespace zub {
namespace {

namespace fs = std::filesystem;
using Image = std::vector<std::uint8_t>;

// Offsets of the fields of the built image.
constexpr std::size_t kPeAt = 0x40;
constexpr std::size_t kMachineAt = kPeAt + 4;
constexpr std::size_t kSectionCountAt = kPeAt + 6;
constexpr std::size_t kOptionalSizeAt = kPeAt + 20;
constexpr std::size_t kCharacteristicsAt = kPeAt + 22;
constexpr std::size_t kOptionalAt = kPeAt + 24;
constexpr std::size_t kDirectoryCountAt = kOptionalAt + 92;
constexpr std::size_t kExportRvaAt = kOptionalAt + 96;
constexpr std::size_t kRawAt = 0x200;  // the one section's bytes; its RVA is 0x1000
constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::size_t kNameCountAt = kRawAt + 24;
constexpr std::size_t kNamesRvaAt = kRawAt + 32;
constexpr std::size_t kNameTableAt = kRawAt + 40;

const std::vector<std::string> kNames = {"ClearNVMFile", "EndGBPMode", "InitGBPMode"};

// A 32-bit x86 library with one section holding the export directory, the name table and the
// names, the last name ending at the last byte of the file.
Image BuildLibrary() {
  std::vector<std::uint32_t> nameOffsets;
  std::size_t at = kNameTableAt + 4 * kNames.size();
  for (const auto& n : kNames) {
    nameOffsets.push_back(static_cast<std::uint32_t>(at));
    at += n.size() + 1;
  }
  Image b(at, 0);
  b[0] = 'M';
  b[1] = 'Z';
  store_u32le(b, 0x3C, kPeAt);
  store_u32le(b, kPeAt, 0x00004550);
  store_u16le(b, kMachineAt, 0x14C);
  store_u16le(b, kSectionCountAt, 1);
  store_u16le(b, kOptionalSizeAt, 224);
  store_u16le(b, kCharacteristicsAt, 0x2102);
  store_u16le(b, kOptionalAt, 0x10B);
  store_u32le(b, kOptionalAt + 60, kRawAt);  // size of the headers
  store_u32le(b, kDirectoryCountAt, 16);
  store_u32le(b, kExportRvaAt, kSectionRva);
  store_u32le(b, kExportRvaAt + 4, static_cast<std::uint32_t>(at - kRawAt));
  const std::size_t section = kOptionalAt + 224;
  std::copy_n(".edata", 6, b.begin() + section);
  const auto rawSize = static_cast<std::uint32_t>(at - kRawAt);
  store_u32le(b, section + 8, rawSize);
  store_u32le(b, section + 12, kSectionRva);
  store_u32le(b, section + 16, rawSize);
  store_u32le(b, section + 20, kRawAt);
  store_u32le(b, kNameCountAt, static_cast<std::uint32_t>(kNames.size()));
  store_u32le(b, kNamesRvaAt, kSectionRva + (kNameTableAt - kRawAt));
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    store_u32le(b, kNameTableAt + 4 * i,
                static_cast<std::uint32_t>(kSectionRva + nameOffsets[i] - kRawAt));
    std::copy(kNames[i].begin(), kNames[i].end(), b.begin() + nameOffsets[i]);
  }
  return b;
}

TEST(PeFile, ReadsTheExportsOfABuiltLibrary) {
  const TPeFile pe = ParsePeFile(BuildLibrary());
  ASSERT_EQ(pe.status, TPeStatus::Ok);
  EXPECT_TRUE(pe.IsI386Dll());
  EXPECT_EQ(pe.exports, kNames);
  EXPECT_TRUE(pe.Exports("EndGBPMode"));
  EXPECT_FALSE(pe.Exports("ReadNVMFile"));
}

// An entry point counts as exported under its plain name, "_Name@N" or "Name@N"; the ones
// missing are named in entry-point order.
TEST(PeFile, FindsTheEntryPointsUnderEachOfTheirNames) {
  struct TRow {
    const char* name;
    std::vector<std::string> exports;
    std::vector<std::string> missing;
  };
  const std::vector<std::string> all = {"InitGBPMode",  "EndGBPMode",   "ReadNVMFile",
                                        "WriteNVMFile", "ClearNVMFile", "GetNVMFileSize"};
  const TRow rows[] = {
      {"plain", all, {}},
      {"decorated",
       {"_InitGBPMode@4", "_EndGBPMode@0", "_ReadNVMFile@16", "_WriteNVMFile@16", "_ClearNVMFile@8",
        "_GetNVMFileSize@8"},
       {}},
      {"MinGW's own",
       {"InitGBPMode@4", "EndGBPMode@0", "ReadNVMFile@16", "WriteNVMFile@16", "ClearNVMFile@8",
        "GetNVMFileSize@8"},
       {}},
      {"mixed, two lacking",
       {"EndGBPMode@0", "_WriteNVMFile@16", "ClearNVMFile", "GetNVMFileSize"},
       {"InitGBPMode", "ReadNVMFile"}},
      {"wrong sizes are other names",
       {"InitGBPMode@8", "_EndGBPMode@4", "ReadNVMFile", "WriteNVMFile", "ClearNVMFile",
        "GetNVMFileSize"},
       {"InitGBPMode", "EndGBPMode"}},
      {"none", {}, all},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    TPeFile pe;
    pe.status = TPeStatus::Ok;
    pe.exports = row.exports;
    EXPECT_EQ(MissingEntryPoints(pe), row.missing);
  }
}

struct TDamage {
  const char* name;
  std::function<void(Image&)> apply;
  TPeStatus status;
  bool i386Dll = false;
  std::size_t exports = 0;
};

TEST(PeFile, JudgesEveryDamagedField) {
  const auto u16 = [](std::size_t at, std::uint16_t v) {
    return [=](Image& b) { store_u16le(b, at, v); };
  };
  const auto u32 = [](std::size_t at, std::uint32_t v) {
    return [=](Image& b) { store_u32le(b, at, v); };
  };
  // clang-format off
  const TDamage kDamage[] = {
      {"no MZ",                       [](Image& b) { b[0] = 'X'; }, TPeStatus::NotPe},
      {"PE header beyond the file",   u32(0x3C, 0xFFFFFFF0), TPeStatus::NotPe},
      {"PE header at the very end",   [](Image& b) { store_u32le(b, 0x3C, static_cast<std::uint32_t>(b.size() - 2)); }, TPeStatus::NotPe},
      {"wrong signature",             u32(kPeAt, 0x00004551), TPeStatus::NotPe},
      {"x86-64 machine",              u16(kMachineAt, 0x8664), TPeStatus::Ok, false, 3},
      {"a program, not a library",    u16(kCharacteristicsAt, 0x0102), TPeStatus::Ok, false, 3},
      {"optional header past the end", u16(kOptionalSizeAt, 0xFFFF), TPeStatus::Malformed},
      {"optional header too short",   u16(kOptionalSizeAt, 60), TPeStatus::Malformed},
      {"unknown optional magic",      u16(kOptionalAt, 0x107), TPeStatus::Malformed},
      {"65535 sections",              u16(kSectionCountAt, 0xFFFF), TPeStatus::Malformed},
      {"no sections",                 u16(kSectionCountAt, 0), TPeStatus::Malformed},
      {"no data directories",         u32(kDirectoryCountAt, 0), TPeStatus::Ok, true, 0},
      {"no export directory",         u32(kExportRvaAt, 0), TPeStatus::Ok, true, 0},
      {"export directory unmapped",   u32(kExportRvaAt, 0x9000), TPeStatus::Malformed},
      {"export directory cut by the section end", u32(kExportRvaAt, kSectionRva + 0x40), TPeStatus::Malformed},
      {"4 billion names",             u32(kNameCountAt, 0xFFFFFFFF), TPeStatus::Malformed},
      {"one name more than the table", u32(kNameCountAt, 4), TPeStatus::Malformed},
      {"no names",                    u32(kNameCountAt, 0), TPeStatus::Ok, true, 0},
      {"name table unmapped",         u32(kNamesRvaAt, 0x7FFF0000), TPeStatus::Malformed},
      {"name unmapped",               u32(kNameTableAt + 4, 0xFFFFFFFF), TPeStatus::Malformed},
      {"last name unterminated",      [](Image& b) { b.back() = 'X'; }, TPeStatus::Malformed},
      {"section raw data beyond the file", u32(kOptionalAt + 224 + 20, 0x7FFFFFF0), TPeStatus::Malformed},
  };
  // clang-format on
  for (const TDamage& d : kDamage) {
    SCOPED_TRACE(d.name);
    Image b = BuildLibrary();
    d.apply(b);
    const TPeFile pe = ParsePeFile(b);
    EXPECT_EQ(pe.status, d.status);
    EXPECT_EQ(pe.IsI386Dll(), d.i386Dll);
    if (pe.status == TPeStatus::Ok) {
      EXPECT_EQ(pe.exports.size(), d.exports);
    }
  }
}

TEST(PeFile, NoTruncatedImageIsTakenForALibrary) {
  const Image full = BuildLibrary();
  for (std::size_t n = 0; n < full.size(); ++n) {
    const TPeFile pe = ParsePeFile(std::span(full).first(n));
    EXPECT_NE(pe.status, TPeStatus::Ok) << "cut at " << n;
  }
}

// The files of the win32 build, when the cross compiler made them.
fs::path Win32File(const char* name) {
  return fs::path(ZUB_WIN32_DIR) / name;
}

Image ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Image(std::istreambuf_iterator<char>(in), {});
}

TEST(PeFile, ReadsTheFilesOfTheCrossBuild) {
  if (!fs::exists(Win32File("gbp.dll")))
    GTEST_SKIP() << "no win32 build (i686-w64-mingw32-g++ not installed)";
  std::vector<std::string> six = {"ClearNVMFile", "EndGBPMode",  "GetNVMFileSize",
                                  "InitGBPMode",  "ReadNVMFile", "WriteNVMFile"};
  for (const char* name : {"gbp.dll", "cte_gbp.dll"}) {
    SCOPED_TRACE(name);
    TPeFile pe = ReadPeFile(Win32File(name));
    ASSERT_TRUE(pe.IsI386Dll());
    std::sort(pe.exports.begin(), pe.exports.end());
    EXPECT_EQ(pe.exports, six);  // plain names: no "_InitGBPMode@4"
  }
  const TPeFile host = ReadPeFile(Win32File("gbp-host.exe"));
  EXPECT_EQ(host.status, TPeStatus::Ok);
  EXPECT_EQ(host.machine, TPeFile::kMachineI386);
  EXPECT_FALSE(host.dll);
  // The library built for this platform is no PE file; a missing file cannot be read.
#if !defined(_WIN32)
  EXPECT_EQ(ReadPeFile(fs::path(ZUB_BIN_DIR) / "gbp.dll").status, TPeStatus::NotPe);
#endif
  EXPECT_EQ(ReadPeFile(Win32File("no-such.dll")).status, TPeStatus::Unreadable);
  EXPECT_EQ(ReadPeFile(Win32File("gbp.dll"), 1024).status, TPeStatus::Unreadable);
}

// Cut and scrambled copies of a real library: the reader never reads outside the bytes and
// never reports names the library does not have.
TEST(PeFile, DamagedCopiesOfTheCrossBuiltLibraryGiveNoOtherNames) {
  if (!fs::exists(Win32File("gbp.dll")))
    GTEST_SKIP() << "no win32 build (i686-w64-mingw32-g++ not installed)";
  const Image full = ReadAll(Win32File("gbp.dll"));
  const TPeFile original = ParsePeFile(full);
  ASSERT_TRUE(original.IsI386Dll());
  const auto check = [&](std::span<const std::uint8_t> bytes, const std::string& what) {
    const TPeFile pe = ParsePeFile(bytes);
    if (pe.status != TPeStatus::Ok) return;
    for (const auto& name : pe.exports) EXPECT_LE(name.size(), 512u) << what;
  };
  for (std::size_t n = 0; n < full.size(); n += 509) {
    const TPeFile pe = ParsePeFile(std::span(full).first(n));
    if (pe.status == TPeStatus::Ok) {
      EXPECT_EQ(pe.exports, original.exports) << "cut at " << n;
    }
  }
  // Scramble the headers and the export table (which sits just before the names).
  const std::string first = "ClearNVMFile";
  const auto names = std::search(full.begin(), full.end(), first.begin(), first.end());
  ASSERT_NE(names, full.end());
  const std::size_t namesAt = static_cast<std::size_t>(names - full.begin());
  const std::size_t tableFrom = namesAt > 256 ? namesAt - 256 : 0;
  std::mt19937 rng(15);
  for (int round = 0; round < 400; ++round) {
    Image b = full;
    for (int k = 0; k < 6; ++k) {
      const std::size_t at = (round % 2) ? rng() % 1024 : tableFrom + rng() % 360;
      b[at] = static_cast<std::uint8_t>(rng());
    }
    check(b, "round " + std::to_string(round));
  }
}

}  // namespace
}  // namespace zub
