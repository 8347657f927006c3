#include "Progress.h"

#include <algorithm>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zub::cli {
namespace {

constexpr std::size_t kBarWidth = 20;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string Minutes(double seconds) {
  const auto s = static_cast<long long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

}  // namespace

bool StderrIsTerminal() {
#if defined(_WIN32)
  return _isatty(2) != 0;
#else
  return isatty(2) != 0;
#endif
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

TProgress::TProgress(std::ostream& out, std::string verb, bool enabled, bool terminal)
    : out_(out), verb_(std::move(verb)), enabled_(enabled), terminal_(terminal) {}

TProgress::~TProgress() {
  Finish();
}

void TProgress::Begin(std::size_t sections, std::uint64_t bytes) {
  sections_ = sections;
  bytes_ = bytes;
  done_ = 0;
  moved_ = 0;
  start_ = std::chrono::steady_clock::now();
  if (enabled_ && terminal_) DrawBar();
}

std::string TProgress::Figures() const {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string text = ByteCount(moved_);
  if (seconds > 0.05 && moved_ > 0) {
    const double rate = static_cast<double>(moved_) / seconds;
    text += ", " + ByteCount(static_cast<std::uint64_t>(rate)) + "/s";
    if (bytes_ > moved_)
      text += ", " + Minutes(static_cast<double>(bytes_ - moved_) / rate) + " left";
  }
  return text;
}

void TProgress::Done(const std::string& address, std::uint64_t moved, const std::string& what) {
  ++done_;
  moved_ += moved;
  if (!enabled_) return;
  const std::string count = std::to_string(done_) + "/" + std::to_string(sections_);
  if (!terminal_) {
    out_ << verb_ << " " << count << ": " << address << " " << what << " (" << Figures() << ")\n";
    return;
  }
  if (done_ < sections_ && std::chrono::steady_clock::now() - lastDraw_ < kRedrawEvery) return;
  DrawBar();
}

void TProgress::DrawBar() {
  lastDraw_ = std::chrono::steady_clock::now();
  const auto filled = sections_ ? done_ * kBarWidth / sections_ : 0;
  Draw(verb_ + " [" + std::string(filled, '#') + std::string(kBarWidth - filled, ' ') + "] " +
       std::to_string(done_) + "/" + std::to_string(sections_) + " sections, " + Figures());
}

void TProgress::Step(const std::string& label, std::size_t done, std::size_t total) {
  if (!enabled_ || !terminal_) return;
  const auto now = std::chrono::steady_clock::now();
  if (done < total && now - lastDraw_ < kRedrawEvery) return;
  lastDraw_ = now;
  Draw(verb_ + " " + label + " " + std::to_string(done) + "/" + std::to_string(total));
}

void TProgress::Note(const std::string& line) {
  Clear();
  out_ << line << "\n";
  out_.flush();
}

void TProgress::Finish() {
  Clear();
}

void TProgress::Draw(const std::string& text) {
  std::string line = "\r" + text;
  if (text.size() < drawnWidth_) line += std::string(drawnWidth_ - text.size(), ' ');
  drawnWidth_ = text.size();
  out_ << line;
  out_.flush();
}

void TProgress::Clear() {
  if (drawnWidth_ == 0) return;
  out_ << "\r" << std::string(drawnWidth_, ' ') << "\r";
  out_.flush();
  drawnWidth_ = 0;
}

}  // namespace zub::cli
