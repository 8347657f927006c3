// The six entry points of the device library (gbp.dll / cte_gbp.dll). The simulator and the
// test fakes export exactly these; the Win32 libraries use the stdcall convention.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define ZUB_GBP_CALL __stdcall
#else
#define ZUB_GBP_CALL
#endif

#if defined(_WIN32)
#define ZUB_GBP_EXPORT extern "C" __declspec(dllexport)
#else
#define ZUB_GBP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace zub::gbp {

using InitGBPModeFn = std::int32_t(ZUB_GBP_CALL*)(std::uint8_t port);
using EndGBPModeFn = std::int32_t(ZUB_GBP_CALL*)();
using ReadNVMFileFn = std::int32_t(ZUB_GBP_CALL*)(std::uint8_t section, std::uint8_t subSection,
                                                  void* buffer, std::uint32_t length);
using WriteNVMFileFn = std::int32_t(ZUB_GBP_CALL*)(std::uint8_t section, std::uint8_t subSection,
                                                   const void* buffer, std::uint32_t length);
using ClearNVMFileFn = std::int32_t(ZUB_GBP_CALL*)(std::uint8_t section, std::uint8_t subSection);
using GetNVMFileSizeFn = std::int32_t(ZUB_GBP_CALL*)(std::uint8_t section, std::uint8_t subSection);

// The names an entry point may be exported under: plain, as the real libraries export them,
// or one of the two names a 32-bit Windows linker gives a stdcall function: decorated
// ("_InitGBPMode@4") and MinGW's default, without the underscore ("InitGBPMode@4").
struct TExportNames {
  const char* plain;
  const char* decorated;
  const char* mingw;
  template <typename Fn>
  void ForEach(Fn&& fn) const {
    for (const char* name : {plain, decorated, mingw}) fn(name);
  }
};

// The six entry points, in the order the device component keeps them.
inline constexpr int kEntryCount = 6;
inline constexpr TExportNames kEntryNames[kEntryCount] = {
    {"InitGBPMode", "_InitGBPMode@4", "InitGBPMode@4"},
    {"EndGBPMode", "_EndGBPMode@0", "EndGBPMode@0"},
    {"ReadNVMFile", "_ReadNVMFile@16", "ReadNVMFile@16"},
    {"WriteNVMFile", "_WriteNVMFile@16", "WriteNVMFile@16"},
    {"ClearNVMFile", "_ClearNVMFile@8", "ClearNVMFile@8"},
    {"GetNVMFileSize", "_GetNVMFileSize@8", "GetNVMFileSize@8"},
};

// Exported by the telephone simulator only: non-zero when its most recent call (which
// answered -5) lost the link to the telephone, as a cut cable or a dead host would.
using LastCallLostFn = std::int32_t(ZUB_GBP_CALL*)();
inline constexpr TExportNames kLastCallLostNames = {"ZubSimLastCallLost", "_ZubSimLastCallLost@0",
                                                    "ZubSimLastCallLost@0"};

// Result codes the tool relies on.
inline constexpr std::int32_t kNoSection = -153;
inline constexpr std::int32_t kNoSectionAlt = -5;

}  // namespace zub::gbp
