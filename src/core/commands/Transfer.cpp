#include "commands/Transfer.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "base/FileIO.h"
#include "commands/Conversion.h"
#include "commands/Messages.h"
#include "commands/Scan.h"
#include "commands/SectionIO.h"
#include "device/GBPSession.h"
#include "formats/Ufif.h"

namespace zub {
namespace {

// A GIF picture may be larger than the other sections the tool reads.
constexpr std::size_t kGifReadCapacity = 220000;

}  // namespace

void UploadActionExecute(TCoreState& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  auto file = OpenProgramFile(m);
  if (!file) return;
  std::vector<std::uint8_t>& buffer = *file;
  const auto n = static_cast<std::int32_t>(buffer.size());
  if (!OfferConversion(m, buffer)) return;
  if (n > kMaxUploadSize) {
    m.UI.MessageBox(kErrorCaption, kFileTooBig);
    return;
  }
  const auto r = WriteAndRescan(m, *row, Bytes(buffer.data(), static_cast<std::size_t>(n)));
  if (!r) return;
  ReportUpload(m, *r, n);
}

void DownloadActionExecute(TCoreState& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  m.UI.Status(kStatusDownloading);
  // The whole section, however long: a copy the user keeps must not lose data.
  TReadOptions options;
  options.SizeFirst = true;
  const auto content = LoadSection(m, row->Address(), options);
  if (!content) return;
  if (const auto path = m.UI.SaveFile()) WriteFileAtomic(*path, content->Data);
  m.UI.Status(kStatusDownloaded);
}

bool ClearActionExecute(TCoreState& m) {
  return EraseCurrentRow(m) == TEraseOutcome::Erased;
}

TEraseOutcome EraseCurrentRow(TCoreState& m, const char* lostNote) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return TEraseOutcome::NotErased;
  m.UI.Status("Erasing section...");
  TGBPSession session(*m.NVM);
  // The component has said why; an opening that lost the link ends the command that erases.
  if (!session) return m.NVM->LinkLost() ? TEraseOutcome::LinkLost : TEraseOutcome::NotErased;
  ClearSection(*m.NVM, row->Address());
  // An erase whose answer was lost may or may not have been done; no rescan follows it.
  const TScanResult scan =
      m.NVM->LinkLost() ? TScanResult{0, LinkLostError(row->Address(), TDeviceActivity::Erasing)}
                        : ScanRow(m, *row);
  if (IsLinkLost(scan.Error)) {
    session.Close();
    m.UI.RepaintGrid();
    ReportLinkLost(m, *scan.Error, lostNote);
    return TEraseOutcome::LinkLost;
  }
  if (scan.Error) m.UI.MessageBox(kErrorCaption, scan.Error->Text);
  session.Close();
  m.UI.RepaintGrid();
  // An erase is reported only when the section reads as empty afterwards.
  if (scan.Size != 0) {
    m.UI.MessageBox(kErrorCaption, "Error erasing section " + row->Address().Text());
    m.UI.Status("Erase error!");
    return TEraseOutcome::NotErased;
  }
  m.UI.Status(kStatusErased);
  return TEraseOutcome::Erased;
}

void PlayGIFActionExecute(TCoreState& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  m.UI.Status(kStatusDownloading);
  TReadOptions options;
  options.Capacity = kGifReadCapacity;
  const auto content = LoadSection(m, row->Address(), options);
  if (!content) return;
  m.UI.Status(kStatusDownloaded);
  WriteFileAtomic("temp.gif", content->Data);
  if (!m.UI.Launch("start temp.gif")) {
    std::error_code ec;
    const std::filesystem::path saved = std::filesystem::absolute("temp.gif", ec);
    m.UI.MessageBox(kErrorCaption,
                    "Can't open the picture: no program could be started for " + saved.string());
  }
}

void Button4Click(TCoreState& m) {
  TGBPSession session(*m.NVM);
  if (!session) return;
  std::int64_t total = 0;
  for (int i = 1; i <= 31; ++i) {
    const TSizeAnswer size = AskSize(*m.NVM, {18, i});
    if (IsLinkLost(size.Error)) {
      // A total without the sections not reached would be a wrong one.
      session.Close();
      ReportLinkLost(m, *size.Error);
      return;
    }
    if (size.Code > 0) total += size.Code;
  }
  session.Close();
  m.UI.MessageBox("", "Total Section 18xx size = " + std::to_string(total));
}

}  // namespace zub
