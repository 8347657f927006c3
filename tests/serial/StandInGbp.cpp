// A stand-in for a telephone's device library, built as a 32-bit Windows gbp.dll for the serial
// tests: it exports the six entry points (stdcall, plain names), really opens \\.\COMn, sets
// 115,200 bit/s 8N1 and its time limits, checks that the telephone answers "AT" with "OK" and
// then speaks the line protocol of PhoneProtocol.h with the fake telephone. Its result codes
// are a device library's: 0 ok, -1 to -7 for failed openings, -4 on a closed port, -5 for a
// link that times out or garbles its answer, and the telephone's own codes (-153: no such
// section) passed on.
//
// The time the library waits for the telephone before it gives -5 is ZUB_STANDIN_TIMEOUT_MS
// (milliseconds, default 3000), read at every opening: no byte for that long fails the call.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "PhoneProtocol.h"
#include "device/GbpApi.h"

namespace {

using namespace zub::serial;

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kPortAlreadyOpen = -1;
constexpr std::int32_t kCannotOpenPort = -2;
constexpr std::int32_t kNoAnswer = -3;
constexpr std::int32_t kPortMustBeOpen = -4;
constexpr std::int32_t kCommError = -5;
constexpr std::int32_t kInvalidArguments = -7;

constexpr DWORD kDefaultTimeoutMs = 3000;
constexpr DWORD kBaud = 115200;

HANDLE gPort = INVALID_HANDLE_VALUE;

DWORD TimeoutMs() {
  char text[32] = {};
  const DWORD n = GetEnvironmentVariableA("ZUB_STANDIN_TIMEOUT_MS", text, sizeof text);
  if (n == 0 || n >= sizeof text) return kDefaultTimeoutMs;
  const auto ms = Number<DWORD>(std::string_view(text, n));
  return ms && *ms > 0 ? *ms : kDefaultTimeoutMs;
}

bool Send(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD done = 0;
    if (!WriteFile(gPort, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) ||
        done == 0)
      return false;  // error or the write time limit ran out
    bytes.remove_prefix(done);
  }
  return true;
}

// Reads exactly `size` bytes; false when the time limit ran out first.
bool Receive(char* into, std::size_t size) {
  while (size > 0) {
    DWORD got = 0;
    if (!ReadFile(gPort, into, static_cast<DWORD>(size), &got, nullptr) || got == 0) return false;
    into += got;
    size -= got;
  }
  return true;
}

// One answer line without its end; nullopt on a time-out or a line longer than `limit`.
std::optional<std::string> ReceiveLine(std::size_t limit = kMaxHeadLine) {
  std::string line;
  for (;;) {
    char c = 0;
    if (!Receive(&c, 1)) return std::nullopt;
    if (c == '\n') return line;
    if (c == '\r') continue;
    if (line.size() == limit) return std::nullopt;
    line += c;
  }
}

// Sends a request and reads its answer line: the number after "OK" (within 0..max), or the
// telephone's negative code after "ERR"; -5 for silence or anything else.
std::int64_t Ask(const std::string& request, std::int64_t max) {
  // Whatever a late answer to an earlier request left on the line is not this answer.
  PurgeComm(gPort, PURGE_RXCLEAR | PURGE_TXCLEAR);
  if (!Send(request)) return kCommError;
  const auto line = ReceiveLine();
  if (!line) return kCommError;
  const auto words = Words(*line);
  if (words.size() != 2) return kCommError;
  const auto n = Number<std::int64_t>(words[1]);
  if (!n) return kCommError;
  if (words[0] == "OK" && *n >= 0 && *n <= max) return *n;
  if (words[0] == "ERR" && *n < 0 && *n >= std::numeric_limits<std::int32_t>::min()) return *n;
  return kCommError;
}

std::string Address(std::uint8_t section, std::uint8_t subSection) {
  return std::to_string(section) + " " + std::to_string(subSection);
}

void ClosePort() {
  if (gPort != INVALID_HANDLE_VALUE) CloseHandle(gPort);
  gPort = INVALID_HANDLE_VALUE;
}

