// A telephone simulator in place of the closed device library. Built twice: as gbp.dll (data
// cable) and as cte_gbp.dll (service cable, ZUB_SIM_SERVICE_CABLE). The telephone's sections
// are files S-SS.bin in a folder; gbp-sim.ini beside the library file describes the link, the
// memory and the faults to play, and is read at the library's first call and again at every
// InitGBPMode so a test can change the telephone between two commands.
//
// FailCall=K:WHAT plays a fault on the K-th call of the library's process (every entry point
// counts, from 1 at the load): a negative code is answered without doing anything; "hang"
// never returns; "die" and "kill-tool" do the call's work (a write is stored, a clear done)
// and then lose the answer. Built for Windows (served by gbp-host.exe) both end the process
// there, so the tool sees its host die mid-call. Loaded into the tool, "kill-tool" kills the
// tool (SIGKILL) and "die" answers -5, which ZubSimLastCallLost() then reports as lost.
//
// Link timing, for anyone modelling it: a call costs kCallCostBytes of link time, plus the
// bytes it moves (ReadNVMFile: the bytes delivered; WriteNVMFile: the bytes handed over), at
// kBitsPerByte bits a byte and Baud bit/s. InitGBPMode, EndGBPMode, GetNVMFileSize and
// ClearNVMFile move no data. A call takes its link time from its start, its own work within it.
// With Baud=0 nothing sleeps.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "SimConfig.h"
#include "device/GbpApi.h"

namespace fs = std::filesystem;

namespace {

using zub::sim::TCallFault;
using zub::sim::TSimConfig;

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kPortAlreadyOpen = -1;
constexpr std::int32_t kCannotOpenPort = -2;
constexpr std::int32_t kNoAnswer = -3;
constexpr std::int32_t kPortMustBeOpen = -4;
constexpr std::int32_t kCommError = -5;  // also: a transfer over MaxTransfer, a host I/O error
constexpr std::int32_t kNoMemory = -6;
constexpr std::int32_t kInvalidArguments = -7;

// The exit code of a process that a "die" fault ends.
constexpr unsigned kDiedExitCode = 99;

constexpr std::uint64_t kBitsPerByte = 10;
constexpr std::uint64_t kCallCostBytes = 0;

#if defined(ZUB_SIM_SERVICE_CABLE)
constexpr bool kServiceCable = true;
#else
constexpr bool kServiceCable = false;
#endif

// Everything the telephone remembers between calls.
struct TPhone {
  bool open = false;
  TSimConfig config;
  // The sections the folder holds and their sizes, listed at the opening and kept up to date
  // by every write and clear, as a telephone keeps the index of its memory: a size query asks
  // no file system (under Wine every query of a file costs a tenth of a millisecond, and a
  // missing one a search of the folder). Whoever changes the telephone's files does it
  // between two connections, as with the settings.
  std::map<zub::sim::TSectionKey, std::uint64_t> sections;
  bool configured = false;    // gbp-sim.ini has been read
  std::uint64_t calls = 0;    // calls into the library since it was loaded
  bool lastCallLost = false;  // the last call was a "die" that the process lived through
};

TPhone& Phone() {
  static TPhone phone;
  return phone;
}

// Any object of this library: its address tells which file the library was loaded from.
const char kLibraryAnchor = 0;

fs::path LibraryDir() {
#if defined(_WIN32)
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&kLibraryAnchor), &module)) {
    return {};
  }
  std::vector<wchar_t> buffer(32768);
  const DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) return {};
  return fs::path(std::wstring(buffer.data(), n)).parent_path();
#else
  Dl_info info{};
  if (dladdr(&kLibraryAnchor, &info) == 0 || info.dli_fname == nullptr) return {};
  return fs::path(info.dli_fname).parent_path();
#endif
}

using Clock = std::chrono::steady_clock;

// Holds a call to the time its bytes take on the link, counted from the call's start: the
// simulator's own work (files, settings) runs within that time, as a telephone's does while
// the bytes travel, so a call takes its link time on every platform, however slow the file
// system under it (under Wine, opening a file takes a good part of a millisecond).
class TLinkTime {
 public:
  TLinkTime() : start_(Clock::now()) {}

