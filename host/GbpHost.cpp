// gbp-host.exe [--port COMn=DEVICE]... PATH-TO-DLL: a 32-bit Windows console program that
// loads a device library and serves its six entry points to the tool over standard input and
// output in the host protocol (src/core/device/host/HostProtocol.h). It lets a tool that
// cannot load a 32-bit Windows library itself (a Linux build through Wine, a 64-bit Windows
// build) reach the real one.
//
// It sends the hello, then answers one reply per request until its input ends (exit code 0).
// A malformed or cut-off request ends it with a non-zero code and nothing more written.
// Its standard output carries replies only: the library's own console output, if any, is sent
// to standard error, where the host's diagnostics go too.
//
// Its input is watched on a thread of its own: when the tool's end of the pipe closes (the
// tool ended or died), the host ends the library's connection if one is open (InitGBPMode
// answered 0 and no EndGBPMode came since) and exits, even while a library call is still
// running. A library that says its call lost the link (the simulator's ZubSimLastCallLost)
// makes the host end without a reply, as a cut cable would.
//
// Under Wine, each --port sets the serial device Wine maps COMn to, in the registry key
// HKEY_LOCAL_MACHINE\Software\Wine\Ports that Wine reads when it starts; an empty DEVICE
// removes the value, giving the port back to Wine's own mapping.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "device/GbpApi.h"
#include "device/host/HostProtocol.h"

namespace {

using namespace zub::hostproto;

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 2,
  kExitLibrary = 3,
  kExitBadFrame = 4,
  kExitOutput = 5,
  kExitNoMemory = 6,
  kExitLinkLost = 7,
};

// How long a call may go on once the tool is gone before the host ends without it: less than
// the tool gives the host to end by itself.
constexpr DWORD kCallGraceMs = 1000;

void Diagnose(const char* text) {
  std::fputs("gbp-host: ", stderr);
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

class THandleSource : public IByteSource {
 public:
  explicit THandleSource(HANDLE h) : h_(h) {}
  std::size_t ReadSome(std::span<std::uint8_t> into) override {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1u << 20));
    DWORD got = 0;
    if (!ReadFile(h_, into.data(), want, &got, nullptr)) return 0;  // broken pipe: end of input
    return got;
  }

 private:
  HANDLE h_;
};

// A private duplicate of a standard handle; null when there is none.
HANDLE OwnCopy(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

bool WriteAll(HANDLE h, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
    DWORD done = 0;
    if (!WriteFile(h, data, piece, &done, nullptr) || done == 0) return false;
    data += done;
    size -= done;
  }
  return true;
}

struct TLibrary {
  zub::gbp::InitGBPModeFn init = nullptr;
  zub::gbp::EndGBPModeFn end = nullptr;
  zub::gbp::ReadNVMFileFn read = nullptr;
  zub::gbp::WriteNVMFileFn write = nullptr;
  zub::gbp::ClearNVMFileFn clear = nullptr;
  zub::gbp::GetNVMFileSizeFn size = nullptr;
  zub::gbp::LastCallLostFn lost = nullptr;  // optional

  std::uint16_t Mask() const {
    const void* all[kEntryCount] = {
        reinterpret_cast<const void*>(init),  reinterpret_cast<const void*>(end),
        reinterpret_cast<const void*>(read),  reinterpret_cast<const void*>(write),
        reinterpret_cast<const void*>(clear), reinterpret_cast<const void*>(size)};
    std::uint16_t mask = 0;
    for (int i = 0; i < kEntryCount; ++i)
      if (all[i]) mask = static_cast<std::uint16_t>(mask | (1u << i));
    return mask;
  }
};

// The entry point under the first of its export names the library has.
template <typename Fn>
Fn Resolve(HMODULE module, const zub::gbp::TExportNames& names) {
  FARPROC p = nullptr;
  names.ForEach([&](const char* name) {
    if (!p) p = GetProcAddress(module, name);
  });
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(p));
}

// Whether the library has a connection open: set when InitGBPMode answers 0, cleared when
// EndGBPMode is called. Read by the input's watcher.
volatile LONG gConnectionOpen = 0;

