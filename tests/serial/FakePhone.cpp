// zub-fake-phone: a telephone at the far end of a serial line, for the serial tests. It opens a
// terminal device (one end of a pty pair), answers "AT" with "OK" and the requests of the line
// protocol (PhoneProtocol.h) from a folder of sections in the simulator's layout (S-SS.bin, as
// zub-demo-phone writes them), and logs every request on standard error.
//
//   zub-fake-phone [--silent-after N] [--hang-on KIND|N] [--hold-on N FILE] DEVICE FOLDER
//
// --silent-after N   answer the first N requests (the "AT" check counts), then read on and
//                    answer nothing: a telephone that falls silent in the middle of a scan.
// --hang-on KIND|N   at the first request of that kind (AT, SIZE, READ, WRITE, CLEAR) or at
//                    the N-th request, stop: read nothing more and answer nothing.
// --hold-on N FILE   keep the answer to the N-th request back until FILE exists: a slow
//                    telephone that the test lets go on when it is ready.
// It ends when the line goes away (end of input or an error reading the device).
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PhoneProtocol.h"

namespace fs = std::filesystem;
using namespace zub::serial;

namespace {

constexpr int kNoSection = -153;
constexpr int kCommError = -5;
constexpr int kInvalidArguments = -7;
// A request line longer than this (a write of more than 1 MiB) is refused.
constexpr std::size_t kMaxLine = 2 * (1u << 20) + kMaxHeadLine;

struct TOptions {
  std::optional<long> silentAfter;
  std::string hangKind;
  std::optional<long> hangAt;
  std::optional<long> holdAt;
  fs::path holdUntil;
  std::string device;
  fs::path folder;
};

class TLine {
 public:
  explicit TLine(int fd) : fd_(fd) {}

  // The next line without its end ("\r" dropped); nullopt when the line went away. A line over
  // kMaxLine comes back empty after its end was read.
  std::optional<std::string> Next() {
    std::string line;
    bool overlong = false;
    for (;;) {
      if (pos_ == buffer_.size() && !Fill()) return std::nullopt;
      const char c = buffer_[pos_++];
      if (c == '\n') return overlong ? std::string() : line;
      if (c == '\r') {
        // "AT\r" ends the modem check without a "\n".
        if (line == "AT") return line;
        continue;
      }
      if (line.size() < kMaxLine) {
        line += c;
      } else {
        overlong = true;
      }
    }
  }

