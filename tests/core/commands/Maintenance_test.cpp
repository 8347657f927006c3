#include "commands/Maintenance.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/CommandFixture.h"

namespace zub::test {
namespace {

using ::testing::ElementsAre;

class Maintenance : public CommandFixture<> {
 protected:
  void SetUp() override {
    Start();
    WorkInHomeFolder();  // the reference list is looked up in the current folder
  }
};

TEST_F(Maintenance, ReorderFollowsTheReferenceList) {
  WriteFile(phone.Dir() / "514lg4.lib",
            "# reference\n00000000 Foo\r\n00000000 Bar\r00000000 Baz\r\n0 Qux #abc\r\n");
  const std::string chosenText = "# mine\r\n#2\r\n7 Qux #xyz\n22222222 Baz\n11111111 Foo\n99 Foo\n";
  const fs::path chosen = phone.Dir() / "new.lib";
  WriteFile(chosen, chosenText);
  ui.OpenAnswers.push_back(chosen.string());
  m->Run([&] { Button8Click(*m); });
  EXPECT_THAT(ui.OpenFilters, ElementsAre(""));
  EXPECT_EQ(ReadText(phone.Dir() / "new.lib_"),
            "# mine\r\n#2\r\n11111111 Foo\r\n22222222 Baz\r\n7 Qu\r\n");
  EXPECT_EQ(ReadText(chosen), chosenText);
  EXPECT_TRUE(ui.StatusLog.empty());
  EXPECT_TRUE(ui.Boxes.empty());
  EXPECT_TRUE(ui.Exceptions.empty());
  EXPECT_TRUE(log.Calls.empty());
}

TEST_F(Maintenance, ReorderFileErrorsEndTheCommand) {
  const fs::path chosen = phone.Dir() / "new.lib";
  WriteFile(chosen, "1 Foo\n");
  ui.OpenAnswers.push_back(chosen.string());
  m->Run([&] { Button8Click(*m); });  // no reference list
  ASSERT_EQ(ui.Exceptions.size(), 1u);
  EXPECT_THAT(ui.Exceptions[0], ::testing::HasSubstr("514lg4.lib"));
  EXPECT_FALSE(fs::exists(phone.Dir() / "new.lib_"));

  WriteFile(phone.Dir() / "514lg4.lib", "0 Foo\n");
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
  EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", "GBP Error: No AT response!"}));
  EXPECT_TRUE(ui.StatusLog.empty());
}

}  // namespace
}  // namespace zub::test
