#include "commands/Scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/CommandFixture.h"

namespace zub::test {
namespace {

using ::testing::ElementsAreArray;

std::vector<std::uint8_t> Bytes32(std::initializer_list<std::uint32_t> values, std::size_t size) {
  std::vector<std::uint8_t> b(size, 0);
  std::size_t at = 0;
  for (auto v : values)
    for (int i = 0; i < 4 && at < size; ++i) b[at++] = static_cast<std::uint8_t>(v >> (8 * i));
  return b;
}

std::string Gif(std::size_t size) {
  std::string s = "GIF89a";
  s.resize(size, '\x11');
  return s;
}

class Scan : public CommandFixture<> {
 protected:
  // Starts the tool on a telephone whose catalogue lists `rows`.
  void Start(const std::vector<TCatalogueEntry>& rows) {
    phone.SetCatalogue(rows);
    CommandFixture::Start();
  }
  TSectInfo& RowOf(int row) { return m->Sections.at(static_cast<std::size_t>(row)); }
  // Refresh of one row, as the context menu runs it.
  void Refresh(int row) {
    m->Row = row;
    RefreshActionExecute(*m);
  }
  // The reads of the scan: every one asks for 128 bytes.
  int HeadReads() const {
    int n = 0;
    for (const auto& c : log.Calls)
      if (c.Entry == "ReadNVMFile") {
        EXPECT_EQ(c.Args.at(2), 128);
        ++n;
      }
    return n;
  }
};

TEST_F(Scan, AbsentSectionIsEmpty) {
  Start({SimTelephone::Entry(2, 5, "Games")});
  RowOf(1).Format = 0x20000000;
  RowOf(1).Title = "old";
  RowOf(1).UnpackedSize = 77;
  RowOf(1).Compression = 1;
  ASSERT_TRUE(m->NVM->InitGBP());
  EXPECT_EQ(ScanSection(*m, RowOf(1)), 0);
  const TSectInfo& r = RowOf(1);
  EXPECT_EQ(log.Calls.back().Result, -153);  // the simulator's answer for a missing section
  EXPECT_EQ(r.Kind, 0);
  EXPECT_EQ(r.Title, "< Empty >");
  EXPECT_EQ(r.Size, 0);
  EXPECT_EQ(r.Compression, 0);
  EXPECT_EQ(r.UnpackedSize, 0);
  EXPECT_EQ(r.Icon, 110);
  EXPECT_EQ(r.Format, 0x20000000u);  // kept
  EXPECT_EQ(HeadReads(), 0);
  EXPECT_TRUE(ui.Boxes.empty());
}

TEST_F(Scan, SizeAnswers) {
  struct Case {
    const char* fault;
    std::int32_t result;
    bool empty;
  };
  const Case cases[] = {
      {"2-5:-5", 0, true},     {"2-5:-153", 0, true},     {"2-5:0", 0, true},
      {"2-5:-10", -10, false}, {"2-5:-154", -154, false}, {"2-5:-1", -1, false},
  };
  Start({SimTelephone::Entry(2, 5, "Games")});
  phone.PutSection(2, 5, Gif(300));
  for (const auto& c : cases) {
    phone.SetFault("SizeError", c.fault);
    RowOf(1).Title = "before";
    RowOf(1).Size = 42;
    ui.ClearRecords();
    log.Clear();
    ASSERT_TRUE(m->NVM->InitGBP());
    EXPECT_EQ(ScanSection(*m, RowOf(1)), c.result) << c.fault;
    m->NVM->EndGBP();
    EXPECT_EQ(HeadReads(), 0) << c.fault;
    EXPECT_EQ(ui.StatusLog, std::vector<std::string>{"Refreshing section 2-5..."});
    if (c.empty) {
      EXPECT_EQ(RowOf(1).Title, "< Empty >") << c.fault;
      EXPECT_TRUE(ui.Boxes.empty()) << c.fault;
    } else {
      EXPECT_EQ(RowOf(1).Title, "before") << c.fault;
      EXPECT_EQ(RowOf(1).Size, 42) << c.fault;
      EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "Error getting section 2-5 size"}}))
          << c.fault;
    }
  }
}

