// gbp-host.exe PATH-TO-DLL: a 32-bit Windows console program that loads a device library and
// serves its six entry points to the tool over standard input and output in the host
// protocol (src/core/device/host/HostProtocol.h). It lets a tool that cannot load a 32-bit Windows
// library itself (a Linux build through Wine, a 64-bit Windows build) reach the real one.
//
// It sends the hello, then answers one reply per request until its input ends (exit code 0).
// A malformed or cut-off request ends it with a non-zero code and nothing more written.
// Its standard output carries replies only: the library's own console output, if any, is sent
// to standard error, where the host's diagnostics go too.
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
};

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

template <typename Fn>
Fn Resolve(HMODULE module, TEntry entry) {
  FARPROC p = GetProcAddress(module, EntryName(entry));
  if (!p) p = GetProcAddress(module, DecoratedEntryName(entry));
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(p));
}

// Serves one request; false when the reply could not be written.
bool Serve(const TLibrary& lib, const TRequest& q, std::vector<std::uint8_t>& payload,
           std::vector<std::uint8_t>& readBuffer, HANDLE out) {
  TReply reply;
  bool called = true;
  switch (q.entry) {
    case TEntry::InitGBPMode:
      if ((called = lib.init != nullptr)) reply.result = lib.init(q.port);
      break;
    case TEntry::EndGBPMode:
      if ((called = lib.end != nullptr)) reply.result = lib.end();
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

  if (argc != 2) {
    Diagnose("usage: gbp-host.exe PATH-TO-DLL");
    return kExitUsage;
  }
  // Libraries the device library needs are looked for beside it first.
  HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) module = LoadLibraryW(argv[1]);
  if (!module) {
    const std::string text =
        "cannot load the library (error " + std::to_string(GetLastError()) + ")";
    Diagnose(text.c_str());
    return kExitLibrary;
  }
  TLibrary lib;
  lib.init = Resolve<zub::gbp::InitGBPModeFn>(module, TEntry::InitGBPMode);
  lib.end = Resolve<zub::gbp::EndGBPModeFn>(module, TEntry::EndGBPMode);
  lib.read = Resolve<zub::gbp::ReadNVMFileFn>(module, TEntry::ReadNVMFile);
  lib.write = Resolve<zub::gbp::WriteNVMFileFn>(module, TEntry::WriteNVMFile);
  lib.clear = Resolve<zub::gbp::ClearNVMFileFn>(module, TEntry::ClearNVMFile);
  lib.size = Resolve<zub::gbp::GetNVMFileSizeFn>(module, TEntry::GetNVMFileSize);

  THello hello;
  hello.entries = lib.Mask();
  const auto helloFrame = EncodeHello(hello);
  if (!WriteAll(out, helloFrame.data(), helloFrame.size())) return kExitOutput;

  THandleSource source(in);
  std::vector<std::uint8_t> payload;
  std::vector<std::uint8_t> readBuffer;
  for (;;) {
    TRequest request;
    TReadStatus status;
    try {
      status = ReadRequest(source, request, payload);
    } catch (const std::bad_alloc&) {
      Diagnose("no memory for the bytes to write");
      return kExitNoMemory;
    }
    if (status == TReadStatus::End) return kExitOk;
    if (status != TReadStatus::Ok) {
      Diagnose(status == TReadStatus::Truncated ? "request cut off" : "malformed request");
      return kExitBadFrame;
    }
    if (!Serve(lib, request, payload, readBuffer, out)) return kExitOutput;
  }
}
