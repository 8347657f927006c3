#include "commands/Maintenance.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "support/FakeInteraction.h"
#include "support/SimTelephone.h"

namespace zub {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spit(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

class Maintenance : public ::testing::Test {
 protected:
  void SetUp() override {
    m = std::make_unique<TManager>(ui, phone.Options(&log));
    m->FormShow();
    ui.ClearRecords();
    log.Clear();
    // The reference list is looked up in the current folder.
    previous = fs::current_path();
    fs::current_path(phone.Dir());
  }
  void TearDown() override { fs::current_path(previous); }

  test::SimTelephone phone;
  test::FakeInteraction ui;
  test::CallLog log;
  std::unique_ptr<TManager> m;
  fs::path previous;
};

TEST_F(Maintenance, ReorderFollowsTheReferenceList) {
  Spit(phone.Dir() / "514lg4.lib",
       "# reference\n00000000 Foo\r\n00000000 Bar\r00000000 Baz\r\n0 Qux #abc\r\n");
  const std::string chosenText = "# mine\r\n#2\r\n7 Qux #xyz\n22222222 Baz\n11111111 Foo\n99 Foo\n";
  const fs::path chosen = phone.Dir() / "new.lib";
  Spit(chosen, chosenText);
  ui.OpenAnswers.push_back(chosen.string());
  m->Run([&] { Button8Click(*m); });
  EXPECT_THAT(ui.OpenFilters, ElementsAre(""));
  EXPECT_EQ(Slurp(phone.Dir() / "new.lib_"),
            "# mine\r\n#2\r\n11111111 Foo\r\n22222222 Baz\r\n7 Qu\r\n");
  EXPECT_EQ(Slurp(chosen), chosenText);
  EXPECT_TRUE(ui.StatusLog.empty());
  EXPECT_TRUE(ui.Boxes.empty());
  EXPECT_TRUE(ui.Exceptions.empty());
  EXPECT_TRUE(log.Calls.empty());
}

TEST_F(Maintenance, ReorderFileErrorsEndTheCommand) {
  const fs::path chosen = phone.Dir() / "new.lib";
  Spit(chosen, "1 Foo\n");
  ui.OpenAnswers.push_back(chosen.string());
  m->Run([&] { Button8Click(*m); });  // no reference list
  ASSERT_EQ(ui.Exceptions.size(), 1u);
  EXPECT_THAT(ui.Exceptions[0], ::testing::HasSubstr("514lg4.lib"));
  EXPECT_FALSE(fs::exists(phone.Dir() / "new.lib_"));

  Spit(phone.Dir() / "514lg4.lib", "0 Foo\n");
  ui.OpenAnswers.push_back((phone.Dir() / "missing.lib").string());
  m->Run([&] { Button8Click(*m); });
  EXPECT_EQ(ui.Exceptions.size(), 2u);

  ui.OpenAnswers.push_back(std::nullopt);
  m->Run([&] { Button8Click(*m); });
  EXPECT_EQ(ui.Exceptions.size(), 2u);
}

TEST_F(Maintenance, EraserClearsSection17_19) {
  phone.PutSection(17, 19, std::string("data"));
  ButtonCli(*m);
  EXPECT_FALSE(phone.Section(17, 19));
  ASSERT_EQ(log.Calls.size(), 3u);
  EXPECT_EQ(log.Calls[1].Entry, "ClearNVMFile");
  EXPECT_THAT(log.Calls[1].Args, ElementsAre(17, 19));
  EXPECT_EQ(log.Calls[2].Entry, "EndGBPMode");
  EXPECT_FALSE(m->NVM->PortOpen());
  EXPECT_THAT(ui.StatusLog, ElementsAre("Erased!"));
  EXPECT_EQ(ui.Repaints, 0);

  phone.SetSim("Link", "Answer", "0");
  ui.ClearRecords();
  ButtonCli(*m);
  EXPECT_THAT(ui.Boxes, ElementsAre(test::TBox{"ERROR", "GBP Error: No AT response!"}));
  EXPECT_TRUE(ui.StatusLog.empty());
}

}  // namespace
}  // namespace zub