TEST_F(Scan, ReadErrorLeavesTheRow) {
  Start({SimTelephone::Entry(2, 5, "Games")});
  phone.PutSection(2, 5, Gif(300));
  phone.SetFault("ReadError", "2-5:-10");
  RowOf(1).Title = "before";
  ASSERT_TRUE(m->NVM->InitGBP());
  EXPECT_EQ(ScanSection(*m, RowOf(1)), -10);
  EXPECT_EQ(RowOf(1).Title, "before");
  EXPECT_EQ(RowOf(1).Size, 0);
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "Error reading section 2-5"}}));
}

TEST_F(Scan, GifSectionReadsOnlyTheHead) {
  Start({SimTelephone::Entry(2, 5, "Games")});
  phone.PutSection(2, 5, Gif(5000));
  Refresh(1);
  EXPECT_EQ(RowOf(1).Kind, 3);
  EXPECT_EQ(RowOf(1).Title, "< GIF-File >");
  EXPECT_EQ(RowOf(1).Size, 5000);
  EXPECT_EQ(HeadReads(), 1);
  EXPECT_EQ(log.Count("GetNVMFileSize"), 1);
  EXPECT_EQ(ui.StatusLog, (std::vector<std::string>{"Refreshing section 2-5...", "Refreshed!"}));
  EXPECT_GE(ui.Repaints, 1);
  EXPECT_TRUE(ui.Boxes.empty());
}

TEST_F(Scan, UntickedCheckBoxSkipsTheHead) {
  Start({SimTelephone::Entry(2, 5, "Games")});
  phone.PutSection(2, 5, Gif(5000));
  RowOf(1).Format = 0x20000000;
  RowOf(1).Title = "old";
  RowOf(1).Icon = 107;
  m->SetCheckBox1(false);
  Refresh(1);
  const TSectInfo& r = RowOf(1);
  EXPECT_EQ(r.Kind, 1);
  EXPECT_EQ(r.Title, "");
  EXPECT_EQ(r.Format, 0u);
  EXPECT_EQ(r.Size, 5000);
  EXPECT_EQ(r.Compression, 0);
  EXPECT_EQ(r.Icon, -1);
  EXPECT_EQ(HeadReads(), 0);
}

TEST_F(Scan, SignatureNamesAndThePrg3LibrarySection) {
  phone.SetSign(3, "Saved game");
  Start({SimTelephone::Entry(2, 16, "PRG3 library"),
         SimTelephone::Entry(2, 17, "Games"),
         SimTelephone::Entry(3, 1, "Pictures"),
         {"0x0302", std::nullopt, std::nullopt}});
  const auto table = Bytes32({3, 1, 2, 4, 9}, 20);
  phone.PutSection(2, 16, table);
  phone.PutSection(2, 17, table);
  phone.PutSection(3, 1, Bytes32({3}, 16));
  phone.PutSection(3, 2, Bytes32({0x11223344}, 16));
  Button1Click(*m);
  EXPECT_EQ(RowOf(1).Title, "< PRG3 ExtLibrary ver.3>");
  EXPECT_EQ(RowOf(2).Title, "< Saved game >");
  EXPECT_EQ(RowOf(3).Title, "< Saved game >");
  EXPECT_EQ(RowOf(4).Title, "< Free or unknown data >");
  EXPECT_EQ(RowOf(4).Description, "Free");
}

TEST_F(Scan, ProgramHead) {
  Start({SimTelephone::Entry(2, 5, "Games")});
  std::string image = std::string("\x00\x00\x00\x20", 4) + "Hello" + std::string(200, '\0');
  phone.PutSection(2, 5, image);
  Refresh(1);
  EXPECT_EQ(RowOf(1).Kind, 1);
  EXPECT_EQ(RowOf(1).Format, 0x20000000u);
  EXPECT_EQ(RowOf(1).Title, "Hello");
  EXPECT_EQ(RowOf(1).Icon, 107);
  EXPECT_EQ(RowOf(1).Size, 209);
}

