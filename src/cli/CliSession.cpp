#include "CliSession.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "base/InstallPaths.h"
#include "device/DeviceLibrary.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace zub::cli {
namespace {

// Lock-free, so the signal handler may set it.
std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);
std::chrono::steady_clock::time_point gStart = std::chrono::steady_clock::now();

extern "C" void OnInterrupt(int) {
  gStop.store(true);
  std::signal(SIGINT, SIG_DFL);
}

void CheckOutput() {
  std::cout.flush();
  if (!std::cout) throw ECommandFailed(kExitFailed, "standard output could not be written");
}

}  // namespace

void InstallInterruptHandler() {
  std::signal(SIGINT, OnInterrupt);
}

const std::atomic<bool>& StopFlag() {
  return gStop;
}

void MarkStart() {
  gStart = std::chrono::steady_clock::now();
}

void PrintLine(const std::string& line) {
  std::cout << line << '\n';
  CheckOutput();
}

void PrintBytes(Bytes data) {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::cout.write(reinterpret_cast<const char*>(data.data()),
                  static_cast<std::streamsize>(data.size()));
  CheckOutput();
}

void TCliUI::MessageBox(const std::string&, const std::string& text) {
  std::string line = text;
  std::replace(line.begin(), line.end(), '\n', ' ');
  std::cerr << "zub: " << line << "\n";
}

void TCallCounter::OnLibraryCall(std::string_view entry, const std::vector<std::int64_t>& args,
                                 bool, std::int32_t result) {
  if (!firstCallMs_) {
    firstCallMs_ =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - gStart)
            .count();
  }
  ++calls_[std::string(entry)];
  if (entry == "ReadNVMFile" && result > 0 && args.size() == 3)
    bytesRead_ += std::min<std::uint64_t>(static_cast<std::uint64_t>(result),
                                          static_cast<std::uint64_t>(args[2]));
  if (entry == "WriteNVMFile" && args.size() == 3)
    bytesWritten_ += static_cast<std::uint64_t>(args[2]);
}

void TCallCounter::Print(std::ostream& out) const {
  char first[32] = "none";
  if (firstCallMs_) std::snprintf(first, sizeof first, "%.2f ms", *firstCallMs_);
  out << "zub-bench: first device call " << first << " after start; calls:";
  for (const char* entry : {"InitGBPMode", "GetNVMFileSize", "ReadNVMFile", "WriteNVMFile",
                            "ClearNVMFile", "EndGBPMode"}) {
    const auto it = calls_.find(entry);
    out << " " << entry << "=" << (it == calls_.end() ? 0 : it->second);
  }
  out << "; bytes read " << bytesRead_ << ", written " << bytesWritten_ << "\n";
}

TCliSession::TCliSession(const TCliArgs& args) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path home = args.Home.empty() ? fs::path() : fs::absolute(args.Home, ec);
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
  if (std::getenv("ZUB_BENCH")) {
    counter_ = std::make_unique<TCallCounter>();
    options.Observer = counter_.get();
  }
  core_ = std::make_unique<TManager>(ui_, options);
  // The port, the cable and the catalogue, as the window's first show loads them; then this
  // run's choice, which the settings never see.
  core_->SettingsLoad();
  core_->SelectLink(args.Port.value_or(Port()), args.ServiceCable || ServiceCable());
  if (!core_->NVM->Loaded()) {
    std::string folders;
    for (const auto& dir : paths.LibraryDirs)
      folders += (folders.empty() ? "" : ", ") + dir.string();
    throw ECommandFailed(kExitUnreachable, "cannot reach the telephone: Unable to open " +
                                               core_->NVM->LibraryFileName() + " (looked in " +
                                               folders + ")");
  }
}

TCliSession::~TCliSession() {
  if (counter_) counter_->Print(std::cerr);
}

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

void TCliSession::Fail(const TStepError& e, const std::string& context) const {
  switch (e.Kind) {
    case TFailureKind::Stopped:
      throw EInterrupted();
    case TFailureKind::Unreachable:
      throw ECommandFailed(kExitUnreachable,
                           "cannot reach the telephone on " + LinkText() + ": " + e.Text);
    default:
      throw ECommandFailed(kExitFailed, context.empty() ? e.Text : context + ": " + e.Text);
  }
}

}  // namespace zub::cli
