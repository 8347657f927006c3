#include "CliSession.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "device/DeviceLibrary.h"

namespace zub::cli {
namespace {

volatile std::sig_atomic_t gInterrupted = 0;
std::chrono::steady_clock::time_point gStart = std::chrono::steady_clock::now();

extern "C" void OnInterrupt(int) {
  gInterrupted = 1;
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

void InstallInterruptHandler() {
  std::signal(SIGINT, OnInterrupt);
}
bool Interrupted() {
  return gInterrupted != 0;
}
void StopIfInterrupted() {
  if (Interrupted()) throw EInterrupted();
}

void MarkStart() {
  gStart = std::chrono::steady_clock::now();
}

void TCliUI::MessageBox(const std::string&, const std::string& text) {
  std::string line = text;
  std::replace(line.begin(), line.end(), '\n', ' ');
  messages_.push_back(std::move(line));
}

std::string TCliUI::TakeMessages() {
  std::string out;
  for (const auto& m : messages_) out += (out.empty() ? "" : "; ") + m;
  messages_.clear();
  return out;
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
  const fs::path home = args.Home.empty() ? ExecutableDir() : fs::absolute(args.Home, ec);
  if (ec || !fs::is_directory(home, ec))
    throw ECommandFailed(kExitUsage, "the home folder " + args.Home + " does not exist");
  TManagerOptions options;
  options.HomeDir = home;
  options.SettingsPath = home / "zubmanager.INI";
  if (std::getenv("ZUB_BENCH")) {
    counter_ = std::make_unique<TCallCounter>();
    options.Observer = counter_.get();
  }
  core_ = std::make_unique<TManager>(ui_, options);
  // The port, the cable and the catalogue, as the window's first show loads them.
  core_->SettingsLoad();
  if (args.Port) core_->ComboBox1Change(*args.Port - 1);
  if (args.ServiceCable) core_->SetCTECB(true);
  // Only the library finally loaded counts; earlier loads' messages are history.
  ui_.TakeMessages();
  if (!NVM().Loaded())
    throw ECommandFailed(kExitUnreachable, "cannot reach the telephone: Unable to open " +
                                               NVM().LibraryFileName() + " (looked in " +
                                               home.string() + " first)");
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

TConnection::TConnection(TCliSession& session) : session_(session) {
  StopIfInterrupted();
  if (!session_.NVM().InitGBP())
    throw ECommandFailed(kExitUnreachable, "cannot reach the telephone on " + session_.LinkText() +
                                               ": " + session_.UI().TakeMessages());
}

TConnection::~TConnection() {
  session_.NVM().EndGBP();
}

}  // namespace zub::cli