TEST_F(Scan, FullRefreshScansEveryRowOnOneConnection) {
  std::vector<TCatalogueEntry> rows;
  for (int i = 1; i <= 10; ++i) rows.push_back(SimTelephone::Entry(18, i, "Data"));
  Start(rows);
  for (int i = 1; i <= 10; i += 2) phone.PutSection(18, i, Gif(100 * i));
  phone.SetFault("SizeError", "18-4:-10");
  Button1Click(*m);

  EXPECT_EQ(log.Count("InitGBPMode"), 1);
  EXPECT_EQ(log.Count("EndGBPMode"), 1);
  EXPECT_EQ(log.Count("GetNVMFileSize"), 10);
  EXPECT_EQ(HeadReads(), 5);
  EXPECT_EQ(log.Calls.front().Entry, "InitGBPMode");
  EXPECT_EQ(log.Calls.back().Entry, "EndGBPMode");
  // Rows in order, one progress text each, then the result.
  std::vector<std::string> expected;
  for (int i = 1; i <= 10; ++i)
    expected.push_back("Refreshing section 18-" + std::to_string(i) + "...");
  expected.push_back("Updated!");
  EXPECT_EQ(ui.StatusLog, expected);
  EXPECT_GE(ui.Repaints, 11);
  // The failing row shows its box; the loop goes on.
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "Error getting section 18-4 size"},
                                         {"", "Update done!"}}));
  for (int i = 1; i <= 10; ++i) {
    if (i == 4) continue;
    EXPECT_EQ(RowOf(i).Size, i % 2 ? 100 * i : 0) << i;
    EXPECT_EQ(RowOf(i).Title, i % 2 ? "< GIF-File >" : "< Empty >") << i;
  }
}

TEST_F(Scan, FullRefreshWithoutHeads) {
  std::vector<TCatalogueEntry> rows;
  for (int i = 1; i <= 4; ++i) rows.push_back(SimTelephone::Entry(18, i, "Data"));
  Start(rows);
  for (int i = 1; i <= 4; ++i) phone.PutSection(18, i, Gif(64));
  m->SetCheckBox1(false);
  Button1Click(*m);
  EXPECT_EQ(log.Count("GetNVMFileSize"), 4);
  EXPECT_EQ(HeadReads(), 0);
  EXPECT_EQ(RowOf(4).Kind, 1);
}

TEST_F(Scan, NothingHappensWithoutAConnectionOrASection) {
  Start({SimTelephone::Entry(2, 5, "Games")});
  Refresh(0);  // the header placeholder
  EXPECT_TRUE(log.Calls.empty());
  EXPECT_TRUE(ui.StatusLog.empty());

  phone.SetSim("Link", "Answer", "0");
  Refresh(1);
  Button1Click(*m);
  EXPECT_EQ(log.Count("GetNVMFileSize"), 0);
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "GBP Error: No AT response!"},
                                         {"ERROR", "GBP Error: No AT response!"}}));
  EXPECT_TRUE(ui.StatusLog.empty());
}

TEST_F(Scan, EmptyCatalogue) {
  Start({});
  Button1Click(*m);
  EXPECT_EQ(log.Count("GetNVMFileSize"), 0);
  EXPECT_EQ(ui.LastStatus(), "Updated!");
  Refresh(1);
  EXPECT_EQ(log.Count("InitGBPMode"), 1);
}

// The device calls a Full Refresh makes, call by call: one connection, one size query per row,
// at most one 128-byte head read per row, never a read of a section that has nothing to show.

// One row of the test telephone and what its scan asks of the library.
struct TRowContent {
  int Section;
  int SubSection;
  enum { Absent, Bytes, SizeFault, ReadFault } What;
  std::size_t Length = 0;  // for Bytes
};