  void Spend(std::uint64_t bytes) const {
    const std::uint64_t baud = Phone().config.baud;
    if (baud == 0) return;
    const std::uint64_t micros = (bytes + kCallCostBytes) * kBitsPerByte * 1'000'000 / baud;
    if (!micros) return;
    // A serial link takes exactly its time: sleep most of it, then watch the clock for the
    // rest, so that the operating system's wake-up delay is not counted as link time. The
    // watch keeps the processor: a yield would hand it to any busy process for a whole time
    // slice, and the call would end milliseconds late on a loaded machine.
    const auto deadline = start_ + std::chrono::microseconds(micros);
    constexpr auto kWatch = std::chrono::microseconds(2000);
    if (deadline - Clock::now() > kWatch) std::this_thread::sleep_until(deadline - kWatch);
    while (Clock::now() < deadline) {
    }
  }

 private:
  Clock::time_point start_;
};

bool TooLarge(std::uint64_t bytes) {
  const std::uint64_t limit = Phone().config.maxTransfer;
  return limit != 0 && bytes > limit;
}

std::string SectionFileName(std::uint8_t section, std::uint8_t subSection) {
  return std::to_string(section) + "-" + std::to_string(subSection) + ".bin";
}

fs::path SectionPath(std::uint8_t section, std::uint8_t subSection) {
  return Phone().config.folder / SectionFileName(section, subSection);
}

// The sections with a regular file of their exact name in the folder, and the files' sizes.
std::map<zub::sim::TSectionKey, std::uint64_t> ListSections(const fs::path& folder) {
  std::map<zub::sim::TSectionKey, std::uint64_t> found;
  const auto take = [&found](const std::string& name, std::uint64_t size) {
    if (!name.ends_with(".bin")) return;
    const auto key = zub::sim::ParseSectionKey(std::string_view(name).substr(0, name.size() - 4));
    if (key && name == SectionFileName(static_cast<std::uint8_t>(*key >> 8),
                                       static_cast<std::uint8_t>(*key & 0xFF)))
      found[*key] = size;
  };
#if defined(_WIN32)
  // One pass over the folder gives names and sizes together.
  WIN32_FIND_DATAW entry{};
  const std::wstring pattern = (folder / L"*.bin").wstring();
  HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) continue;
    // Section names are plain ASCII; any other name is not a section (and is not converted).
    std::string name;
    for (const wchar_t* c = entry.cFileName; *c && *c < 0x80; ++c) name += static_cast<char>(*c);
    if (name.size() != std::wcslen(entry.cFileName)) continue;
    take(name, (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
#else
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ignored;
    if (!it->is_regular_file(ignored)) continue;
    const std::uint64_t size = it->file_size(ignored);
    if (!ignored) take(it->path().filename().string(), size);
  }
#endif
  return found;
}

// The size of a section; nullopt when it does not exist.
std::optional<std::uint64_t> SectionSize(std::uint8_t section, std::uint8_t subSection) {
  const auto& sections = Phone().sections;
  const auto it = sections.find(zub::sim::MakeSectionKey(section, subSection));
  if (it == sections.end()) return std::nullopt;
  return it->second;
}

// The bytes held by every section except `skip` (the one about to be replaced).
std::uint64_t MemoryUsedExcept(zub::sim::TSectionKey skip) {
  std::uint64_t total = 0;
  for (const auto& [key, size] : Phone().sections)
    if (key != skip) total += size;
  return total;
}

std::int32_t ClampResult(std::uint64_t n) {
  return static_cast<std::int32_t>(
      std::min<std::uint64_t>(n, std::numeric_limits<std::int32_t>::max()));
}

// Replaces the section whole: the bytes go to a temporary file in the same folder, which is
// then renamed over the section's file, so a failure never leaves half a section behind.
std::int32_t StoreSection(std::uint8_t section, std::uint8_t subSection, const char* data,
                          std::uint64_t length) {
  const fs::path folder = Phone().config.folder;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return kCommError;
  const std::string name = SectionFileName(section, subSection);
  const fs::path temp = folder / ("." + name + ".tmp");
  bool written = false;
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (out) {
      if (length) out.write(data, static_cast<std::streamsize>(length));
      out.close();
      written = !out.fail();
    }
  }
  if (written) fs::rename(temp, folder / name, ec);
  if (!written || ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return kCommError;
  }
  Phone().sections[zub::sim::MakeSectionKey(section, subSection)] = length;
  return kOk;
}

