// The serial devices of the settings ([Device] COMn=) are checked before anything uses them:
// each kind of wrong value gets its sentence, and the opening fails before the library (or
// Wine) is started.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/device/DeviceTestSupport.h"
#include "device/ComDevice.h"
#include "device/NVMSection.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

TEST(ComDevice, EachWrongValueIsNamedWithWhatIsWrong) {
  const fs::path dir = test::FreshTestDir();
  std::ofstream(dir / "file") << "x";
  const test::TPty pty;
  ASSERT_FALSE(pty.Device().empty());
  struct TRow {
    std::string value;
    std::string problem;  // what follows "The setting [Device] COM2=<value>"; empty: usable
  };
  const std::string comment =
      " names no device: the value seems to carry a comment, and everything after '=' belongs "
      "to the path. Put the comment on a line of its own.";
  const std::string notADevice =
      " is not a character device; a serial port is one (e.g. /dev/ttyACM0).";
  const TRow rows[] = {
      {"", ""},
      {"/dev/null", ""},
      {pty.Device(), ""},
      {"ttyACM0",
       " is not an absolute path: give the serial device's whole path, e.g. /dev/ttyACM0."},
      {"/dev/ttyZUB-none",
       " names no device: plug the cable in, or correct the path (ls -l /dev/serial/by-id/ lists "
       "the serial devices)."},
      {pty.Device() + " ; the data cable", comment},
      {pty.Device() + "\t;cable", comment},
      {(dir / "file").string(), notADevice},
      {dir.string(), notADevice},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.value);
    const std::string problem = ComDeviceProblem(2, row.value);
    EXPECT_EQ(problem,
              row.problem.empty() ? "" : "The setting [Device] COM2=" + row.value + row.problem);
  }
  EXPECT_EQ(UsableComDevices({"/dev/null", "relative", pty.Device(), (dir / "file").string()}),
            (std::array<std::string, 4>{"/dev/null", "", pty.Device(), ""}));
}

// A wrong value for the port in use stops the opening with its one message; the library is
// not called. Wrong values of the other ports do not matter to it.
TEST(ComDevice, AWrongValueStopsTheOpeningBeforeTheLibrary) {
  const fs::path dir = test::FakeDir("fake");
  test::TFakeControl fake(dir, "gbp.dll");
  fake.Reset();
  test::TRecordingOwner owner;
  test::TRecordingObserver observer;
  TNVMSection nvm(owner, dir, &observer);
  nvm.SetComDevices({"", "COM2", "", "/dev/ttyZUB-none"});
  nvm.SetCOMPort(TNVMCOMPortName::cpnCOM2);
  EXPECT_FALSE(nvm.InitGBP());
  EXPECT_EQ(nvm.GetSize(), -1);
  const std::string problem = ComDeviceProblem(2, "COM2");
  EXPECT_EQ(owner.messages,
            (std::vector<std::pair<std::string, std::string>>(2, {"ERROR", problem})));
  EXPECT_EQ(fake.CallCount("InitGBPMode"), 0);
  EXPECT_TRUE(observer.calls.empty());
  nvm.SetCOMPort(TNVMCOMPortName::cpnCOM1);
  EXPECT_TRUE(nvm.InitGBP());
}

}  // namespace
}  // namespace zub
