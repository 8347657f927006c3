#include "CliSession.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "Progress.h"
#include "base/FileIO.h"
#include "base/InstallPaths.h"
#include "commands/Messages.h"
#include "device/DeviceLibrary.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h names its message box function through a macro; TCliUI has one of its own.
#undef MessageBox
#endif

namespace zub::cli {
namespace {

void CheckOutput() {
  std::cout.flush();
  if (!std::cout) throw ECommandFailed(kExitFailed, "standard output could not be written");
}

}  // namespace

void PrintLine(const std::string& line) {
  std::cout << line << '\n';
  CheckOutput();
}

void PrintBytes(Bytes data) {
  std::cout.write(reinterpret_cast<const char*>(data.data()),
                  static_cast<std::streamsize>(data.size()));
  CheckOutput();
}

void TCliUI::MessageBox(const std::string&, const std::string& text) {
  std::string line = text;
  std::replace(line.begin(), line.end(), '\n', ' ');
  std::cerr << "zub: " << line << "\n";
}

void TCliUI::Waiting(const std::string& text) {
  // Like the progress bar, for the user at the terminal only: a script's log stays as it was.
  if (StderrIsTerminal()) std::cerr << "zub: " << text << std::endl;
}

std::string CallLine(std::string_view entry, const std::vector<std::int64_t>& args, bool hasResult,
                     std::int32_t result, std::chrono::steady_clock::duration took) {
  char ms[32];
  std::snprintf(ms, sizeof ms, " (%.2f ms)",
                std::chrono::duration<double, std::milli>(took).count());
  return "call: " + FormatLibraryCall(entry, args, hasResult, result) + ms;
}

bool TCliUI::Confirm(const std::string&, const std::string& text) {
  if (!AskingIsPossible()) return false;
  std::cerr << text << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    std::cerr << "\n";
    return false;
  }
  const auto first = answer.find_first_not_of(" \t");
  return first != std::string::npos && (answer[first] == 'y' || answer[first] == 'Y');
}

void TCliSession::TCallObserver::OnLibraryCall(std::string_view entry,
                                               const std::vector<std::int64_t>& args,
                                               bool hasResult, std::int32_t result) {
  if (!Runner) return;
  const std::string line = CallLine(entry, args, hasResult, result, Runner->LastCallTime());
  if (ToStderr) std::cerr << line << std::endl;
  // Each line flushed: a run that is killed leaves every call it made in the log.
  if (Log) *Log << line << std::endl;
}

TCliSession::TCliSession(const TCliArgs& args) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path home = args.Home.empty() ? fs::path() : fs::absolute(PathFromUtf8(args.Home), ec);
  if (!args.Home.empty() && (ec || !fs::is_directory(home, ec)))
    throw ECommandFailed(kExitUsage, "the home folder " + args.Home + " does not exist");
  const TInstallPaths paths = ResolvePaths(TPathQuery::ForProcess(ExecutablePath(), home));
  if (const std::string problem = InstallDefaults(paths); !problem.empty())
    std::cerr << "zub: " << problem << "\n";
  TManagerOptions options;
  options.HomeDir = paths.HomeDir;
  options.SettingsPath = paths.SettingsPath;
  options.HistoryDir = paths.HistoryDir;
  options.LibraryDirs = paths.LibraryDirs;
  options.DeviceMessagesAsBoxes = false;
  if (!args.Log.empty()) {
    // Opened before the device library is loaded: an empty log is a run without a call.
    auto log = std::make_unique<std::ofstream>(args.Log, std::ios::trunc);
    if (!*log) throw ECommandFailed(kExitUsage, "cannot write the log file " + args.Log);
    log_ = std::move(log);
    observer_.Log = log_.get();
  }
  options.Observer = &observer_;
  core_ = std::make_unique<TManager>(ui_, options);
  runner_ = std::make_unique<TWatchedCallRunner>(*core_->NVM);
  core_->NVM->SetCallRunner(runner_.get());
  verbose_ = args.Verbose;
  if (verbose_ || log_) observer_.Runner = runner_.get();
  observer_.ToStderr = verbose_;
  if (verbose_) {
    // The host's and Wine's own messages come with the calls instead of going to host.log.
    core_->NVM->SetHostLogToStderr(true);
  }
  // The port, the cable and the catalogue, as the window's first show loads them; then this
  // run's choice, which the settings never see.
  core_->SettingsLoad();
  core_->SelectLink(args.Port.value_or(Port()), args.ServiceCable || ServiceCable());
  // Listing or pruning the history reads only this machine's files: no library needed.
  const bool needsDevice = args.Command != TCliCommand::History || args.RestoreVersion;
  if (!needsDevice) return;
  if (!core_->NVM->Loaded()) {
    std::string folders;
    for (const auto& dir : paths.LibraryDirs)
      folders += (folders.empty() ? "" : ", ") + dir.string();
    throw ECommandFailed(kExitUnreachable, "cannot reach the telephone: Unable to open " +
                                               core_->NVM->LibraryFileName() + " (looked in " +
                                               folders + ")");
  }
  // A Windows library's host gets ready while the command prepares its work.
  core_->NVM->StartHostEarly();
}

TCliSession::~TCliSession() = default;

int TCliSession::Port() const {
  return static_cast<int>(core_->NVM->COMPort()) + 1;
}

bool TCliSession::ServiceCable() const {
  return core_->NVM->CTEMode();
}

std::string TCliSession::LinkText() const {
  return "COM" + std::to_string(Port()) + ", " +
         (ServiceCable() ? "service cable (" : "data cable (") + core_->NVM->LibraryFileName() +
         ")";
}

bool TCliSession::BarOnTerminal() const {
  return StderrIsTerminal() && !verbose_;
}

void TCliSession::Fail(const TStepError& e, const std::string& context,
                       const std::string& check) const {
  std::string text = e.Text;
  if (e.ContentUnknown())
    text = LostWhileChangingSentence(
        e.Lost.Address, e.Lost.What == TDeviceActivity::Erasing,
        check.empty() ? "zub read " + e.Lost.Address.Text() + " FILE" : check);
  if (e.Kind == TFailureKind::Unreachable)
    text = "cannot reach the telephone on " + LinkText() + ": " + text;
  else if (!context.empty())
    text = context + ": " + text;
  // After Ctrl-C a failure is the stop's: a call cut short, a host ended by the second one.
  if (e.Kind == TFailureKind::Stopped) throw EInterrupted();
  if (StopFlag().load()) throw EInterrupted(text);
  throw ECommandFailed(e.Kind == TFailureKind::Unreachable ? kExitUnreachable : kExitFailed, text);
}

}  // namespace zub::cli
