// Progress of a command that works through many sections, on standard error: on a terminal
// one bar redrawn in place (sections done, bytes, bytes per second, time left), otherwise one
// line per section; nothing with --quiet. Messages printed while a bar shows go through Note,
// which keeps them off the bar's line.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace zub::cli {

// Whether standard error is a terminal.
bool StderrIsTerminal();

// "1.5 KiB", "12.0 MiB"; below 1 KiB the bytes themselves.
std::string ByteCount(std::uint64_t bytes);

class TProgress {
 public:
  TProgress(std::ostream& out, std::string verb, bool enabled, bool terminal);
  ~TProgress();
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  // The work ahead: sections and the bytes they will move over the link.
  void Begin(std::size_t sections, std::uint64_t bytes);
  // One section done; `moved` bytes went over the link for it; `what` says how it ended.
  void Done(const std::string& address, std::uint64_t moved, const std::string& what);
  // A step of a long walk that moves no data (the probe of every section): bar only.
  void Step(const std::string& label, std::size_t done, std::size_t total);
  // A line for standard error whatever the mode (an error, a summary).
  void Note(const std::string& line);
  // Takes the bar off its line; done by the destructor too.
  void Finish();

 private:
  std::string Figures() const;
  void DrawBar();
  void Draw(const std::string& text);
  void Clear();

  std::ostream& out_;
  std::string verb_;
  bool enabled_, terminal_;
  std::size_t sections_ = 0, done_ = 0;
  std::uint64_t bytes_ = 0, moved_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point lastDraw_{};
  std::size_t drawnWidth_ = 0;
};

}  // namespace zub::cli
