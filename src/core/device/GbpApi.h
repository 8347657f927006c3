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
using GetNVMFileSizeFn = std::int32_t(ZUB_GBP_CALL*)(std::uint8_t section,
                                                     std::uint8_t subSection);

// Result codes the tool relies on.
inline constexpr std::int32_t kNoSection = -153;
inline constexpr std::int32_t kNoSectionAlt = -5;

}  // namespace zub::gbp
