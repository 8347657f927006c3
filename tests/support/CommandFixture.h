// The ground the command tests stand on: a telephone in a temporary folder that stands for the
// executable's (made for each test, removed after it), a scripted user, the device calls
// recorded, and the core started on them the way the window starts it. With it the files a test
// hands a command or reads back, and the boxes that several commands end with.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/Manager.h"
#include "commands/Messages.h"
#include "support/FakeInteraction.h"
#include "support/LinkTiming.h"
#include "support/SaveImages.h"
#include "support/SimTelephone.h"
#include "support/TestFiles.h"

namespace zub::test {

// The boxes the uploads end with.
inline const TBox kUploadedBox{kOkCaption, kUploadedSuccessfully};
inline const TBox kUploadErrorBox{kErrorCaption, kUploadErrorText};
inline const TBox kTooBigBox{kErrorCaption, kFileTooBig};
// The library uploads' own refusal.
inline constexpr const char* kLibraryTooBig = "Can't uplod - library file too big!";

// The telephone, the user, the call log and the core of one run. `UI` is FakeInteraction or a
// kind of it; one with a `Core` member is told the core.
template <typename UI = FakeInteraction, typename Log = CallLog>
class CommandBench {
 public:
  // Starts the core as the window does (the settings load), then forgets what that showed and
  // called. With `timing` every device call passes it and the core's clock is its clock; the
  // test then lets the core go (m.reset()) before `timing` goes.
  void Start(TLinkTiming* timing = nullptr) {
    TManagerOptions options = phone.Options(&log);
    if (timing) options.Clock = timing->ClockFunction();
    m = std::make_unique<TManager>(ui, options);
    if (timing) {
      timing->Nvm = m->NVM.get();
      m->NVM->SetCallRunner(timing);
    }
    if constexpr (requires { ui.Core; }) ui.Core = m.get();
    m->FormShow();
    ui.ClearRecords();
    log.Clear();
  }
  // Runs a command on a row the way the message loop does.
  void On(int row, const std::function<void(TManager&)>& command) {
    m->Row = row;
    m->Run([&] { command(*m); });
  }

  // Files in the telephone's folder.
  std::string PathOf(const std::string& name) const { return (phone.Dir() / name).string(); }
  template <typename Bytes>
  std::string PutFile(const std::string& name, const Bytes& bytes) const {
    WriteFile(PathOf(name), bytes);
    return PathOf(name);
  }
  std::optional<Buf> FileBytes(const std::string& name) const { return ReadFile(PathOf(name)); }
  // A file answered to the next file-open dialog.
  template <typename Bytes>
  std::string OpenAnswer(const std::string& name, const Bytes& bytes) {
    ui.OpenAnswers.push_back(PutFile(name, bytes));
    return ui.OpenAnswers.back().value();
  }
  // A file that exists already (holding `old`), answered to the next save dialog.
  std::string SaveAnswer(const std::string& name, const Buf& old) {
    ui.SaveAnswers.push_back(PutFile(name, old));
    return ui.SaveAnswers.back().value();
  }

  // No command leaves the connection open: the last call ends it.
  void ExpectClosed() const {
    EXPECT_FALSE(m->NVM->PortOpen()) << "the connection was left open";
    if (!log.Calls.empty()) {
      EXPECT_EQ(log.Calls.back().Entry, "EndGBPMode");
    }
  }
  // The end of a run whose every dialog was scripted: each answer used for the dialog it was
  // meant for, none asked that was not, no dialog while the connection was open.
  void ExpectScriptPlayed() const {
    if constexpr (requires { ui.AskedWhileOpen; }) {
      EXPECT_EQ(ui.AskedWhileOpen, 0) << "a dialog was shown on an open connection";
    }
    EXPECT_FALSE(m->NVM->PortOpen()) << "the connection was left open";
    EXPECT_TRUE(ui.Mismatches.empty());
    EXPECT_EQ(ui.Unanswered, 0);
    EXPECT_TRUE(ui.ModalAnswers.empty()) << "an expected dialog was not shown";
    EXPECT_TRUE(ui.OpenAnswers.empty());
    EXPECT_TRUE(ui.SaveAnswers.empty());
  }

  SimTelephone phone;
  UI ui;
  Log log;
  std::unique_ptr<TManager> m;
};

// The bench as a test fixture.
template <typename UI = FakeInteraction, typename Log = CallLog>
class CommandFixture : public ::testing::Test, public CommandBench<UI, Log> {
 protected:
  // The current folder is the telephone's until the test ends.
  void WorkInHomeFolder() { cwd_.emplace(this->phone.Dir()); }

 private:
  std::optional<InFolder> cwd_;  // goes before the telephone's folder does
};

}  // namespace zub::test
