#include "commands/Scan.h"

#include <algorithm>
#include <array>

#include "commands/Messages.h"
#include "device/GBPSession.h"
#include "device/GbpApi.h"
#include "formats/Classify.h"
#include "formats/IconTable.h"

namespace zub {

std::int32_t ScanSection(TCoreState& m, TSectInfo& row) {
  const std::string address = SectionAddress(row.Section, row.SubSection);
  m.UI.Status("Refreshing section " + address + "...");

  m.NVM->SetSect(row.Section);
  m.NVM->SetSSect(row.SubSection);
  std::int32_t size = m.NVM->GetSize();
  // The library answers -153 or -5 for a section that does not exist: that is an empty one.
  if (size == gbp::kNoSection || size == gbp::kNoSectionAlt) size = 0;
  if (size < 0) {
    m.UI.MessageBox("ERROR", "Error getting section " + address + " size");
    return size;
  }
  if (size == 0) {
    row.Kind = skEmpty;
    row.Title = "< Empty >";
    row.Size = 0;
    row.Compression = 0;
    row.UnpackedSize = 0;
    row.Icon = kEmptyIcon;
    return 0;
  }
  if (!m.CheckBox1) {
    row.Size = size;
    row.Kind = skProgram;
    row.Format = 0;
    row.Title.clear();
    row.Compression = 0;
    row.Icon = -1;
    return size;
  }

  std::array<std::uint8_t, kHeadSize> head{};
  const std::int32_t n = m.NVM->Read(head.data(), static_cast<std::uint32_t>(head.size()));
  if (n < 0) {
    m.UI.MessageBox(kErrorCaption, ErrorReadingSection(row.Section, row.SubSection));
    return n;
  }
  // A library that claims more than the buffer holds still delivered at most the buffer.
  const auto delivered = std::min<std::size_t>(static_cast<std::size_t>(n), head.size());

  THeadInput in;
  in.Head = Bytes(head.data(), delivered);
  in.Section = row.Section;
  in.SubSection = row.SubSection;
  in.Size = size;
  in.Description = row.Description;
  ApplyHeadClass(row, ClassifyHead(in, [&m](std::uint32_t first, const std::string& fallback) {
                   return m.SignatureName(first, fallback);
                 }));
  return size;
}

void Button1Click(TCoreState& m) {
  TGBPSession session(*m.NVM);
  if (!session) return;
  for (int r = 1; r < m.RowCount(); ++r) {
    ScanSection(m, m.Sections[static_cast<std::size_t>(r)]);
    m.UI.RepaintGrid();
  }
  m.UI.RepaintGrid();
  session.Close();
  m.UI.Status("Updated!");
  m.UI.MessageBox("", "Update done!");
}

void RefreshActionExecute(TCoreState& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  TGBPSession session(*m.NVM);
  if (!session) return;
  ScanSection(m, *row);
  session.Close();
  m.UI.RepaintGrid();
  m.UI.Status("Refreshed!");
}

}  // namespace zub
