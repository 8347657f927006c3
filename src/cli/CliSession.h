// The run of one zub command: the core object over the settings of the home folder, with the
// port and cable of this run chosen through the core; Ctrl-C as the runs' stop flag; the exit
// statuses; and standard output written line by line, every write checked. zub never writes
// the settings: the window's settings save is never called.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "CliArgs.h"
#include "Interrupt.h"
#include "app/Manager.h"
#include "commands/Interaction.h"
#include "commands/SectionEngine.h"

namespace zub::cli {

enum TExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,
  kExitUsage = 2,
  kExitUnreachable = 3,
  kExitInterrupted = 130,  // the shell's own number for a program ended by SIGINT
};

// A command that cannot go on: the status to exit with and the sentence for "zub: ...".
class ECommandFailed : public std::runtime_error {
 public:
  ECommandFailed(int status, const std::string& sentence)
      : std::runtime_error(sentence), Status(status) {}
  int Status;
};

// Ctrl-C was pressed; raised after a run stopped between two device calls, its connection
// closed. `sentence`, when not empty, says what the call in flight left behind.
class EInterrupted : public std::runtime_error {
 public:
  explicit EInterrupted(const std::string& sentence = {}) : std::runtime_error(sentence) {}
};

// A result line on standard output, flushed at once; a write that fails ends the command
// (exit status 1), so no result is lost without a word.
void PrintLine(const std::string& line);
// Standard output's bytes as they are (zub read FILE -), flushed and checked the same way.
void PrintBytes(Bytes data);

// The core's user: no dialogs on a command line. The commands take their failures from the
// core as values; a box that still comes is written to standard error.
class TCliUI : public IInteraction {
 public:
  void Status(const std::string&) override {}
  // The wait for the Windows device helper is said on standard error, when it is a terminal.
  void Waiting(const std::string& text) override;
  void MessageBox(const std::string& caption, const std::string& text) override;
  // On a terminal (standard input and standard error both): the text and "[y/N]", answered
  // on standard input; yes only for an answer that starts with y. No terminal: no.
  bool Confirm(const std::string& caption, const std::string& text) override;
  std::optional<std::string> OpenFile(const std::string&) override { return std::nullopt; }
  std::optional<std::string> SaveFile() override { return std::nullopt; }
  int ShowModal(TFormId) override { return mrCancel; }
  bool Launch(const std::string&) override { return false; }
  void ShowException(const std::string& text) override { MessageBox("ERROR", text); }
  void RepaintGrid() override {}
  void ControlsChanged() override {}
};

// "call: ReadNVMFile(2,1,6021) -> 6020 (1.25 ms)": a device call as --verbose shows it, the
// driver's call line with the time the call took.
std::string CallLine(std::string_view entry, const std::vector<std::int64_t>& args, bool hasResult,
                     std::int32_t result, std::chrono::steady_clock::duration took);

class TCliSession {
 public:
  // Loads the settings and catalogue of the home folder and the device library for the cable
  // of this run. Raises ECommandFailed (kExitUnreachable) when the library cannot be used.
  explicit TCliSession(const TCliArgs& args);
  ~TCliSession();

  TManager& Core() { return *core_; }
  IInteraction& UI() { return ui_; }
  int Port() const;  // 1..4
  bool ServiceCable() const;
  std::string LinkText() const;  // "COM1, data cable (gbp.dll)"

  // Whether the progress may be drawn as a bar: standard error is a terminal and no call
  // lines (--verbose) go there.
  bool BarOnTerminal() const;

  // Raises what a failed step or run means for zub: EInterrupted for a stop (and for any
  // failure once Ctrl-C was pressed), kExitUnreachable with the component's message for a
  // connection that could not be opened, kExitFailed with `context` + ": " + the error's text
  // otherwise (or the text alone when `context` is empty). A write or an erase whose answer
  // was lost says that the section may or may not have changed, and how to look: `check`
  // ("zub verify DIR"), by default "zub read S-SS FILE".
  [[noreturn]] void Fail(const TStepError& e, const std::string& context = {},
                         const std::string& check = {}) const;

 private:
  // Sees every device call: its line on standard error (--verbose) and in the log (--log).
  class TCallObserver : public INVMObserver {
   public:
    const TWatchedCallRunner* Runner = nullptr;  // the calls' times; null: no call lines
    bool ToStderr = false;
    std::ostream* Log = nullptr;
    void OnLibraryLoad(const std::string&, bool) override {}
    void OnLibraryCall(std::string_view entry, const std::vector<std::int64_t>& args,
                       bool hasResult, std::int32_t result) override;
  };

  // In this order: the device component (in core_) uses the others until it is gone.
  TCliUI ui_;
  std::unique_ptr<std::ostream> log_;
  std::unique_ptr<TWatchedCallRunner> runner_;
  TCallObserver observer_;
  std::unique_ptr<TManager> core_;
  bool verbose_ = false;
};

}  // namespace zub::cli