// Serves one request; false when the reply could not be written, or must not be (`lostLink`).
bool Serve(const TLibrary& lib, const TRequest& q, std::vector<std::uint8_t>& payload,
           std::vector<std::uint8_t>& readBuffer, HANDLE out, bool& lostLink) {
  TReply reply;
  bool called = true;
  switch (q.entry) {
    case TEntry::InitGBPMode:
      if ((called = lib.init != nullptr)) reply.result = lib.init(q.port);
      if (called && reply.result == 0) InterlockedExchange(&gConnectionOpen, 1);
      break;
    case TEntry::EndGBPMode:
      if ((called = lib.end != nullptr)) {
        InterlockedExchange(&gConnectionOpen, 0);
        reply.result = lib.end();
      }
      break;
    case TEntry::ReadNVMFile:
      if ((called = lib.read != nullptr)) {
        try {
          // Never a null buffer, not even for a length of 0: the tool's own buffer is not.
          if (readBuffer.size() < q.length || readBuffer.empty())
            readBuffer.resize(std::max<std::size_t>(q.length, 1));
        } catch (const std::bad_alloc&) {
          readBuffer.clear();
          readBuffer.shrink_to_fit();
          reply.status = TStatus::NoMemory;
          break;
        }
        reply.result = lib.read(q.section, q.subSection, readBuffer.data(), q.length);
      }
      break;
    case TEntry::WriteNVMFile:
      if ((called = lib.write != nullptr)) {
        static const std::uint8_t kNothing = 0;
        const std::uint8_t* data = payload.empty() ? &kNothing : payload.data();
        reply.result = lib.write(q.section, q.subSection, data, q.length);
      }
      break;
    case TEntry::ClearNVMFile:
      if ((called = lib.clear != nullptr)) reply.result = lib.clear(q.section, q.subSection);
      break;
    case TEntry::GetNVMFileSize:
      if ((called = lib.size != nullptr)) reply.result = lib.size(q.section, q.subSection);
      break;
  }
  if (!called) reply.status = TStatus::Missing;
  if (called && reply.result == -5 && lib.lost && lib.lost() != 0) {
    Diagnose("the library lost the link to the telephone; ending as a cut cable would");
    lostLink = true;
    return false;
  }
  reply.dataLength = ExpectedDataLength(q, reply.status, reply.result);
  const auto head = EncodeReply(reply);
  // One write for a small reply: the tool wakes once.
  constexpr std::size_t kSmall = 64 * 1024;
  if (reply.dataLength <= kSmall) {
    static std::uint8_t frame[kReplyHeaderSize + kSmall];
    std::memcpy(frame, head.data(), head.size());
    if (reply.dataLength) std::memcpy(frame + head.size(), readBuffer.data(), reply.dataLength);
    return WriteAll(out, frame, head.size() + reply.dataLength);
  }
  return WriteAll(out, head.data(), head.size()) &&
         WriteAll(out, readBuffer.data(), reply.dataLength);
}

// Ends the library's connection when one is open.
void EndOpenConnection(const TLibrary& lib) {
  if (InterlockedExchange(&gConnectionOpen, 0) && lib.end) lib.end();
}

// "COM1" to "COM256".
bool IsComName(const std::wstring& name) {
  if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, L"COM") != 0 || name[3] == L'0')
    return false;
  for (std::size_t i = 3; i < name.size(); ++i)
    if (name[i] < L'0' || name[i] > L'9') return false;
  return std::stoi(name.substr(3)) <= 256;
}