std::int32_t OpenPort(std::uint8_t port, const TLinkTime& link) {
  TPhone& phone = Phone();
  if (phone.open) return kPortAlreadyOpen;
  phone.sections = ListSections(phone.config.folder);
  link.Spend(0);
  const TSimConfig& c = phone.config;
  std::int32_t result = kOk;
  if (c.initResult) {
    result = *c.initResult;
  } else if (std::find(c.ports.begin(), c.ports.end(), port) == c.ports.end()) {
    result = kCannotOpenPort;
  } else if (!c.answer) {
    result = kNoAnswer;
  }
  phone.open = result == kOk;
  return result;
}

std::int32_t ClosePort() {
  Phone().open = false;
  return kOk;
}

std::int32_t SizeOf(std::uint8_t section, std::uint8_t subSection) {
  const TLinkTime link;
  const TPhone& phone = Phone();
  if (!phone.open) return kPortMustBeOpen;
  link.Spend(0);
  const auto key = zub::sim::MakeSectionKey(section, subSection);
  if (const auto fault = phone.config.sizeError.find(key); fault != phone.config.sizeError.end()) {
    return fault->second;
  }
  const auto size = SectionSize(section, subSection);
  return size ? ClampResult(*size) : zub::gbp::kNoSection;
}

std::int32_t ReadSection(std::uint8_t section, std::uint8_t subSection, void* buffer,
                         std::uint32_t length) {
  const TLinkTime link;
  const TPhone& phone = Phone();
  if (!phone.open) return kPortMustBeOpen;
  const auto key = zub::sim::MakeSectionKey(section, subSection);
  if (const auto fault = phone.config.readError.find(key); fault != phone.config.readError.end()) {
    link.Spend(0);
    return fault->second;
  }
  const auto size = SectionSize(section, subSection);
  if (!size) {
    link.Spend(0);
    return zub::gbp::kNoSection;
  }
  const std::uint64_t count =
      std::min<std::uint64_t>({length, *size, std::numeric_limits<std::int32_t>::max()});
  if (TooLarge(count)) return kCommError;
  if (count && buffer == nullptr) return kInvalidArguments;
  if (count) {
    std::ifstream in(SectionPath(section, subSection), std::ios::binary);
    in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
    if (!in || static_cast<std::uint64_t>(in.gcount()) != count) return kCommError;
  }
  link.Spend(count);
  return static_cast<std::int32_t>(count);
}

// Answers the number of bytes handed over; a WriteKeep fault loses bytes without saying so,
// as a telephone that runs out of room mid-transfer would, and a WriteFail fault answers its
// code and leaves the section as it was.
std::int32_t WriteSection(std::uint8_t section, std::uint8_t subSection, const void* buffer,
                          std::uint32_t length) {
  const TLinkTime link;
  const TPhone& phone = Phone();
  if (!phone.open) return kPortMustBeOpen;
  if (length && buffer == nullptr) return kInvalidArguments;
  if (TooLarge(length)) return kCommError;
  // The answer comes once all the bytes have crossed the link, whatever it is.
  const auto answer = [&]() -> std::int32_t {
    std::uint64_t keep = length;
    const auto key = zub::sim::MakeSectionKey(section, subSection);
    if (const auto fault = phone.config.writeFail.find(key); fault != phone.config.writeFail.end())
      return fault->second;
    if (const auto fault = phone.config.writeKeep.find(key); fault != phone.config.writeKeep.end())
      keep = std::min(keep, fault->second);
    if (phone.config.capacity != 0 && MemoryUsedExcept(key) + keep > phone.config.capacity) {
      return kNoMemory;
    }
    const std::int32_t stored =
        StoreSection(section, subSection, static_cast<const char*>(buffer), keep);
    return stored == kOk ? ClampResult(length) : stored;
  }();
  link.Spend(length);
  return answer;
}

