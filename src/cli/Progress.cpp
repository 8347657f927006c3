#include "Progress.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "CliSession.h"
#include "commands/LinkSpeed.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace zub::cli {
namespace {

constexpr std::size_t kBarWidth = 20;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

}  // namespace

std::string ClockTime(double seconds) {
  const auto s = static_cast<long long>(std::max(seconds, 0.0) + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

std::string ElapsedText(std::uint64_t bytes, double seconds) {
  char shortTime[32];
  std::snprintf(shortTime, sizeof shortTime, "%.1f s", std::max(seconds, 0.0));
  std::string text = seconds < 60 ? shortTime : ClockTime(seconds);
  if (seconds > 0 && bytes > 0)
    text +=
        ", " + ByteCount(static_cast<std::uint64_t>(static_cast<double>(bytes) / seconds)) + "/s";
  return text;
}

std::string TransferStartText(const std::string& what, std::uint64_t bytes, std::uint64_t linkBytes,
                              std::uint32_t bitsPerSecond) {
  return what + ": " + std::to_string(bytes) + " bytes, about " +
         ClockTime(TransferSeconds(linkBytes, bitsPerSecond)) + " at " +
         std::to_string(bitsPerSecond) + " bit/s";
}

std::string TransferEndText(const std::string& what, std::uint64_t linkBytes, double seconds) {
  return what + ": done in " + ElapsedText(linkBytes, seconds);
}

void TTransferNote::Begin(const std::string& what, std::uint64_t bytes, std::uint64_t linkBytes,
                          std::uint32_t bitsPerSecond) {
  if (!shown_) return;
  what_ = what;
  linkBytes_ = linkBytes;
  start_ = std::chrono::steady_clock::now();
  std::cerr << TransferStartText(what, bytes, linkBytes, bitsPerSecond) << std::endl;
}

void TTransferNote::End() {
  if (!shown_ || what_.empty()) return;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::cerr << TransferEndText(what_, linkBytes_, seconds) << std::endl;
}

bool StderrIsTerminal() {
#if defined(_WIN32)
  // A console, and not just any character device (the C runtime's isatty says yes to NUL).
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
  return isatty(2) != 0;
#endif
}

bool AskingIsPossible() {
#if defined(_WIN32)
  // Consoles both, as above: NUL is a character device too.
  DWORD in = 0, err = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &in) != 0 &&
         GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &err) != 0;
#else
  return isatty(0) != 0 && isatty(2) != 0;
#endif
}

int TerminalColumns() {
#if defined(_WIN32)
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns > 0) return columns;
  }
#else
  winsize size{};
  if (ioctl(2, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
#endif
  if (const char* columns = std::getenv("COLUMNS")) {
    const int n = std::atoi(columns);
    if (n > 0) return n;
  }
  return 80;
}

std::string ByteCount(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  char text[32];
  if (bytes < (1u << 20))
    std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
  else
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
  return text;
}

std::string ProgressFigures(std::uint64_t bytesDone, std::uint64_t bytes, double seconds) {
  std::string text = ByteCount(bytesDone);
  if (bytes > 0) text += " of " + ByteCount(bytes);
  if (seconds > 0.1 && bytesDone > 0) {
    const double rate = static_cast<double>(bytesDone) / seconds;
    text += ", " + ByteCount(static_cast<std::uint64_t>(rate)) + "/s";
    if (bytes > bytesDone)
      text += ", " + ClockTime(static_cast<double>(bytes - bytesDone) / rate) + " left";
  }
  return text;
}

std::string BarLine(const std::string& label, std::size_t sectionsDone, std::size_t sections,
                    std::uint64_t bytesDone, std::uint64_t bytes, double seconds, int columns) {
  std::size_t filled = 0;
  if (bytes > 0)
    filled = static_cast<std::size_t>(std::min(bytesDone, bytes) * kBarWidth / bytes);
  else if (sections > 0)
    filled = std::min(sectionsDone, sections) * kBarWidth / sections;
  std::string line = label + " [" + std::string(filled, '#') +
                     std::string(kBarWidth - filled, ' ') + "] " + std::to_string(sectionsDone) +
                     "/" + std::to_string(sections) + " sections, " +
                     ProgressFigures(bytesDone, bytes, seconds);
  // The last column stays free: a line that fills it wraps on some terminals.
  const auto room = static_cast<std::size_t>(std::max(columns - 1, 1));
  if (line.size() > room) line.resize(room);
  return line;
}

TProgress::TProgress(std::string verb, bool enabled, bool terminal)
    : verb_(std::move(verb)), enabled_(enabled), terminal_(terminal) {}

TProgress::~TProgress() {
  Finish();
}

double TProgress::Seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void TProgress::Phase(const std::string& phase, std::size_t sections, std::uint64_t bytes) {
  phase_ = phase;
  sections_ = sections;
  bytes_ = bytes;
  done_ = 0;
  moved_ = 0;
  start_ = std::chrono::steady_clock::now();
  Draw(true);
}

void TProgress::Update(std::size_t sectionsDone, std::uint64_t bytesDone) {
  done_ = sectionsDone;
  moved_ = bytesDone;
  Draw(done_ >= sections_);
}

void TProgress::Section(const std::string& what) {
  if (!enabled_ || terminal_) return;
  std::cerr << verb_ << " " << done_ << "/" << sections_ << ": " << what << " ("
            << ProgressFigures(moved_, bytes_, Seconds()) << ")\n";
}

void TProgress::Result(const std::string& line) {
  Clear();
  PrintLine(line);
  Draw(true);
}

void TProgress::Note(const std::string& line) {
  Clear();
  std::cerr << line << "\n";
  std::cerr.flush();
  Draw(true);
}

void TProgress::Finish() {
  Clear();
}

void TProgress::Draw(bool force) {
  if (!enabled_ || !terminal_ || sections_ == 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - lastDraw_ < kRedrawEvery) return;
  lastDraw_ = now;
  const std::string label = phase_.empty() ? verb_ : verb_ + " " + phase_;
  const int columns = TerminalColumns();
  const std::string text = BarLine(label, done_, sections_, moved_, bytes_, Seconds(), columns);
  // What the last drawing left beyond this one is blanked, never past the terminal's width.
  const auto room = static_cast<std::size_t>(std::max(columns - 1, 1));
  std::string line = "\r" + text;
  const std::size_t blank = std::min(drawnWidth_, room);
  if (text.size() < blank) line += std::string(blank - text.size(), ' ');
  drawnWidth_ = std::max(text.size(), blank);
  std::cerr << line;
  std::cerr.flush();
}

void TProgress::Clear() {
  if (drawnWidth_ == 0) return;
  const auto room = static_cast<std::size_t>(std::max(TerminalColumns() - 1, 1));
  std::cerr << "\r" << std::string(std::min(drawnWidth_, room), ' ') << "\r";
  std::cerr.flush();
  drawnWidth_ = 0;
}

}  // namespace zub::cli
