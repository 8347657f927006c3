// A library that claims to have read far more than the buffer it was given (2^31 - 1 bytes
// into 65,536) must not make any command use or allocate more than its buffer.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <climits>
#include <filesystem>
#include <fstream>

#include "app/Actions.h"
#include "app/Manager.h"
#include "core/device/DeviceTestSupport.h"
#include "support/FakeInteraction.h"
#include "support/SimTelephone.h"

namespace zub::test {
namespace {

long PeakKiB() {
#if defined(_WIN32)
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
#endif
}

TEST(ReadClamp, ACountBeyondTheBufferIsClampedByEveryCommand) {
  SimTelephone settings;  // only its settings file and catalogue are used
  settings.SetCatalogue({SimTelephone::Entry(2, 5, "Games")});
  const TFakeControl fake(FakeDir("fake"), "gbp.dll");
  ASSERT_TRUE(fake.Loaded());
  const std::string download = (settings.Dir() / "download.bin").string();

  struct Case {
    const char* name;
    TActionId action;
    TBox box;  // the box the command ends with; empty caption: none
  };
  const Case cases[] = {
      // The size is unknown (no such section) and the read claims more than the buffer: no
      // copy could be known whole, so none is saved.
      {"Download", TActionId::DownloadAction, {"ERROR", "Error reading section 2-5"}},
      // 65,536 zero bytes parse as a store of empty items; the dialog is cancelled.
      {"Download Save Slot", TActionId::DownloadSaveAction, {}},
      // A section longer than the buffer is never written back shortened.
      {"Erase Save Slot",
       TActionId::EraseSaveAction,
       {"ERROR", "Can't erase save slot - section 2-5 too big!"}},
      {"Upload Save Slot",
       TActionId::UploadSaveAction,
       {"ERROR", "Can't upload save slot - section 2-5 too big!"}},
      {"Convert", TActionId::ConvertAction, {"ERROR", "Can't convert - section 2-5 too big!"}},
  };
  const long before = PeakKiB();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeInteraction ui;
    TManagerOptions options = settings.Options();
    options.HomeDir = FakeDir("fake");
    TManager m(ui, options);
    m.FormShow();
    fake.Reset();
    fake.SetResult("ReadNVMFile", INT32_MAX);
    ui.SaveAnswers.push_back(download);
    m.Row = 1;
    ASSERT_NE(m.CurrentSection(), nullptr) << "the catalogue has rows";
    m.Run([&] { ExecuteAction(m, c.action); });
    EXPECT_TRUE(ui.Exceptions.empty());
    if (c.box.Caption.empty()) {
      EXPECT_TRUE(ui.Boxes.empty());
    } else {
      ASSERT_FALSE(ui.Boxes.empty());
      EXPECT_EQ(ui.Boxes.back().Caption, c.box.Caption);
      EXPECT_EQ(ui.Boxes.back().Text, c.box.Text);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(download));
  // Zero-filling 2 GiB would show in the peak; 64 MiB is far above what the commands need.
  EXPECT_LT(PeakKiB() - before, 64 * 1024);
}

}  // namespace
}  // namespace zub::test