  bool Send(const std::string& text) {
    std::string_view rest = text;
    while (!rest.empty()) {
      const ssize_t n = ::write(fd_, rest.data(), rest.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

 private:
  bool Fill() {
    buffer_.resize(64 * 1024);
    for (;;) {
      const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      buffer_.resize(static_cast<std::size_t>(n));
      pos_ = 0;
      return true;
    }
  }

  int fd_;
  std::string buffer_;
  std::size_t pos_ = 0;
};

fs::path SectionFile(const fs::path& folder, unsigned s, unsigned ss) {
  return folder / (std::to_string(s) + "-" + std::to_string(ss) + ".bin");
}

std::optional<std::string> ReadSection(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replaces the section whole: a temporary file renamed over it.
bool StoreSection(const fs::path& file, const std::string& bytes) {
  const fs::path temp = file.parent_path() / ("." + file.filename().string() + ".tmp");
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) return false;
  }
  std::error_code ec;
  fs::rename(temp, file, ec);
  return !ec;
}

std::string Err(int code) {
  return "ERR " + std::to_string(code) + "\n";
}

// The answer to one request; `line` gives the data line a WRITE brings with it.
std::string Answer(const std::vector<std::string_view>& w, const fs::path& folder, TLine& line) {
  const auto number = [&](std::size_t i) {
    return i < w.size() ? Number<unsigned long>(w[i]) : std::nullopt;
  };
  const auto s = number(1), ss = number(2);
  const bool addressed = s && ss && *s <= 255 && *ss <= 255;
  const std::string kind = w.empty() ? "" : std::string(w[0]);
  if (kind == "SIZE" && addressed && w.size() == 3) {
    const auto bytes = ReadSection(SectionFile(folder, *s, *ss));
    return bytes ? "OK " + std::to_string(bytes->size()) + "\n" : Err(kNoSection);
  }
  if (kind == "READ" && addressed && w.size() == 4 && number(3)) {
    const auto bytes = ReadSection(SectionFile(folder, *s, *ss));
    if (!bytes) return Err(kNoSection);
    const std::size_t n = std::min<std::size_t>(bytes->size(), *number(3));
    return "OK " + std::to_string(n) + "\n" +
           Hex(reinterpret_cast<const std::uint8_t*>(bytes->data()), n) + "\n";
  }
  if (kind == "WRITE" && addressed && w.size() == 4 && number(3)) {
    const auto data = line.Next();
    if (!data) return {};
    std::string bytes(*number(3), '\0');
    if (!Unhex(*data, reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()))
      return Err(kCommError);
    if (!StoreSection(SectionFile(folder, *s, *ss), bytes)) return Err(kCommError);
    return "OK " + std::to_string(bytes.size()) + "\n";
  }
  if (kind == "CLEAR" && addressed && w.size() == 3) {
    std::error_code ec;
    fs::remove(SectionFile(folder, *s, *ss), ec);
    return ec ? Err(kCommError) : "OK 0\n";
  }
  return Err(kInvalidArguments);
}

void Log(long n, std::string_view request, std::string_view outcome) {
  std::cerr << "fake-phone: #" << n << " " << request << " -> " << outcome << std::endl;
}

// The answer's first line, for the log.
std::string_view Head(const std::string& answer) {
  return std::string_view(answer).substr(0, answer.find_first_of("\r\n"));
}

bool ParseOptions(int argc, char** argv, TOptions& o) {
  std::vector<std::string> plain;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--silent-after" || arg == "--hang-on") && i + 1 < argc) {
      const std::string value = argv[++i];
      const auto n = Number<long>(value);
      if (arg == "--silent-after") {
        if (!n || *n < 0) return false;
        o.silentAfter = n;
      } else if (n && *n > 0) {
        o.hangAt = n;
      } else if (value == "AT" || value == "SIZE" || value == "READ" || value == "WRITE" ||
                 value == "CLEAR") {
        o.hangKind = value;
      } else {
        return false;
      }
    } else if (arg == "--hold-on" && i + 2 < argc) {
      o.holdAt = Number<long>(argv[++i]);
      o.holdUntil = argv[++i];
      if (!o.holdAt || *o.holdAt <= 0) return false;
    } else if (arg.starts_with("--")) {
      return false;
    } else {
      plain.push_back(arg);
    }
  }
  if (plain.size() != 2) return false;
  o.device = plain[0];
  o.folder = plain[1];
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  if (!ParseOptions(argc, argv, o)) {
    std::cerr << "usage: zub-fake-phone [--silent-after N] [--hang-on AT|SIZE|READ|WRITE|CLEAR|N] "
                 "[--hold-on N FILE] DEVICE FOLDER\n";
    return 2;
  }
  const int fd = ::open(o.device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    std::cerr << "zub-fake-phone: cannot open " << o.device << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  termios tio{};
  if (::tcgetattr(fd, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
  }
  std::cerr << "fake-phone: ready on " << o.device << std::endl;

  TLine line(fd);
  for (long n = 1;; ++n) {
    const auto request = line.Next();
    if (!request) break;
    const auto words = Words(*request);
    const std::string_view kind = words.empty() ? std::string_view() : words[0];
    if ((o.hangAt && n == *o.hangAt) || (!o.hangKind.empty() && kind == o.hangKind)) {
      Log(n, *request, "hangs");
      // A telephone that froze: it takes nothing more off the line until it is ended.
      ::pause();
      break;
    }
    if (o.silentAfter && n > *o.silentAfter) {
      if (kind == "WRITE") line.Next();  // its data line is no request
      Log(n, *request, "silent");
      continue;
    }
    if (o.holdAt && n == *o.holdAt) {
      Log(n, *request, "held");
      std::error_code ec;
      while (!fs::exists(o.holdUntil, ec)) ::usleep(20'000);
    }
    const std::string answer = kind == "AT" ? std::string("OK\r\n") : Answer(words, o.folder, line);
    if (answer.empty()) break;
    Log(n, *request, Head(answer));
    if (!line.Send(answer)) break;
  }
  std::cerr << "fake-phone: the line went away" << std::endl;
  ::close(fd);
  return 0;
}