// Sets (or, for an empty device, removes) the ports' values under HKLM\Software\Wine\Ports,
// writing only what changes.
void MapPorts(const std::vector<std::pair<std::wstring, std::wstring>>& ports) {
  if (ports.empty()) return;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Wine\\Ports", 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    Diagnose("cannot open the registry key of Wine's serial ports");
    return;
  }
  for (const auto& [name, device] : ports) {
    wchar_t current[1024];
    DWORD type = 0, size = sizeof current - sizeof(wchar_t);
    const bool has = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                      reinterpret_cast<BYTE*>(current), &size) == ERROR_SUCCESS;
    if (has) current[size / sizeof(wchar_t)] = L'\0';
    LONG rc = ERROR_SUCCESS;
    if (device.empty()) {
      if (has) rc = RegDeleteValueW(key, name.c_str());
    } else if (!has || type != REG_SZ || device != current) {
      rc = RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(device.c_str()),
                          static_cast<DWORD>((device.size() + 1) * sizeof(wchar_t)));
    }
    if (rc != ERROR_SUCCESS) Diagnose("cannot write a serial port's value in the registry");
  }
  RegCloseKey(key);
}

// The requests as they come, read on a thread of their own; the main thread takes them one
// at a time. When the input ends while the main thread is inside a library call, the tool is
// gone and nobody waits for the answer: the watcher ends the connection and the process.
class TInputWatch {
 public:
  enum class TKind { Request, End, CutOff, Malformed, NoMemory };
  struct TItem {
    TKind kind = TKind::End;
    TRequest request;
    std::vector<std::uint8_t> payload;
  };

