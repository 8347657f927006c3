// The device component's settings as the core reads them from the settings file:
// [Device] CallTimeout= seconds, the allowance of a call through gbp-host.exe.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "app/Manager.h"
#include "support/FakeInteraction.h"
#include "support/SimTelephone.h"

namespace zub::test {
namespace {

TEST(DeviceSettings, CallTimeoutIsReadInSeconds) {
  using std::chrono::seconds;
  struct TRow {
    std::optional<std::string> value;
    seconds allowance;
  };
  const TRow rows[] = {
      {std::nullopt, seconds(30)}, {"5", seconds(5)},   {"600", seconds(600)},
      {"0", seconds(30)},          {"-3", seconds(30)}, {"soon", seconds(30)},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.value.value_or("(absent)"));
    SimTelephone phone;
    if (row.value) phone.SetSetting("Device", "CallTimeout", *row.value);
    FakeInteraction ui;
    TManager m(ui, phone.Options());
    m.FormShow();
    EXPECT_EQ(m.NVM->CallTimeout(), row.allowance);
    EXPECT_TRUE(ui.Boxes.empty());
  }
}

}  // namespace
}  // namespace zub::test
