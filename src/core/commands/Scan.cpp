#include "commands/Scan.h"

#include <vector>

#include "commands/Messages.h"
#include "commands/SectionIO.h"
#include "device/GbpApi.h"
#include "formats/Classify.h"
#include "formats/IconTable.h"

namespace zub {
namespace {

bool Halted(const std::optional<TStepError>& e) {
  return e && (e->Kind == TFailureKind::LinkLost || e->Kind == TFailureKind::Stopped);
}

}  // namespace

TScanResult ScanRow(TCoreState& m, TSectInfo& row, TSectionLink* link) {
  const TSectionAddress a = row.Address();
  m.UI.Status("Refreshing section " + a.Text() + "...");

  const TSizeAnswer sized = link ? link->QuerySize(a) : AskSize(*m.NVM, a);
  if (Halted(sized.Error)) return {sized.Code < 0 ? sized.Code : gbp::kNoSectionAlt, sized.Error};
  // The library answers -153 or -5 for a section that does not exist: that is an empty one.
  // A size beyond what the tool reads whole is still a size to show.
  std::int32_t size = sized.Code;
  if (size == gbp::kNoSection || size == gbp::kNoSectionAlt) size = 0;
  if (size < 0)
    return {size,
            TStepError{TFailureKind::Refused, "Error getting section " + a.Text() + " size", size}};
  if (size == 0) {
    row.Kind = skEmpty;
    row.Title = "< Empty >";
    row.Size = 0;
    row.Compression = 0;
    row.UnpackedSize = 0;
    row.Icon = kEmptyIcon;
    return {0, std::nullopt};
  }
  if (!m.CheckBox1) {
    row.Size = size;
    row.Kind = skProgram;
    row.Format = 0;
    row.Title.clear();
    row.Compression = 0;
    row.Icon = -1;
    return {size, std::nullopt};
  }

  std::vector<std::uint8_t> head(kHeadSize);
  std::int32_t n = 0;
  if (link) {
    const auto failed = link->ReadPart(a, head, &n);
    if (Halted(failed)) return {gbp::kNoSectionAlt, failed};
  } else {
    n = ReadInto(*m.NVM, head);
    if (m.NVM->LinkLost()) return {gbp::kNoSectionAlt, LinkLostError(a, TDeviceActivity::Reading)};
  }
  if (n < 0)
    return {n,
            TStepError{TFailureKind::Refused, ErrorReadingSection(row.Section, row.SubSection), n}};

  THeadInput in;
  in.Head = Bytes(head.data(), head.size());
  in.Section = row.Section;
  in.SubSection = row.SubSection;
  in.Size = size;
  in.Description = row.Description;
  ApplyHeadClass(row, ClassifyHead(in, [&m](std::uint32_t first, const std::string& fallback) {
                   return m.SignatureName(first, fallback);
                 }));
  return {size, std::nullopt};
}

std::int32_t ScanSection(TCoreState& m, TSectInfo& row) {
  const TScanResult r = ScanRow(m, row);
  if (IsLinkLost(r.Error))
    ReportLinkLost(m, *r.Error);
  else if (r.Error)
    m.UI.MessageBox(kErrorCaption, r.Error->Text);
  return r.Size;
}

void Button1Click(TCoreState& m) {
  TSectionLink link(m);
  if (!link) return;
  for (int r = 1; r < m.RowCount(); ++r) {
    TSectInfo& row = m.Sections[static_cast<std::size_t>(r)];
    const TScanResult scan = ScanRow(m, row, &link);
    if (link.Lost()) {
      // No "Update done!": the rows from here on were not scanned.
      link.Close();
      m.UI.RepaintGrid();
      m.UI.Status(StoppedAtText(row.Address()));
      m.UI.MessageBox(kErrorCaption, StoppedAnsweringText(row.Address()));
      return;
    }
    if (link.StopRequested()) {
      // The window is closing: it ends here, without a box.
      link.Close();
      return;
    }
    if (scan.Error) m.UI.MessageBox(kErrorCaption, scan.Error->Text);
    m.UI.RepaintGrid();
  }
  m.UI.RepaintGrid();
  link.Close();
  m.UI.Status("Updated!");
  m.UI.MessageBox("", "Update done!");
}

void RefreshActionExecute(TCoreState& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  TGBPSession session(*m.NVM);
  if (!session) return;
  const TScanResult scan = ScanRow(m, *row);
  if (IsLinkLost(scan.Error)) {
    session.Close();
    m.UI.RepaintGrid();
    ReportLinkLost(m, *scan.Error);
    return;
  }
  if (scan.Error) m.UI.MessageBox(kErrorCaption, scan.Error->Text);
  session.Close();
  m.UI.RepaintGrid();
  m.UI.Status("Refreshed!");
}

}  // namespace zub
