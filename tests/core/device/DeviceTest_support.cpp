#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/device/DeviceTestSupport.h"

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace zub::test {

namespace fs = std::filesystem;

namespace {

// The entry point under any of its export names (the fakes built for Windows carry MinGW's).
template <typename Fn>
Fn Entry(const TDeviceLibrary& library, int index) {
  void* found = nullptr;
  gbp::kEntryNames[index].ForEach([&](const char* name) {
    if (!found) found = library.Symbol(name);
  });
  return reinterpret_cast<Fn>(found);
}

}  // namespace

bool TGbpEntries::Resolve(const TDeviceLibrary& library) {
  Init = Entry<gbp::InitGBPModeFn>(library, 0);
  End = Entry<gbp::EndGBPModeFn>(library, 1);
  Read = Entry<gbp::ReadNVMFileFn>(library, 2);
  Write = Entry<gbp::WriteNVMFileFn>(library, 3);
  Clear = Entry<gbp::ClearNVMFileFn>(library, 4);
  Size = Entry<gbp::GetNVMFileSizeFn>(library, 5);
  return Init && End && Read && Write && Clear && Size;
}

fs::path FakeDir(const std::string& name) {
  // A copy of this process's own: test programs running side by side never share a library
  // file, whose port the device component locks while a connection is open.
  struct TCopies {
    fs::path root =
        fs::path(ZUB_TEST_TMP) / "fake-libs" / std::to_string(static_cast<long>(::getpid()));
    TCopies() { fs::remove_all(root); }  // left by an earlier process of the same number
    ~TCopies() {
      std::error_code ec;
      fs::remove_all(root, ec);
    }
  };
  static const TCopies copies;
  const fs::path dir = copies.root / name;
  if (!fs::exists(dir)) {
    fs::remove_all(dir.string() + ".part");
    fs::create_directories(dir.string() + ".part");
    for (const auto& entry : fs::directory_iterator(fs::path(ZUB_FAKE_LIB_ROOT) / name))
      fs::copy_file(entry.path(), fs::path(dir.string() + ".part") / entry.path().filename());
    fs::rename(dir.string() + ".part", dir);
  }
  return dir;
}

TFakeControl::TFakeControl(const fs::path& dir, const std::string& fileName) {
  library_.Load(fileName, dir);
}

void TFakeControl::Reset() const {
  Get<void (*)()>("FakeReset")();
}
void TFakeControl::SetResult(const char* entry, std::int32_t result) const {
  Get<void (*)(const char*, std::int32_t)>("FakeSetResult")(entry, result);
}
void TFakeControl::SetLosing(bool losing) const {
  Get<void (*)(int)>("FakeSetLosing")(losing ? 1 : 0);
}
int TFakeControl::CallCount(const char* entry) const {
  return Get<int (*)(const char*)>("FakeCallCount")(entry);
}
int TFakeControl::LastPort() const {
  return Get<int (*)()>("FakeLastPort")();
}
int TFakeControl::LastSection() const {
  return Get<int (*)()>("FakeLastSection")();
}
int TFakeControl::LastSubSection() const {
  return Get<int (*)()>("FakeLastSubSection")();
}
std::int64_t TFakeControl::LastLength() const {
  return Get<std::int64_t (*)()>("FakeLastLength")();
}
bool TFakeControl::IsOpen() const {
  return Get<int (*)()>("FakeIsOpen")() != 0;
}
std::string TFakeControl::Name() const {
  return Get<const char* (*)()>("FakeName")();
}

fs::path FreshTestDir(const std::string& suffix) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
  name += suffix;
  std::replace(name.begin(), name.end(), '/', '_');
  const fs::path dir = fs::path(ZUB_TEST_TMP) / "device" / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TSimPhone::TSimPhone(const std::string& libraryName, const std::string& suffix)
    : dir_(FreshTestDir(suffix)), libraryName_(libraryName) {
  fs::copy_file(fs::path(ZUB_BIN_DIR) / libraryName, dir_ / libraryName);
}

void TSimPhone::WriteIni(const std::string& text) const {
  std::ofstream(dir_ / "gbp-sim.ini", std::ios::binary | std::ios::trunc) << text;
}

bool TSimPhone::Load() {
  return library_.Load(libraryName_, dir_) && api_.Resolve(library_);
}

fs::path TSimPhone::SectionFile(int section, int subSection, const std::string& folder) const {
  return dir_ / folder / (std::to_string(section) + "-" + std::to_string(subSection) + ".bin");
}

std::optional<std::vector<unsigned char>> TSimPhone::SectionBytes(int section, int subSection,
                                                                  const std::string& folder) const {
  std::ifstream in(SectionFile(section, subSection, folder), std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
}

void TSimPhone::PutSection(int section, int subSection, const std::vector<unsigned char>& bytes,
                           const std::string& folder) const {
  fs::create_directories(dir_ / folder);
  std::ofstream out(SectionFile(section, subSection, folder), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> TSimPhone::FolderEntries(const std::string& folder) const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir_ / folder, ec)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

void SetEnv(const char* name, const std::optional<std::string>& value) {
#if defined(_WIN32)
  // An empty value removes the variable.
  ::_putenv_s(name, value ? value->c_str() : "");
#else
  if (value)
    ::setenv(name, value->c_str(), 1);
  else
    ::unsetenv(name);
#endif
}

}  // namespace

TScopedEnv::TScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  SetEnv(name, value);
}

TScopedEnv::~TScopedEnv() {
  SetEnv(name_, old_);
}

bool ProcessGone(long pid) {
#if defined(_WIN32)
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!process) return true;
  const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
#else
  return ::kill(static_cast<pid_t>(pid), 0) != 0;
#endif
}

#if !defined(_WIN32)
TPty::TPty() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
    if (const char* name = ::ptsname(master_)) device_ = name;
}

TPty::~TPty() {
  if (master_ >= 0) ::close(master_);
}
#endif

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::vector<unsigned char> Pattern(std::size_t size, unsigned seed) {
  std::vector<unsigned char> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i + seed) % 251);
  return bytes;
}

double host::Millis(host::Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

host::Bytes host::ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace zub::test
