// Settings load and save, the catalogue, the COM-port selector and the Options dialog, run on
// the core with the simulator behind it.
#include <gtest/gtest.h>

#include "app/Manager.h"
#include "browser/Scan.h"
#include "support/FakeInteraction.h"
#include "support/SimTelephone.h"

namespace zub {
namespace {

using test::CallLog;
using test::FakeInteraction;
using test::SimTelephone;

class SettingsTest : public ::testing::Test {
 protected:
  std::unique_ptr<TManager> Start() {
    auto m = std::make_unique<TManager>(ui, phone.Options(&calls));
    m->FormShow();
    return m;
  }
  std::string Saved(const std::string& section, const std::string& key) {
    TProfileFile f(phone.SettingsPath());
    return f.ReadString(section, key, "<none>");
  }
  SimTelephone phone;
  FakeInteraction ui;
  CallLog calls;
};

TEST_F(SettingsTest, DefaultsWithoutSettingsFile) {
  std::filesystem::remove(phone.SettingsPath());
  auto m = Start();
  EXPECT_EQ(m->Bounds.Top, 20);
  EXPECT_EQ(m->Bounds.Left, 240);
  EXPECT_EQ(m->Bounds.Width, 330);
  EXPECT_EQ(m->Bounds.Height, 420);
  EXPECT_EQ(m->ComboBox1Index, 0);
  EXPECT_EQ(m->Experts.FWIndex, 0);
  EXPECT_FALSE(m->Experts.CTECB);
  EXPECT_EQ(m->RowCount(), 1);  // the title row only
  EXPECT_EQ(m->CurrentSection(), nullptr);
  EXPECT_TRUE(ui.Boxes.empty());
}

TEST_F(SettingsTest, CatalogueKeysNameTheirOwnDescriptions) {
  phone.SetCatalogue({{"0x0210", std::string("hex entry"), 2048},
                      {"528", std::string("decimal entry"), std::nullopt},
                      {"not a number", std::string("skipped"), std::nullopt},
                      {"$1201", std::nullopt, std::nullopt}});
  auto m = Start();
  ASSERT_EQ(m->RowCount(), 4);
  const auto& a = m->Sections[1];
  EXPECT_EQ(a.Section, 2);
  EXPECT_EQ(a.SubSection, 16);
  EXPECT_EQ(a.Description, "hex entry");
  EXPECT_EQ(a.MaxSize, 2048);
  EXPECT_EQ(a.Size, 0);
  EXPECT_EQ(a.Icon, -1);
  EXPECT_EQ(m->Sections[2].Section, 2);
  EXPECT_EQ(m->Sections[2].SubSection, 16);
  EXPECT_EQ(m->Sections[2].Description, "decimal entry");
  EXPECT_EQ(m->Sections[2].MaxSize, 65535);
  EXPECT_EQ(m->Sections[3].Section, 18);
  EXPECT_EQ(m->Sections[3].SubSection, 1);
  EXPECT_EQ(m->Sections[3].Description, "Free");
  // The placeholder carries nothing.
  EXPECT_EQ(m->Sections[0].Section + m->Sections[0].SubSection, 0);
  EXPECT_TRUE(m->Sections[0].Description.empty());
}

TEST_F(SettingsTest, TextsOfTheSettingsFilesComeInAsUtf8) {
  // SECTIONS.INI in Windows-1251, the program settings in UTF-8: each file is read in its own.
  phone.SetCatalogue({{"0x0205", std::string("\xC8\xE3\xF0\xFB"), std::nullopt},
                      {"0x0206", std::string("\xC4\xE0\xED\xED\xFB\xE5"), std::nullopt}});
  phone.SetSign(0x4B4F4F42, "Книга");
  phone.PutSection(2, 5, std::string_view("BOOK and more", 13));
  phone.PutSection(2, 6, std::string_view("\x01\x02\x03\x04 unknown", 12));
  auto m = Start();
  ASSERT_EQ(m->RowCount(), 3);
  EXPECT_EQ(m->Sections[1].Description, "Игры");
  m->DrawGrid1Click(1);
  EXPECT_EQ(ui.LastStatus(), "By default section 2-5 is used for Игры");
  ASSERT_TRUE(m->NVM->InitGBP());
  ScanSection(*m, m->Sections[1]);
  ScanSection(*m, m->Sections[2]);
  m->NVM->EndGBP();
  EXPECT_EQ(m->Sections[1].Title, "< Книга >");
  EXPECT_EQ(m->Sections[2].Title, "< Данные or unknown data >");
}

TEST_F(SettingsTest, CatalogueStopsAtTheFirstMissingKey) {
  phone.SetSetting("Sections", "section1", "0x0201");
  phone.SetSetting("Sections", "section3", "0x0203");
  auto m = Start();
  EXPECT_EQ(m->RowCount(), 2);
}

TEST_F(SettingsTest, NegativeKeyKeepsTheSignOfTheSection) {
  phone.SetCatalogue({{"-255", std::string("odd"), std::nullopt}});
  auto m = Start();
  ASSERT_EQ(m->RowCount(), 2);
  EXPECT_EQ(m->Sections[1].Section, -1);
  EXPECT_EQ(m->Sections[1].SubSection, 1);
}

TEST_F(SettingsTest, OutOfRangeStoredIndexesSelectNothingAndPortOneIsUsed) {
  phone.SetSetting("Manager", "COM-Port", "7");
  phone.SetSetting("Manager", "UFIFFW", "12");
  phone.SetCatalogue({SimTelephone::Entry(2, 8, "x")});
  auto m = Start();
  EXPECT_EQ(m->ComboBox1Index, -1);
  EXPECT_EQ(m->Experts.FWIndex, -1);
  EXPECT_EQ(m->Experts.FWText, "");
  ASSERT_TRUE(m->NVM->InitGBP());
  ASSERT_FALSE(calls.Calls.empty());
  EXPECT_EQ(calls.Calls.back().Entry, "InitGBPMode");
  EXPECT_EQ(calls.Calls.back().Args, std::vector<std::int64_t>{1});
}

TEST_F(SettingsTest, SaveWritesTheListedKeysOnly) {
  phone.SetCatalogue({SimTelephone::Entry(2, 8, "x")});
  phone.SetSign(3, "Counter");
  auto m = Start();
  m->Bounds = {11, 22, 333, 444};
  m->ComboBox1Change(2);
  m->SetFWIndex(5);
  m->FormClose();
  EXPECT_EQ(Saved("Form", "Top"), "11");
  EXPECT_EQ(Saved("Form", "Left"), "22");
  EXPECT_EQ(Saved("Form", "Width"), "333");
  EXPECT_EQ(Saved("Form", "Height"), "444");
  EXPECT_EQ(Saved("Manager", "COM-Port"), "2");
  EXPECT_EQ(Saved("Manager", "UFIFFW"), "5");
  EXPECT_EQ(Saved("Manager", "CTEMode"), "0");
  EXPECT_EQ(Saved("Sections", "section1"), "520");
  EXPECT_EQ(Saved("Sign", "0x00000003"), "Counter");
}

TEST_F(SettingsTest, CloseWritesBoundsEvenWithoutACommand) {
  std::filesystem::remove(phone.SettingsPath());
  auto m = Start();
  m->FormClose();
  EXPECT_EQ(Saved("Form", "Width"), "330");
}

TEST_F(SettingsTest, OptionsCancelRestoresFirmwareAndCableMode) {
  phone.SetCatalogue({SimTelephone::Entry(2, 8, "x")});
  phone.SetSetting("Manager", "UFIFFW", "2");
  auto m = Start();
  m->Sections[1].Size = 99;  // as if scanned
  calls.Clear();
  ui.AnswerModal(TFormId::ExpertsForm, mrCancel, [&] {
    m->SetCTECB(true);
    m->SetFWIndex(6);
  });
  m->Button7Click();
  EXPECT_FALSE(m->Experts.CTECB);
  EXPECT_FALSE(m->NVM->CTEMode());
  EXPECT_EQ(m->NVM->LibraryFileName(), "gbp.dll");
  EXPECT_EQ(m->Experts.FWIndex, 2);
  EXPECT_EQ(m->Sections[1].Size, 0);  // unscanned again
  // cte_gbp.dll was loaded while the dialog was open, gbp.dll after it.
  ASSERT_GE(calls.Loads.size(), 2u);
  EXPECT_EQ(calls.Loads.front().first, "cte_gbp.dll");
  EXPECT_EQ(calls.Loads.back().first, "gbp.dll");
}

TEST_F(SettingsTest, OptionsOkKeepsTheChoices) {
  phone.SetCatalogue({SimTelephone::Entry(2, 8, "x")});
  auto m = Start();
  ui.AnswerModal(TFormId::ExpertsForm, mrOk, [&] {
    m->SetCTECB(true);
    m->SetFWIndex(4);
  });
  m->Button7Click();
  EXPECT_TRUE(m->Experts.CTECB);
  EXPECT_TRUE(m->NVM->CTEMode());
  EXPECT_EQ(m->Experts.FWIndex, 4);
  EXPECT_EQ(Saved("Manager", "CTEMode"), "1");
  EXPECT_EQ(Saved("Manager", "UFIFFW"), "4");
  // "Default" unticks the cable mode and switches back at once.
  m->ExpertsButton3Click();
  EXPECT_FALSE(m->NVM->CTEMode());
  EXPECT_TRUE(m->NVM->Loaded());
}

TEST_F(SettingsTest, TypedFirmwareTextCountsAndSelectsNothing) {
  auto m = Start();
  m->SetFWText("0x37BDD8 - z7 custom");
  EXPECT_EQ(m->Experts.FWIndex, -1);
  EXPECT_EQ(m->Experts.FWText, "0x37BDD8 - z7 custom");
  m->SetFWText("0x36A658 - J5/6 5.4.2/5");
  EXPECT_EQ(m->Experts.FWIndex, 5);
}

TEST_F(SettingsTest, MissingLibraryIsReportedOnceAtStartUp) {
  std::filesystem::remove(phone.Dir() / "gbp.dll");
  auto m = Start();
  ASSERT_EQ(ui.Boxes.size(), 1u);
  EXPECT_EQ(ui.Boxes[0], (test::TBox{"ERROR", "Unable to open gbp.dll"}));
  // Later reloads report each failure.
  ui.ClearRecords();
  m->SettingsLoad();
  EXPECT_EQ(ui.Boxes.size(), 1u);
}

TEST_F(SettingsTest, SelectionTextAndMenuFollowTheRow) {
  phone.SetCatalogue({SimTelephone::Entry(2, 16, "PRG3 library")});
  auto m = Start();
  m->DrawGrid1Click(1);
  EXPECT_EQ(ui.LastStatus(), "By default section 2-16 is used for PRG3 library");
  m->DrawGrid1MouseUpRight();
  EXPECT_TRUE(Has(m->ActionEnabled, TActionId::UploadAction));
  m->DrawGrid1Click(0);  // the title row: no section, nothing offered
  m->DrawGrid1MouseUpRight();
  EXPECT_TRUE(m->ActionEnabled.none());
}

}  // namespace
}  // namespace zub
