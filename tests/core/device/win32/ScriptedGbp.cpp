// A 32-bit Windows device library for the host's tests, built by the win32 side (host/) with
// MinGW's own export names for stdcall functions ("InitGBPMode@4", no leading underscore). It
// holds no telephone: every call answers at once (the opening 0, a write its length, a size
// -153, a read 0), notes "Entry begins" and "Entry -> result" in calls.log beside the library,
// and says "scripted gbp: Entry" on its standard output (which the host sends to its log).
// Lines of script.txt beside it change that for one entry point:
//   hang ENTRY          it never returns
//   answer ENTRY VALUE  it answers VALUE
//   lose ENTRY          it answers -5 and says the link was lost (ZubSimLastCallLost)
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "device/GbpApi.h"

namespace {

std::wstring Beside(const wchar_t* name) {
  HMODULE self = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&Beside), &self);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(self, path, MAX_PATH);
  std::wstring dir(path);
  dir.erase(dir.find_last_of(L"\\/") + 1);
  return dir + name;
}

void Note(const std::string& line) {
  const HANDLE log = CreateFileW(Beside(L"calls.log").c_str(), FILE_APPEND_DATA,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(log);
}

bool gLost = false;

// What script.txt says for `entry`: "hang", "answer", "lose" or nothing.
std::string Scripted(const char* entry, std::int32_t& value) {
  FILE* script = _wfopen(Beside(L"script.txt").c_str(), L"r");
  if (!script) return {};
  char line[128];
  std::string what;
  while (std::fgets(line, sizeof line, script)) {
    char verb[16] = {}, name[64] = {};
    long number = 0;
    const int n = std::sscanf(line, "%15s %63s %ld", verb, name, &number);
    if (n < 2 || std::strcmp(name, entry) != 0) continue;
    what = verb;
    if (n == 3) value = static_cast<std::int32_t>(number);
  }
  std::fclose(script);
  return what;
}

std::int32_t Call(const char* entry, std::int32_t result) {
  Note(std::string(entry) + " begins");
  std::printf("scripted gbp: %s\n", entry);
  std::fflush(stdout);
  gLost = false;
  const std::string what = Scripted(entry, result);
  if (what == "hang") Sleep(INFINITE);
  if (what == "lose") {
    result = -5;
    gLost = true;
  }
  Note(std::string(entry) + " -> " + std::to_string(result));
  return result;
}

}  // namespace

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL ZubSimLastCallLost() {
  return gLost ? 1 : 0;
}
ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL InitGBPMode(std::uint8_t) {
  return Call("InitGBPMode", 0);
}
ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL EndGBPMode() {
  return Call("EndGBPMode", 0);
}
ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL ReadNVMFile(std::uint8_t, std::uint8_t, void*,
                                                     std::uint32_t) {
  return Call("ReadNVMFile", 0);
}
ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL WriteNVMFile(std::uint8_t, std::uint8_t, const void*,
                                                      std::uint32_t length) {
  return Call("WriteNVMFile", static_cast<std::int32_t>(length));
}
ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL ClearNVMFile(std::uint8_t, std::uint8_t) {
  return Call("ClearNVMFile", 0);
}
ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL GetNVMFileSize(std::uint8_t, std::uint8_t) {
  return Call("GetNVMFileSize", zub::gbp::kNoSection);
}
