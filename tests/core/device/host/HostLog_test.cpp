// The host's log: where it lives, and the runs kept at each new start.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#include "core/device/DeviceTestSupport.h"
#include "device/host/HostLog.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

TEST(HostLog, LivesInTheUsersStateFolder) {
  struct TRow {
    std::optional<std::string> xdg, home;
    fs::path log;
  };
#if defined(_WIN32)
  // Windows: the user's local application data; xdg stands for LOCALAPPDATA.
  const char* const kStateVariable = "LOCALAPPDATA";
  const TRow rows[] = {
      {"C:\\Users\\me\\AppData\\Local", {}, "C:/Users/me/AppData/Local/zubmanager3/host.log"},
      {"relative\\is\\ignored", {}, ""},
      {std::nullopt, {}, ""},
  };
#else
  const char* const kStateVariable = "XDG_STATE_HOME";
  const TRow rows[] = {
      {"/state/me", "/home/me", "/state/me/zubmanager3/host.log"},
      {"relative/is/ignored", "/home/me", "/home/me/.local/state/zubmanager3/host.log"},
      {std::nullopt, "/home/me", "/home/me/.local/state/zubmanager3/host.log"},
      {std::nullopt, std::nullopt, ""},
  };
#endif
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.log.string());
    const test::TScopedEnv state(kStateVariable, row.xdg), home("HOME", row.home);
    EXPECT_EQ(HostLogPath(), row.log);
  }
}

// Each start moves the logs one place up and drops the oldest beyond three.
TEST(HostLog, EachStartKeepsTheThreeRunsBefore) {
  using TFiles = std::map<std::string, std::string>;  // name -> content
  struct TRow {
    const char* name;
    TFiles before, after;
  };
  const TRow rows[] = {
      {"first start", {}, {}},
      {"second start", {{"host.log", "a"}}, {{"host.log.1", "a"}}},
      {"a full set",
       {{"host.log", "a"}, {"host.log.1", "b"}, {"host.log.2", "c"}, {"host.log.3", "d"}},
       {{"host.log.1", "a"}, {"host.log.2", "b"}, {"host.log.3", "c"}}},
      {"a gap",
       {{"host.log", "a"}, {"host.log.2", "c"}},
       {{"host.log.1", "a"}, {"host.log.3", "c"}}},
  };
  int n = 0;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path dir = test::FreshTestDir("-" + std::to_string(n++)) / "state" / "zubmanager3";
    // A first start finds no folder; the others have one.
    if (!row.before.empty()) {
      fs::create_directories(dir);
      for (const auto& [name, text] : row.before) std::ofstream(dir / name) << text;
    }
    EXPECT_TRUE(RotateLog(dir / "host.log"));
    TFiles after;
    for (const auto& entry : fs::directory_iterator(dir)) {
      std::ifstream in(entry.path());
      after[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_EQ(after, row.after);
  }
}

}  // namespace
}  // namespace zub
