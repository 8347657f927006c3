#include "commands/Preferences.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CommandFixture.h"

namespace zub {
namespace {

using test::TBox;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Rec = std::vector<std::uint8_t>;

Rec Record(std::uint8_t menu, std::uint8_t lib, std::uint8_t libSub, std::uint8_t autoSect,
           std::uint8_t autoSub, std::uint8_t r10 = 0, std::uint8_t r11 = 0) {
  return {'Z', 'U', 'B', '2', menu, 0, libSub, lib, autoSub, autoSect, r10, r11};
}

class Preferences : public test::CommandFixture<> {
 protected:
  void Stored(const Rec& r) { phone.PutSection(2, 18, std::span<const std::uint8_t>(r)); }
  Rec Written() const { return phone.Section(2, 18).value_or(Rec{}); }
};

TEST_F(Preferences, FullRecordFillsTheDialogAndLeavesTheStatusAlone) {
  Stored(Record(7, 2, 17, 18, 9, 0xAB, 0xCD));
  Start();
  GetPrefAction(*m);
  const TPrefModel& p = m->Pref;
  EXPECT_EQ(p.RG1, 1);
  EXPECT_EQ(p.sEdit, "2");
  EXPECT_EQ(p.ssEdit, "17");
  EXPECT_TRUE(p.ACheckBox);
  EXPECT_TRUE(p.AsVisible && p.AssVisible);
  EXPECT_EQ(p.AsEdit, "18");
  EXPECT_EQ(p.AssEdit, "9");  // no leading zero
  ASSERT_TRUE(p.LastRecord);
  EXPECT_THAT(*p.LastRecord, ElementsAreArray(Record(7, 2, 17, 18, 9, 0xAB, 0xCD)));
  EXPECT_TRUE(ui.StatusLog.empty());
  EXPECT_TRUE(ui.Boxes.empty());
  EXPECT_EQ(log.Count("InitGBPMode"), 2);  // the record, then the totals
}

TEST_F(Preferences, RecordVariants) {
  struct Case {
    const char* name;
    Rec stored;
    int rg1Before, rg1;
    const char* s;
    const char* ss;
    const char* autorun;  // the two autorun fields when checked; nullptr: unchecked, kept
  };
  const Case cases[] = {
      {"autorun off", Record(3, 2, 17, 18, 0), 2, 0, "2", "17", nullptr},
      {"library not set", Record(255, 0, 9, 0, 0), 0, 2, "2", "17", nullptr},
      {"short record", Rec{'Z', 'U', 'B', '2', 7, 0, 5, 3, 9, 18, 0}, 2, 1, "3", "5", nullptr},
      {"very short record", Rec{'Z', 'U', 'B', '2', 3}, 2, 0, "2", "17", nullptr},
      {"empty record", Rec{}, 1, 1, "2", "17", nullptr},
      {"unknown menu mode", Record(5, 255, 200, 0, 0), 2, 2, "-1", "-56", nullptr},
      {"high autorun bytes", Record(7, 2, 17, 128, 255), 0, 1, "2", "17", "-128/-1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Stored(c.stored);
    Start();
    m->Pref.RG1 = c.rg1Before;
    m->Pref.AsEdit = "old";
    m->Pref.AssEdit = "old2";
    GetPrefAction(*m);
    const TPrefModel& p = m->Pref;
    EXPECT_EQ(p.RG1, c.rg1);
    EXPECT_EQ(p.sEdit, c.s);
    EXPECT_EQ(p.ssEdit, c.ss);
    const bool on = c.autorun != nullptr;
    EXPECT_EQ(p.ACheckBox, on);
    EXPECT_EQ(p.AsVisible, on);
    EXPECT_EQ(p.AssVisible, on);
    EXPECT_EQ(p.AsEdit + "/" + p.AssEdit, on ? c.autorun : "old/old2");
    ASSERT_TRUE(p.LastRecord);
    for (std::size_t i = 0; i < 12; ++i)
      EXPECT_EQ((*p.LastRecord)[i], i < c.stored.size() ? c.stored[i] : 0) << i;
  }
}

TEST_F(Preferences, UnreadableRecordStopsBeforeTheTotals) {
  for (const bool absent : {true, false}) {
    SCOPED_TRACE(absent ? "absent" : "read error");
    if (absent) {
      phone.RemoveSection(2, 18);
    } else {
      Stored(Record(7, 2, 17, 18, 9));
      phone.SetFault("ReadError", "2-18:-10");
    }
    Start();
    m->Pref.Label5 = "before";
    m->Pref.LastRecord.emplace();
    GetPrefAction(*m);
    EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", "Error reading section 2-18"}));
    EXPECT_EQ(m->Pref.sEdit, "");
    EXPECT_EQ(m->Pref.ssEdit, "");
    EXPECT_EQ(m->Pref.Label5, "before");
    EXPECT_FALSE(m->Pref.LastRecord);
    EXPECT_EQ(log.Count("GetNVMFileSize"), 0);
  }
}

TEST_F(Preferences, TotalsAskNinetySizesInOrder) {
  Stored(Record(7, 2, 17, 0, 0));
  phone.PutSection(17, 1, std::string(1000, 'a'));
  phone.PutSection(17, 2, std::string(24, 'b'));
  phone.PutSection(17, 31, std::string(500, 'c'));
  phone.PutSection(18, 30, std::string(7, 'd'));
  phone.PutSection(2, 4, std::string(100, 'e'));
  phone.SetFault("SizeError", "2-4:-7");  // an unreadable size adds nothing
  Start();
  GetPrefAction(*m);
  EXPECT_EQ(m->Pref.Label4, "Total space used by section 02: 12");  // only the record itself
  EXPECT_EQ(m->Pref.Label5, "Total space used by section 17: 1024");
  EXPECT_EQ(m->Pref.Label6, "Total space used by section 18: 7");
  std::vector<std::vector<std::int64_t>> asked;
  for (const auto& c : log.Calls)
    if (c.Entry == "GetNVMFileSize") asked.push_back(c.Args);
  ASSERT_EQ(asked.size(), 90u);
  EXPECT_EQ(asked[0], (std::vector<std::int64_t>{2, 1}));
  EXPECT_EQ(asked[1], (std::vector<std::int64_t>{17, 1}));
  EXPECT_EQ(asked[2], (std::vector<std::int64_t>{18, 1}));
  EXPECT_EQ(asked[89], (std::vector<std::int64_t>{18, 30}));
  EXPECT_EQ(log.Calls.back().Entry, "EndGBPMode");
}

TEST_F(Preferences, UpdateBuildsTheRecordFromTheFields) {
  struct Case {
    const char* name;
    int rg1;
    bool autorun;
    const char* s;
    const char* ss;
    const char* as;
    const char* ass;
    Rec expected;
  };
  const Case cases[] = {
      {"autorun unchecked", 1, false, "2", "17", "18", "9", Record(7, 2, 17, 0, 0, 0xAB, 0xCD)},
      {"show all", 2, true, "2", "17", "18", "9", Record(255, 2, 17, 18, 9, 0xAB, 0xCD)},
      {"low eight bits", 0, true, "258", "-1", " 300", "$11",
       Record(3, 2, 255, 44, 17, 0xAB, 0xCD)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Stored(Record(7, 9, 9, 9, 9, 0xAB, 0xCD));
    Start();
    ui.AnswerModal(TFormId::PrefForm, mrOk, [&] {
      m->Pref.RG1 = c.rg1;
      m->SetACheckBox(c.autorun);
      m->Pref.sEdit = c.s;
      m->Pref.ssEdit = c.ss;
      m->Pref.AsEdit = c.as;
      m->Pref.AssEdit = c.ass;
    });
    Button3Click(*m);
    EXPECT_THAT(ui.ModalShown, ElementsAre(TFormId::PrefForm));
    EXPECT_EQ(Written(), c.expected);
    EXPECT_THAT(ui.StatusLog, ElementsAre("Uploading data...", "Uploaded!"));
    EXPECT_TRUE(ui.Boxes.empty());
  }
}

TEST_F(Preferences, CancelWritesNothing) {
  Stored(Record(7, 2, 17, 18, 9));
  Start();
  ui.AnswerModal(TFormId::PrefForm, mrCancel, [&] { m->Pref.RG1 = 2; });
  Button3Click(*m);
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);
  EXPECT_TRUE(ui.StatusLog.empty());
  EXPECT_EQ(Written(), Record(7, 2, 17, 18, 9));
}

TEST_F(Preferences, NonNumberFieldEndsTheCommandBeforeWriting) {
  struct Case {
    const char* field;
    bool autorun;
    const char* message;  // empty: the field is not converted and the write goes through
  };
  const Case cases[] = {
      {"sEdit", false, "'abc' is not a valid integer value"},
      {"ssEdit", true, "'abc' is not a valid integer value"},
      {"AsEdit", true, "'abc' is not a valid integer value"},
      {"AssEdit", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    Stored(Record(7, 2, 17, 18, 9));
    Start();
    m->Pref.RG1 = 1;
    m->SetACheckBox(c.autorun);
    m->Pref.sEdit = m->Pref.ssEdit = m->Pref.AsEdit = m->Pref.AssEdit = "3";
    const std::string field = c.field;
    (field == "sEdit"    ? m->Pref.sEdit
     : field == "ssEdit" ? m->Pref.ssEdit
     : field == "AsEdit" ? m->Pref.AsEdit
                         : m->Pref.AssEdit) = "abc";
    m->Run([&] { SetPrefAction(*m); });
    if (*c.message) {
      EXPECT_THAT(ui.Exceptions, ElementsAre(c.message));
      EXPECT_EQ(log.Count("WriteNVMFile"), 0);
      EXPECT_EQ(Written(), Record(7, 2, 17, 18, 9));
    } else {
      EXPECT_TRUE(ui.Exceptions.empty());
      EXPECT_EQ(Written(), Record(7, 3, 3, 0, 0));
    }
  }
}

TEST_F(Preferences, WriteTheTelephoneDidNotKeepIsAnError) {
  Stored(Record(7, 2, 17, 18, 9));
  phone.SetFault("WriteKeep", "2-18:5");
  Start();
  GetPrefAction(*m);
  log.Clear();
  SetPrefAction(*m);
  EXPECT_THAT(ui.Boxes, ElementsAre(test::kUploadErrorBox));
  EXPECT_THAT(ui.StatusLog, ElementsAre("Uploading data...", "Upload error!"));
  EXPECT_EQ(log.Calls.back().Entry, "EndGBPMode");
}

TEST_F(Preferences, NoRadioItemKeepsTheStoredModeOrRefuses) {
  Stored(Record(5, 2, 17, 0, 0, 0x12, 0x34));
  Start();
  GetPrefAction(*m);
  EXPECT_EQ(m->Pref.RG1, -1);
  m->Pref.sEdit = "4";
  SetPrefAction(*m);
  EXPECT_EQ(Written(), Record(5, 4, 17, 0, 0, 0x12, 0x34));

  // Nothing read: there is no mode to keep.
  phone.RemoveSection(2, 18);
  Start();
  GetPrefAction(*m);
  ui.ClearRecords();
  log.Clear();
  m->Pref.sEdit = "2";
  m->Pref.ssEdit = "17";
  SetPrefAction(*m);
  EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", "Please select the menu show mode!"}));
  EXPECT_EQ(log.Count("InitGBPMode"), 0);
  EXPECT_FALSE(phone.Section(2, 18));

  // A mode chosen by hand after a failed read: a complete record, reserved bytes 0.
  m->Pref.RG1 = 0;
  SetPrefAction(*m);
  EXPECT_EQ(Written(), Record(3, 2, 17, 0, 0));
}

// A record too short to hold the menu mode has none to keep: with no radio item chosen the
// update refuses, a record that holds it keeps it.
TEST_F(Preferences, ShortRecordHasNoModeToKeep) {
  struct TCase {
    Rec Stored;
    bool Refuses;
  };
  const std::vector<TCase> cases = {
      {{}, true},
      {{'Z', 'U', 'B', '2'}, true},
      {{'Z', 'U', 'B', '2', 5}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Stored.size());
    Stored(c.Stored);
    Start();
    GetPrefAction(*m);
    ASSERT_EQ(m->Pref.RG1, -1);
    ui.ClearRecords();
    log.Clear();
    SetPrefAction(*m);
    if (c.Refuses) {
      EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", "Please select the menu show mode!"}));
      EXPECT_EQ(log.Count("WriteNVMFile"), 0);
      EXPECT_EQ(Written(), c.Stored);
    } else {
      EXPECT_EQ(Written(), Record(5, 2, 17, 0, 0));
    }
  }
}

TEST_F(Preferences, ConnectionFailureLeavesTheLibraryFieldsEmpty) {
  Stored(Record(7, 2, 17, 18, 9));
  phone.SetSim("Link", "Answer", "0");
  Start();
  GetPrefAction(*m);
  EXPECT_THAT(ui.Boxes, ElementsAre(TBox{"ERROR", "GBP Error: No AT response!"}));
  EXPECT_EQ(m->Pref.sEdit, "");
  EXPECT_FALSE(m->Pref.LastRecord);
}

}  // namespace
}  // namespace zub
