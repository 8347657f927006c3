// What every device library behind the loader must do alike: the scripted fake, the
// telephone simulator and the Windows simulator served by gbp-host.exe under Wine (the way the
// device component reaches a Windows library) run the same table of calls and must give the
// same answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/device/DeviceTestSupport.h"
#include "device/host/HostChannel.h"
#include "device/host/WineHost.h"

namespace zub {
namespace {

using test::TGbpEntries;

enum class Op { Init, End, Size, Read, Write, Clear };

struct TStep {
  Op op;
  int a = 0, b = 0;          // port, or section and sub-section
  std::string data;          // bytes to write; for Read the bytes expected back
  std::uint32_t length = 0;  // Read: buffer capacity
  std::int32_t expect = 0;
};

// clang-format off
const TStep kSteps[] = {
    // Closed: everything is refused, ending is harmless.
    {Op::Size, 2, 5, "", 0, -4},
    {Op::Read, 2, 5, "", 16, -4},
    {Op::Write, 2, 5, "x", 0, -4},
    {Op::Clear, 2, 5, "", 0, -4},
    {Op::End, 0, 0, "", 0, 0},
    {Op::Init, 1, 0, "", 0, 0},
    {Op::Init, 1, 0, "", 0, -1},
    // Absent sections.
    {Op::Size, 2, 5, "", 0, gbp::kNoSection},
    {Op::Read, 2, 5, "", 16, gbp::kNoSection},
    {Op::Clear, 2, 5, "", 0, 0},
    // Created, read in part and whole, replaced.
    {Op::Write, 2, 5, "hello world", 0, 11},
    {Op::Size, 2, 5, "", 0, 11},
    {Op::Read, 2, 5, "hello", 5, 5},
    {Op::Read, 2, 5, "hello world", 64, 11},
    {Op::Write, 2, 5, "abc", 0, 3},
    {Op::Size, 2, 5, "", 0, 3},
    {Op::Read, 2, 5, "abc", 64, 3},
    {Op::Size, 5, 2, "", 0, gbp::kNoSection},
    // An empty section exists and has size 0; the extreme addresses work.
    {Op::Write, 0, 0, "", 0, 0},
    {Op::Size, 0, 0, "", 0, 0},
    {Op::Read, 0, 0, "", 8, 0},
    {Op::Write, 255, 255, "z", 0, 1},
    {Op::Size, 255, 255, "", 0, 1},
    // Sections outlive the connection; a cleared one is gone.
    {Op::End, 0, 0, "", 0, 0},
    {Op::Init, 1, 0, "", 0, 0},
    {Op::Size, 2, 5, "", 0, 3},
    {Op::Clear, 2, 5, "", 0, 0},
    {Op::Size, 2, 5, "", 0, gbp::kNoSection},
    {Op::Read, 2, 5, "", 16, gbp::kNoSection},
    {Op::End, 0, 0, "", 0, 0},
    {Op::End, 0, 0, "", 0, 0},
    {Op::Size, 255, 255, "", 0, -4},
};
// clang-format on

// The six calls, whichever way they reach the library.
struct TCalls {
  std::function<std::int32_t(std::uint8_t)> Init;
  std::function<std::int32_t()> End;
  std::function<std::int32_t(std::uint8_t, std::uint8_t, void*, std::uint32_t)> Read;
  std::function<std::int32_t(std::uint8_t, std::uint8_t, const void*, std::uint32_t)> Write;
  std::function<std::int32_t(std::uint8_t, std::uint8_t)> Clear;
  std::function<std::int32_t(std::uint8_t, std::uint8_t)> Size;
};

TCalls InProcess(const TGbpEntries& e) {
  return {e.Init, e.End, e.Read, e.Write, e.Clear, e.Size};
}

TCalls Hosted(THostChannel& c) {
  return {[&c](std::uint8_t port) { return c.InitGBPMode(port); },
          [&c] { return c.EndGBPMode(); },
          [&c](std::uint8_t s, std::uint8_t ss, void* b, std::uint32_t n) {
            return c.ReadNVMFile(s, ss, b, n);
          },
          [&c](std::uint8_t s, std::uint8_t ss, const void* b, std::uint32_t n) {
            return c.WriteNVMFile(s, ss, b, n);
          },
          [&c](std::uint8_t s, std::uint8_t ss) { return c.ClearNVMFile(s, ss); },
          [&c](std::uint8_t s, std::uint8_t ss) { return c.GetNVMFileSize(s, ss); }};
}

class DeviceContractTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "win32") {
      if (const std::string skip = test::UseTestWinePrefix(); !skip.empty()) GTEST_SKIP() << skip;
      const auto dir = test::FreshTestDir();
      std::filesystem::copy_file(test::Win32File("gbp.dll"), dir / "gbp.dll");
      std::string error;
#if defined(_WIN32)
      // Windows starts the host directly, as a 64-bit build of the tool does.
      const std::optional<THostCommand> command =
          MakeDirectHostCommand(test::Win32File("gbp-host.exe"), dir / "gbp.dll");
#else
      const auto command = MakeWineHostCommand(test::Win32File("gbp-host.exe"), dir / "gbp.dll",
                                               {std::getenv("WINEPREFIX"), {}}, error);
#endif
      ASSERT_TRUE(command) << error;
      host_ = std::make_unique<THostChannel>();
      ASSERT_TRUE(host_->Start(*command, &error)) << error;
      api_ = Hosted(*host_);
    } else if (GetParam() == "fake") {
      fake_.emplace(test::FakeDir("fake"), "gbp.dll");
      ASSERT_TRUE(fake_->Loaded());
      fake_->Reset();
      TGbpEntries entries;
      ASSERT_TRUE(entries.Resolve(fake_->Library()));
      api_ = InProcess(entries);
    } else {
      phone_.emplace();  // no gbp-sim.ini: the defaults
      ASSERT_TRUE(phone_->Load());
      api_ = InProcess(phone_->Api());
    }
  }

  std::optional<test::TFakeControl> fake_;
  std::optional<test::TSimPhone> phone_;
  std::unique_ptr<THostChannel> host_;
  TCalls api_;
};

TEST_P(DeviceContractTest, AnswersTheTableOfCalls) {
  int row = 0;
  for (const TStep& s : kSteps) {
    SCOPED_TRACE("step " + std::to_string(row++));
    const auto section = static_cast<std::uint8_t>(s.a), sub = static_cast<std::uint8_t>(s.b);
    switch (s.op) {
      case Op::Init:
        EXPECT_EQ(api_.Init(section), s.expect);
        break;
      case Op::End:
        EXPECT_EQ(api_.End(), s.expect);
        break;
      case Op::Size:
        EXPECT_EQ(api_.Size(section, sub), s.expect);
        break;
      case Op::Clear:
        EXPECT_EQ(api_.Clear(section, sub), s.expect);
        break;
      case Op::Write:
        EXPECT_EQ(
            api_.Write(section, sub, s.data.data(), static_cast<std::uint32_t>(s.data.size())),
            s.expect);
        break;
      case Op::Read: {
        std::string buffer(s.length, '\xEE');
        const std::int32_t n = api_.Read(section, sub, buffer.data(), s.length);
        EXPECT_EQ(n, s.expect);
        if (n >= 0) {
          EXPECT_EQ(buffer.substr(0, static_cast<std::size_t>(n)), s.data);
          // Nothing beyond the delivered bytes is touched.
          EXPECT_EQ(buffer.find_first_not_of('\xEE', static_cast<std::size_t>(n)),
                    std::string::npos);
        }
        break;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Libraries, DeviceContractTest,
                         ::testing::Values("fake", "simulator", "win32"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace zub