// A telephone whose rows cycle through every case the scan tells apart: absent, empty, a
// head shorter than 128 bytes, exactly 128, one more, a section far larger than the head,
// and sections whose size or head cannot be read.
std::vector<TRowContent> MixedRows(int count) {
  std::vector<TRowContent> rows;
  for (int i = 0; i < count; ++i) {
    const int section = 2 + i / 200, subSection = 1 + i % 200;
    switch (i % 9) {
      case 0:
        rows.push_back({section, subSection, TRowContent::Absent});
        break;
      case 1:
        rows.push_back({section, subSection, TRowContent::Bytes, 0});
        break;
      case 2:
        rows.push_back({section, subSection, TRowContent::Bytes, 10});
        break;
      case 3:
        rows.push_back({section, subSection, TRowContent::Bytes, 128});
        break;
      case 4:
        rows.push_back({section, subSection, TRowContent::Bytes, 129});
        break;
      case 5:
        rows.push_back({section, subSection, TRowContent::Bytes, 40000});
        break;
      case 6:
        rows.push_back({section, subSection, TRowContent::SizeFault, 500});
        break;
      case 7:
        rows.push_back({section, subSection, TRowContent::ReadFault, 500});
        break;
      default:
        rows.push_back({section, subSection, TRowContent::Bytes, 3000});
        break;
    }
  }
  return rows;
}

class RefreshCallCount : public CommandFixture<>, public ::testing::WithParamInterface<bool> {
 protected:
  void Start(const std::vector<TRowContent>& rows) {
    std::vector<TCatalogueEntry> catalogue;
    std::string sizeFaults, readFaults;
    for (const auto& r : rows) {
      catalogue.push_back(SimTelephone::Entry(r.Section, r.SubSection, "Row"));
      const std::string address = TSectionAddress{r.Section, r.SubSection}.Text();
      if (r.What == TRowContent::Absent) continue;
      // Contents that the classification sends down different paths: a GIF, a program.
      std::string bytes(r.Length, '\x5A');
      if (r.Length >= 6 && r.SubSection % 2) bytes.replace(0, 6, "GIF89a");
      phone.PutSection(r.Section, r.SubSection, bytes);
      if (r.What == TRowContent::SizeFault) sizeFaults += address + ":-10 ";
      if (r.What == TRowContent::ReadFault) readFaults += address + ":-10 ";
    }
    phone.SetFault("SizeError", sizeFaults);
    phone.SetFault("ReadError", readFaults);
    phone.SetCatalogue(catalogue);
    CommandFixture::Start();
    m->SetCheckBox1(GetParam());
    log.Clear();
  }
};

TEST_P(RefreshCallCount, ExactlyTheCallsOfTheRows) {
  const bool heads = GetParam();
  for (const int n : {1, 9, 60}) {
    SCOPED_TRACE("rows: " + std::to_string(n));
    const auto rows = MixedRows(n);
    Start(rows);
    ASSERT_EQ(m->RowCount(), n + 1);

    std::vector<std::string> expected{Call("InitGBPMode")};
    int reads = 0;
    for (const auto& r : rows) {
      expected.push_back(Call("GetNVMFileSize", {r.Section, r.SubSection}));
      const bool hasBytes =
          r.What == TRowContent::ReadFault || (r.What == TRowContent::Bytes && r.Length > 0);
      if (heads && hasBytes) {
        expected.push_back(Call("ReadNVMFile", {r.Section, r.SubSection, 128}));
        ++reads;
      }
    }
    expected.push_back(Call("EndGBPMode"));

    Button1Click(*m);
    EXPECT_THAT(log.Seen(), ElementsAreArray(expected));
    EXPECT_EQ(log.Count("GetNVMFileSize"), n);
    EXPECT_LE(log.Count("ReadNVMFile"), n);
    EXPECT_EQ(log.Count("ReadNVMFile"), reads);
    if (!heads) {
      EXPECT_EQ(reads, 0);
    }
    EXPECT_FALSE(m->NVM->PortOpen());
    EXPECT_EQ(ui.LastStatus(), "Updated!");

    m.reset();
    for (const auto& r : rows) phone.RemoveSection(r.Section, r.SubSection);
    ui.ClearRecords();
  }
}

