// The Windows simulator's FailCall faults that end the process, served by gbp-host.exe under
// Wine: the host dies in the middle of the call, after the call's work. Skipped when the cross
// compiler or Wine is missing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/device/DeviceTestSupport.h"
#include "device/host/HostChannel.h"
#include "device/host/WineHost.h"

namespace zub::test::host {
namespace {

TEST(SimulatorHostTest, ADyingCallEndsTheHostAfterItsWork) {
  if (const std::string skip = UseTestWinePrefix(); !skip.empty()) GTEST_SKIP() << skip;
  const fs::path prefix = std::getenv("WINEPREFIX");
  for (const char* kind : {"die", "kill-tool"}) {
    SCOPED_TRACE(kind);
    const fs::path dir = FreshTestDir(std::string(".") + kind);
    fs::copy_file(Win32File("gbp.dll"), dir / "gbp.dll");
    std::ofstream(dir / "gbp-sim.ini") << "[Faults]\nFailCall=3:" << kind << "\n";
    std::string error;
    const auto command =
        MakeWineHostCommand(Win32File("gbp-host.exe"), dir / "gbp.dll", {prefix, {}}, error);
    ASSERT_TRUE(command) << error;
    THostChannel channel;
    ASSERT_TRUE(channel.Start(*command, &error)) << error;

    ASSERT_EQ(channel.InitGBPMode(1), 0);
    EXPECT_EQ(channel.WriteNVMFile(2, 1, "first", 5), 5);
    EXPECT_EQ(channel.WriteNVMFile(2, 1, "second!", 7), THostChannel::kCommError);
    EXPECT_FALSE(channel.Running());
    EXPECT_EQ(ReadBytes(dir / "phone" / "2-1.bin"), Bytes({'s', 'e', 'c', 'o', 'n', 'd', '!'}));

    // A fresh host loads the library anew: its count starts again, and its third call, a
    // clear, is done before the host dies.
    ASSERT_TRUE(channel.EnsureRunning(&error)) << error;
    ASSERT_EQ(channel.InitGBPMode(1), 0);
    EXPECT_EQ(channel.GetNVMFileSize(2, 1), 7);
    EXPECT_EQ(channel.ClearNVMFile(2, 1), THostChannel::kCommError);
    EXPECT_FALSE(channel.Running());
    EXPECT_FALSE(fs::exists(dir / "phone" / "2-1.bin"));
  }
}

}  // namespace
}  // namespace zub::test::host