  TInputWatch(HANDLE in, const TLibrary& lib) : source_(in), lib_(lib) {
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&changed_);
  }

  bool Start() { return CreateThread(nullptr, 0, &TInputWatch::Run, this, 0, nullptr) != nullptr; }

  // The next item; the main thread is then busy with it until Served().
  TItem Next() {
    EnterCriticalSection(&lock_);
    while (!ready_) SleepConditionVariableCS(&changed_, &lock_, INFINITE);
    TItem item = std::move(item_);
    ready_ = false;
    busy_ = item.kind == TKind::Request;
    WakeAllConditionVariable(&changed_);
    LeaveCriticalSection(&lock_);
    return item;
  }

  void Served() {
    EnterCriticalSection(&lock_);
    busy_ = false;
    WakeAllConditionVariable(&changed_);
    LeaveCriticalSection(&lock_);
  }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<TInputWatch*>(self)->Watch();
    return 0;
  }

  void Watch() {
    for (;;) {
      TItem item;
      TReadStatus status;
      try {
        status = ReadRequest(source_, item.request, item.payload);
      } catch (const std::bad_alloc&) {
        status = TReadStatus::Truncated;
        item.kind = TKind::NoMemory;
      }
      if (status == TReadStatus::Ok)
        item.kind = TKind::Request;
      else if (item.kind != TKind::NoMemory)
        item.kind = status == TReadStatus::End         ? TKind::End
                    : status == TReadStatus::Truncated ? TKind::CutOff
                                                       : TKind::Malformed;
      const bool last = item.kind != TKind::Request;
      EnterCriticalSection(&lock_);
      while (ready_) SleepConditionVariableCS(&changed_, &lock_, INFINITE);
      if (last) {
        // The tool is gone (or broken) in the middle of a call: the call may finish, and its
        // answer be sent, in a little while; one that does not (it may never return) is left
        // behind with the connection ended.
        const ULONGLONG until = GetTickCount64() + kCallGraceMs;
        for (ULONGLONG now = GetTickCount64(); busy_ && now < until; now = GetTickCount64())
          SleepConditionVariableCS(&changed_, &lock_, static_cast<DWORD>(until - now));
        if (busy_) {
          EndOpenConnection(lib_);
          TerminateProcess(GetCurrentProcess(), item.kind == TKind::End ? kExitOk : kExitBadFrame);
        }
      }
      item_ = std::move(item);
      ready_ = true;
      WakeAllConditionVariable(&changed_);
      LeaveCriticalSection(&lock_);
      if (last) return;
    }
  }

  THandleSource source_;
  const TLibrary& lib_;
  CRITICAL_SECTION lock_;
  CONDITION_VARIABLE changed_;
  TItem item_;
  bool ready_ = false;  // item_ waits for the main thread
  bool busy_ = false;   // the main thread serves a request
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Take the real standard output for the replies, then point standard output (for the
  // library and the C runtime) at standard error and standard input at nothing, so no byte of
  // anybody else ever mixes into the frames.
  // The C runtime closes a descriptor's handle when another is put in its place: work on
  // copies of the two handles of our own.
  HANDLE in = OwnCopy(GetStdHandle(STD_INPUT_HANDLE));
  HANDLE out = OwnCopy(GetStdHandle(STD_OUTPUT_HANDLE));
  if (!in || !out) {
    Diagnose("no standard input or output");
    return kExitOutput;
  }
  SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
  _dup2(_fileno(stderr), _fileno(stdout));
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (nul != INVALID_HANDLE_VALUE) {
    SetStdHandle(STD_INPUT_HANDLE, nul);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(nul), _O_RDONLY | _O_BINARY);
    if (fd >= 0) _dup2(fd, _fileno(stdin));
  }

  std::vector<std::pair<std::wstring, std::wstring>> ports;
  const wchar_t* dll = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--port" && i + 1 < argc) {
      const std::wstring mapping = argv[++i];
      const auto eq = mapping.find(L'=');
      if (eq == std::wstring::npos || !IsComName(mapping.substr(0, eq)))
        dll = nullptr, i = argc;
      else
        ports.emplace_back(mapping.substr(0, eq), mapping.substr(eq + 1));
    } else if (!dll && i == argc - 1) {
      dll = argv[i];
    } else {
      dll = nullptr;
      break;
    }
  }
  if (!dll) {
    Diagnose("usage: gbp-host.exe [--port COMn=DEVICE]... PATH-TO-DLL");
    return kExitUsage;
  }
  MapPorts(ports);
  // Libraries the device library needs are looked for beside it first.
  HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) module = LoadLibraryW(dll);
  if (!module) {
    const std::string text =
        "cannot load the library (error " + std::to_string(GetLastError()) + ")";
    Diagnose(text.c_str());
    return kExitLibrary;
  }
  using zub::gbp::kEntryNames;
  TLibrary lib;
  lib.init = Resolve<zub::gbp::InitGBPModeFn>(module, kEntryNames[0]);
  lib.end = Resolve<zub::gbp::EndGBPModeFn>(module, kEntryNames[1]);
  lib.read = Resolve<zub::gbp::ReadNVMFileFn>(module, kEntryNames[2]);
  lib.write = Resolve<zub::gbp::WriteNVMFileFn>(module, kEntryNames[3]);
  lib.clear = Resolve<zub::gbp::ClearNVMFileFn>(module, kEntryNames[4]);
  lib.size = Resolve<zub::gbp::GetNVMFileSizeFn>(module, kEntryNames[5]);
  lib.lost = Resolve<zub::gbp::LastCallLostFn>(module, zub::gbp::kLastCallLostNames);

  THello hello;
  hello.entries = lib.Mask();
  const auto helloFrame = EncodeHello(hello);
  if (!WriteAll(out, helloFrame.data(), helloFrame.size())) return kExitOutput;

  TInputWatch watch(in, lib);
  if (!watch.Start()) {
    Diagnose("cannot start the input's watcher");
    return kExitOutput;
  }
  std::vector<std::uint8_t> readBuffer;
  for (;;) {
    TInputWatch::TItem item = watch.Next();
    if (item.kind == TInputWatch::TKind::End) {
      EndOpenConnection(lib);
      return kExitOk;
    }
    if (item.kind != TInputWatch::TKind::Request) {
      Diagnose(item.kind == TInputWatch::TKind::CutOff     ? "request cut off"
               : item.kind == TInputWatch::TKind::NoMemory ? "no memory for the bytes to write"
                                                           : "malformed request");
      EndOpenConnection(lib);
      return item.kind == TInputWatch::TKind::NoMemory ? kExitNoMemory : kExitBadFrame;
    }
    bool lostLink = false;
    const bool replied = Serve(lib, item.request, item.payload, readBuffer, out, lostLink);
    watch.Served();
    if (!replied) {
      // The tool is gone, or the link is: nobody ends the connection but us.
      EndOpenConnection(lib);
      return lostLink ? kExitLinkLost : kExitOutput;
    }
  }
}