std::int32_t ClearSection(std::uint8_t section, std::uint8_t subSection) {
  const TLinkTime link;
  const TPhone& phone = Phone();
  if (!phone.open) return kPortMustBeOpen;
  link.Spend(0);
  if (phone.config.clearFails.contains(zub::sim::MakeSectionKey(section, subSection))) return kOk;
  std::error_code ec;
  const fs::path file = SectionPath(section, subSection);
  if (fs::is_directory(file, ec)) return kCommError;
  fs::remove(file, ec);
  if (ec) return kCommError;
  Phone().sections.erase(zub::sim::MakeSectionKey(section, subSection));
  return kOk;
}

void ReadSettings() {
  Phone().config = zub::sim::LoadSimConfig(LibraryDir() / "gbp-sim.ini", kServiceCable);
  Phone().configured = true;
}

// The call's answer is lost after its work was done.
[[noreturn]] void EndProcess() {
#if defined(_WIN32)
  TerminateProcess(GetCurrentProcess(), kDiedExitCode);
#else
  std::raise(SIGKILL);
#endif
  std::abort();
}

// Every entry point runs through here: the call is counted, and its FailCall fault, if any,
// is played around `call`, which does the call's work and gives its answer.
template <typename Call>
std::int32_t RunCall(Call call) {
  TPhone& phone = Phone();
  if (!phone.configured) ReadSettings();
  phone.lastCallLost = false;
  const auto planned = phone.config.failCall.find(++phone.calls);
  if (planned == phone.config.failCall.end()) return call();
  const TCallFault fault = planned->second;
  switch (fault.kind) {
    case TCallFault::TKind::Code:
      return fault.code;
    case TCallFault::TKind::Hang:
      for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    case TCallFault::TKind::Die:
    case TCallFault::TKind::KillTool:
      break;
  }
  call();
#if defined(_WIN32)
  EndProcess();
#else
  if (fault.kind == TCallFault::TKind::KillTool) EndProcess();
  phone.lastCallLost = true;
  return kCommError;
#endif
}

}  // namespace

#if !defined(_WIN32)
// Whether the most recent call was a "die" fault that this library, loaded into the tool,
// lived through: the call did its work and answered -5 where a host would have died. The
// Windows build never lives through one, and exports the six entry points only, as the
// device libraries do.
ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL ZubSimLastCallLost() {
  return Phone().lastCallLost ? 1 : 0;
}
#endif

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL InitGBPMode(std::uint8_t port) {
  const TLinkTime link;
  // An opening reads the settings first, so its own FailCall entry counts.
  if (!Phone().open) ReadSettings();
  return RunCall([&] { return OpenPort(port, link); });
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL EndGBPMode() {
  return RunCall([] { return ClosePort(); });
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL GetNVMFileSize(std::uint8_t section,
                                                        std::uint8_t subSection) {
  return RunCall([&] { return SizeOf(section, subSection); });
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL ReadNVMFile(std::uint8_t section, std::uint8_t subSection,
                                                     void* buffer, std::uint32_t length) {
  return RunCall([&] { return ReadSection(section, subSection, buffer, length); });
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL WriteNVMFile(std::uint8_t section, std::uint8_t subSection,
                                                      const void* buffer, std::uint32_t length) {
  return RunCall([&] { return WriteSection(section, subSection, buffer, length); });
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL ClearNVMFile(std::uint8_t section,
                                                      std::uint8_t subSection) {
  return RunCall([&] { return ClearSection(section, subSection); });
}

// The entry points must keep the exact types the tool resolves them as.
static_assert(std::is_same_v<decltype(&InitGBPMode), zub::gbp::InitGBPModeFn>);
static_assert(std::is_same_v<decltype(&EndGBPMode), zub::gbp::EndGBPModeFn>);
static_assert(std::is_same_v<decltype(&ReadNVMFile), zub::gbp::ReadNVMFileFn>);
static_assert(std::is_same_v<decltype(&WriteNVMFile), zub::gbp::WriteNVMFileFn>);
static_assert(std::is_same_v<decltype(&ClearNVMFile), zub::gbp::ClearNVMFileFn>);
static_assert(std::is_same_v<decltype(&GetNVMFileSize), zub::gbp::GetNVMFileSizeFn>);