// A size query that answers -5 is an absent section, unless it took longer than a second and
// the section that answered last does not answer either: then the telephone has fallen
// silent, and Full Refresh stops there instead of showing every row after it as empty and
// ending with "Update done!".
class SilentTelephone : public CommandFixture<> {
 protected:
  ~SilentTelephone() override { m.reset(); }  // the core goes before its timing
  TLinkTiming timing;
};

TEST_F(SilentTelephone, FullRefreshProbesASlowMinusFiveAndStopsWhereTheTelephoneFellSilent) {
  const TSectionAddress a21{2, 1}, a25{2, 5}, a29{2, 9}, a212{2, 12};
  const struct {
    const char* name;
    const char* sizeFault;  // the simulator's SizeError
    std::set<TSectionAddress> slow;
    std::optional<TSectionAddress> silentFrom;
    std::optional<TSectionAddress> stopsAt;
    std::vector<std::string> sizeQueries;
  } cases[] = {
      {"-5 at once: an absent section, no probe",
       "2-9:-5",
       {},
       {},
       {},
       {"2,1", "2,5", "2,9", "2,12"}},
      {"-5 after two seconds, the probe answers: absent",
       "2-9:-5",
       {a29},
       {},
       {},
       {"2,1", "2,5", "2,9", "2,5", "2,12"}},
      {"a slow size is a size: no probe", "", {a29}, {}, {}, {"2,1", "2,5", "2,9", "2,12"}},
      {"-5 after two seconds, the probe silent too: stopped",
       "",
       {},
       a29,
       a29,
       {"2,1", "2,5", "2,9", "2,5"}},
      {"silent from the first row, nothing to probe: stopped", "", {}, a21, a21, {"2,1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    phone.SetCatalogue({SimTelephone::Entry(2, 1, "A"), SimTelephone::Entry(2, 5, "B"),
                        SimTelephone::Entry(2, 9, "C"), SimTelephone::Entry(2, 12, "D")});
    for (const auto& a : {a21, a25, a29, a212}) phone.PutSection(a.Section, a.SubSection, Gif(300));
    phone.SetFault("SizeError", c.sizeFault);
    timing = TLinkTiming();
    timing.Slow = c.slow;
    timing.SilentFrom = c.silentFrom;
    Start(&timing);
    for (int r = 1; r < m->RowCount(); ++r)
      m->Sections[static_cast<std::size_t>(r)].Title = "before";

    Button1Click(*m);

    std::vector<std::string> asked;
    for (const auto& call : log.Calls)
      if (call.Entry == "GetNVMFileSize")
        asked.push_back(std::to_string(call.Args[0]) + "," + std::to_string(call.Args[1]));
    EXPECT_EQ(asked, c.sizeQueries);
    ExpectClosed();
    const auto title = [&](int row) { return m->Sections[static_cast<std::size_t>(row)].Title; };
    if (c.stopsAt) {
      EXPECT_EQ(ui.LastStatus(),
                "Stopped at section " + c.stopsAt->Text() + ": the telephone stopped answering!");
      EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "The telephone stopped answering (section " +
                                                           c.stopsAt->Text() + ")"}}));
      EXPECT_EQ(title(4), "before");  // 2-12, never reached, shows what it showed
    } else {
      EXPECT_EQ(ui.LastStatus(), "Updated!");
      EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"", "Update done!"}}));
      EXPECT_EQ(title(3), *c.sizeFault ? "< Empty >" : "< GIF-File >");
      EXPECT_EQ(title(4), "< GIF-File >");
    }
    m.reset();
    ui.ClearRecords();
  }
}

INSTANTIATE_TEST_SUITE_P(AdditionalInfo, RefreshCallCount, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Ticked" : "Unticked"; });

}  // namespace
}  // namespace zub::test
