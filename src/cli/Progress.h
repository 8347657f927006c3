// Progress of a command that works through many sections, on standard error: on a terminal
// one bar redrawn in place, never wider than the terminal, filled by the bytes moved (with the
// sections done, the bytes, the rate and the time left, all by bytes); otherwise one line per
// section; nothing with --quiet. A result line for standard output goes through Result, which
// takes the bar off its line first and draws it again after, so the two never share a line.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace zub::cli {

// Whether standard error is a terminal.
bool StderrIsTerminal();
// Whether zub may ask its user a question: standard input and standard error are terminals.
bool AskingIsPossible();

// The terminal's width in columns: standard error's window size, else COLUMNS, else 80.
int TerminalColumns();

// "1.5 KiB", "12.0 MiB"; below 1 KiB the bytes themselves.
std::string ByteCount(std::uint64_t bytes);

// "0:07", "12:34": seconds as minutes and seconds.
std::string ClockTime(double seconds);

// "4.2 s, 5.1 KiB/s" (from a minute on "1:02, ..."): how long a run took and its average
// rate (no rate without bytes).
std::string ElapsedText(std::uint64_t bytes, double seconds);

// A single read or write on a terminal, before it starts: "reading 2-9: 30020 bytes, about
// 0:03 at 115200 bit/s"; `linkBytes` are the bytes the link carries (a checked write moves
// its bytes twice).
std::string TransferStartText(const std::string& what, std::uint64_t bytes, std::uint64_t linkBytes,
                              std::uint32_t bitsPerSecond);
// ... and after it: "reading 2-9: done in 2.1 s, 14.6 KiB/s".
std::string TransferEndText(const std::string& what, std::uint64_t linkBytes, double seconds);

// The figures of the work done so far: "1.5 KiB of 80.0 KiB, 11.2 KiB/s, 0:07 left" (the rate
// and the time left once a tenth of a second has passed and bytes have moved).
std::string ProgressFigures(std::uint64_t bytesDone, std::uint64_t bytes, double seconds);

// One drawing of the bar: "backup [#####     ] 12/47 sections, <figures>", the bar filled
// by bytes (by sections when the phase moves none), cut to `columns` - 1 characters so that
// the terminal never wraps it.
std::string BarLine(const std::string& label, std::size_t sectionsDone, std::size_t sections,
                    std::uint64_t bytesDone, std::uint64_t bytes, double seconds, int columns);

// One section's read or write told on a terminal (standard error, not --quiet): the start
// line when it begins, the end line when it is done; nothing otherwise.
class TTransferNote {
 public:
  explicit TTransferNote(bool shown) : shown_(shown) {}
  void Begin(const std::string& what, std::uint64_t bytes, std::uint64_t linkBytes,
             std::uint32_t bitsPerSecond);
  void End();

 private:
  bool shown_;
  std::string what_;
  std::uint64_t linkBytes_ = 0;
  std::chrono::steady_clock::time_point start_{};
};

class TProgress {
 public:
  TProgress(std::string verb, bool enabled, bool terminal);
  ~TProgress();
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;

  // A phase of the work begins (`phase` is added to the verb on the bar, e.g. "reading").
  void Phase(const std::string& phase, std::size_t sections, std::uint64_t bytes);
  // The work done so far in the phase; the bar is redrawn at most every tenth of a second.
  void Update(std::size_t sectionsDone, std::uint64_t bytesDone);
  // One section finished: off a terminal its line "verb n/N: what (figures)".
  void Section(const std::string& what);
  // A result line on standard output, kept off the bar's line.
  void Result(const std::string& line);
  // A line on standard error whatever the mode (an error).
  void Note(const std::string& line);
  // Takes the bar off its line; done by the destructor too.
  void Finish();

 private:
  double Seconds() const;
  void Draw(bool force);
  void Clear();

  std::string verb_, phase_;
  bool enabled_, terminal_;
  std::size_t sections_ = 0, done_ = 0;
  std::uint64_t bytes_ = 0, moved_ = 0;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point lastDraw_{};
  std::size_t drawnWidth_ = 0;
};

}  // namespace zub::cli
