// A program started with its standard descriptors closed (`zub list <&- >&-` in a shell) opens
// /dev/null in their place before anything else: its output goes nowhere, and never into the
// pipe of gbp-host.exe or a file it opened. Run through a real shell, with the simulator in
// the process and the Windows simulator through the host under Wine (skipped without Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/StdDescriptors.h"
#include "core/device/DeviceTestSupport.h"
#include "support/TestFiles.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zub {
namespace {

namespace fs = std::filesystem;

using test::ReadText;

// In a child started with some of 0, 1 and 2 closed: each closed one leads to /dev/null
// afterwards, an open one is left as it is, and the next file opened is not on 0, 1 or 2.
TEST(StdDescriptors, ClosedOnesAreOpenedOnDevNull) {
  const fs::path dir = test::FreshTestDir();
  struct TRow {
    const char* name;
    std::vector<int> closed;
  };
  const TRow rows[] = {
      {"input and output", {0, 1}}, {"error", {2}}, {"all three", {0, 1, 2}}, {"none", {}}};
  int n = 0;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path report = dir / ("report-" + std::to_string(n++) + ".txt");
    const int reportFd = ::open(report.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int kept = ::open("/dev/zero", O_RDONLY);  // stands for an open descriptor
    const pid_t child = ::fork();
    if (child == 0) {
      for (int fd = 0; fd <= 2; ++fd) ::dup2(kept, fd);
      for (int fd : row.closed) ::close(fd);
      EnsureStandardDescriptors();
      std::string out;
      for (int fd = 0; fd <= 2; ++fd) {
        char target[64] = {};
        const ssize_t len =
            ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
        out += std::string(target, len > 0 ? static_cast<std::size_t>(len) : 0) + "\n";
      }
      out += ::open("/dev/null", O_RDONLY) > 2 ? "next above 2\n" : "next on 0-2\n";
      [[maybe_unused]] auto w = ::write(reportFd, out.data(), out.size());
      ::_exit(0);
    }
    ::close(kept);
    ::close(reportFd);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::string expected;
    for (int fd = 0; fd <= 2; ++fd)
      expected +=
          std::count(row.closed.begin(), row.closed.end(), fd) ? "/dev/null\n" : "/dev/zero\n";
    EXPECT_EQ(ReadText(report), expected + "next above 2\n");
  }
}

TEST(StdDescriptors, ZubWithClosedDescriptorsListsIntoNothing) {
  struct TRow {
    const char* name;
    bool hosted;
    const char* closing;
  };
  const TRow rows[] = {
      {"in-process, input and output closed", false, "<&- >&-"},
      {"through the host, input and output closed", true, "<&- >&-"},
      {"through the host, all three closed", true, "<&- >&- 2>&-"},
  };
  const std::string wineSkip = test::UseTestWinePrefix();
  int n = 0;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.hosted && !wineSkip.empty()) {
      std::printf("skipped: %s (%s)\n", row.name, wineSkip.c_str());
      continue;
    }
    const fs::path home = test::FreshTestDir("-" + std::to_string(n++));
    const fs::path bin(ZUB_BIN_DIR);
    for (const char* file : {"zubmanager.INI", "SECTIONS.INI"})
      fs::copy_file(fs::path(ZUB_DATA_DIR) / file, home / file);
    ASSERT_EQ(std::system(
                  ("'" + (bin / "zub-demo-phone").string() + "' '" + home.string() + "' >/dev/null")
                      .c_str()),
              0);
    if (row.hosted) {
      fs::create_directories(home / "win32");
      fs::copy_file(test::Win32File("gbp.dll"), home / "gbp.dll");
      fs::copy_file(test::Win32File("gbp-host.exe"), home / "win32" / "gbp-host.exe");
    } else {
      fs::copy_file(bin / "gbp.dll", home / "gbp.dll");
    }
    const std::string settings = ReadText(home / "zubmanager.INI");
    const std::string line = "cd '" + home.string() + "' && XDG_STATE_HOME='" + home.string() +
                             "/state' '" + (bin / "zub").string() + "' --home . list " +
                             row.closing + "; echo $? > status.txt";
    ASSERT_EQ(std::system(("sh -c \"" + line + "\" 2>" + (home / "stderr.txt").string()).c_str()),
              0);
    EXPECT_EQ(ReadText(home / "status.txt"), "0\n") << ReadText(home / "stderr.txt");
    EXPECT_EQ(ReadText(home / "stderr.txt"), "");
    EXPECT_EQ(ReadText(home / "zubmanager.INI"), settings);
    // The host read requests only: a table in its pipe would have been a malformed request.
    if (row.hosted) {
      const std::string log = ReadText(home / "state" / "zubmanager3" / "host.log");
      EXPECT_EQ(log.find("gbp-host:"), std::string::npos) << log;
    }
  }
}

}  // namespace
}  // namespace zub