// 115,200 bit/s, 8 data bits, no parity, one stop bit, no flow control.
bool SetLine(DWORD timeoutMs) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(gPort, &dcb)) return false;
  dcb.BaudRate = kBaud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetCommState(gPort, &dcb)) return false;
  // A read waits up to the time limit plus a millisecond a byte (a byte takes 87 us at
  // 115,200 bit/s); so does a write.
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = 0;
  t.ReadTotalTimeoutMultiplier = 1;
  t.ReadTotalTimeoutConstant = timeoutMs;
  t.WriteTotalTimeoutMultiplier = 1;
  t.WriteTotalTimeoutConstant = timeoutMs;
  return SetCommTimeouts(gPort, &t) != 0;
}

}  // namespace

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL InitGBPMode(std::uint8_t port) {
  if (gPort != INVALID_HANDLE_VALUE) return kPortAlreadyOpen;
  if (port == 0) return kInvalidArguments;
  const std::string name = "\\\\.\\COM" + std::to_string(port);
  gPort = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                      nullptr);
  if (gPort == INVALID_HANDLE_VALUE) return kCannotOpenPort;
  if (!SetLine(TimeoutMs())) {
    ClosePort();
    return kCannotOpenPort;
  }
  PurgeComm(gPort, PURGE_RXCLEAR | PURGE_TXCLEAR);
  if (Send("AT\r")) {
    // A modem may echo the command or say more first; only "OK" counts.
    for (int lines = 0; lines < 4; ++lines) {
      const auto line = ReceiveLine();
      if (!line) break;
      if (*line == "OK") return kOk;
    }
  }
  ClosePort();
  return kNoAnswer;
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL EndGBPMode() {
  ClosePort();
  return kOk;
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL GetNVMFileSize(std::uint8_t section,
                                                        std::uint8_t subSection) {
  if (gPort == INVALID_HANDLE_VALUE) return kPortMustBeOpen;
  return static_cast<std::int32_t>(
      Ask("SIZE " + Address(section, subSection) + "\n", std::numeric_limits<std::int32_t>::max()));
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL ReadNVMFile(std::uint8_t section, std::uint8_t subSection,
                                                     void* buffer, std::uint32_t length) {
  if (gPort == INVALID_HANDLE_VALUE) return kPortMustBeOpen;
  if (length && buffer == nullptr) return kInvalidArguments;
  const std::int64_t max = std::min<std::int64_t>(length, std::numeric_limits<std::int32_t>::max());
  const std::int64_t n =
      Ask("READ " + Address(section, subSection) + " " + std::to_string(length) + "\n", max);
  if (n < 0) return static_cast<std::int32_t>(n);
  // The data line: 2n hex digits and the line's end, in one read.
  std::string data(static_cast<std::size_t>(2 * n + 1), '\0');
  if (!Receive(data.data(), data.size()) || data.back() != '\n') return kCommError;
  data.pop_back();
  if (!Unhex(data, static_cast<std::uint8_t*>(buffer), static_cast<std::size_t>(n)))
    return kCommError;
  return static_cast<std::int32_t>(n);
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL WriteNVMFile(std::uint8_t section, std::uint8_t subSection,
                                                      const void* buffer, std::uint32_t length) {
  if (gPort == INVALID_HANDLE_VALUE) return kPortMustBeOpen;
  if (length && buffer == nullptr) return kInvalidArguments;
  const std::string request = "WRITE " + Address(section, subSection) + " " +
                              std::to_string(length) + "\n" +
                              Hex(static_cast<const std::uint8_t*>(buffer), length) + "\n";
  return static_cast<std::int32_t>(Ask(request, std::numeric_limits<std::int32_t>::max()));
}

ZUB_GBP_EXPORT std::int32_t ZUB_GBP_CALL ClearNVMFile(std::uint8_t section,
                                                      std::uint8_t subSection) {
  if (gPort == INVALID_HANDLE_VALUE) return kPortMustBeOpen;
  const std::int64_t n = Ask("CLEAR " + Address(section, subSection) + "\n", 0);
  return static_cast<std::int32_t>(n);
}
