// The device side of zub: the core object over the settings of the home folder, with the port
// and cable of this run; the connection guard; Ctrl-C; the exit statuses. zub never writes the
// settings: the window's settings save is never called.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "CliArgs.h"
#include "commands/Interaction.h"
#include "app/Manager.h"

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

// Ctrl-C was pressed; raised between two device calls, so every guard on the way out (the
// connection first) does its work.
class EInterrupted : public std::runtime_error {
 public:
  EInterrupted() : std::runtime_error("stopped by Ctrl-C") {}
};

// The first SIGINT only sets a flag that the commands look at between two device calls; a
// second one ends the program at once.
void InstallInterruptHandler();
bool Interrupted();
void StopIfInterrupted();

// The program's start, for the start-up figure.
void MarkStart();

// The core's user: no dialogs on a command line. Message boxes are kept for the command to
// word into its own sentence; everything else goes nowhere.
class TCliUI : public IInteraction {
 public:
  void Status(const std::string&) override {}
  void MessageBox(const std::string& caption, const std::string& text) override;
  bool Confirm(const std::string&, const std::string&) override { return false; }
  std::optional<std::string> OpenFile(const std::string&) override { return std::nullopt; }
  std::optional<std::string> SaveFile() override { return std::nullopt; }
  int ShowModal(TFormId) override { return mrCancel; }
  bool Launch(const std::string&) override { return false; }
  void ShowException(const std::string& text) override { MessageBox("ERROR", text); }
  void RepaintGrid() override {}
  void ControlsChanged() override {}

  // The texts shown since the last call, joined by "; ".
  std::string TakeMessages();

 private:
  std::vector<std::string> messages_;
};

// With ZUB_BENCH set in the environment: counts the device calls and the bytes they move, and
// notes when the first call happened.
class TCallCounter : public INVMObserver {
 public:
  void OnLibraryLoad(const std::string&, bool) override {}
  void OnLibraryCall(std::string_view entry, const std::vector<std::int64_t>& args, bool hasResult,
                     std::int32_t result) override;
  void Print(std::ostream& out) const;

 private:
  std::map<std::string, int, std::less<>> calls_;
  std::uint64_t bytesRead_ = 0, bytesWritten_ = 0;
  std::optional<double> firstCallMs_;
};

class TCliSession {
 public:
  // Loads the settings and catalogue of the home folder and the device library for the cable
  // of this run. Raises ECommandFailed (kExitUnreachable) when the library cannot be used.
  explicit TCliSession(const TCliArgs& args);
  ~TCliSession();

  TManager& Core() { return *core_; }
  TNVMSection& NVM() { return *core_->NVM; }
  TCliUI& UI() { return ui_; }
  int Port() const;  // 1..4
  bool ServiceCable() const;
  std::string LinkText() const;  // "COM1, data cable (gbp.dll)"

 private:
  TCliUI ui_;
  std::unique_ptr<TCallCounter> counter_;
  std::unique_ptr<TManager> core_;
};

// The connection for the length of a command: EndGBP always follows, whatever ends the
// command. Raises ECommandFailed (kExitUnreachable) with the library's message when InitGBP
// fails.
class TConnection {
 public:
  explicit TConnection(TCliSession& session);
  ~TConnection();
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

 private:
  TCliSession& session_;
};

}  // namespace zub::cli
