// The device calls a Full Refresh makes, call by call: one connection, one size query per row,
// at most one 128-byte head read per row, never a read of a section that has nothing to show.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/Scan.h"
#include "support/CommandFixture.h"

namespace zub::test {
namespace {

using ::testing::ElementsAreArray;

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
      const std::string address = SectionAddress(r.Section, r.SubSection);
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

INSTANTIATE_TEST_SUITE_P(AdditionalInfo, RefreshCallCount, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Ticked" : "Unticked"; });

}  // namespace
}  // namespace zub::test
