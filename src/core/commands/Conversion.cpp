#include "commands/Conversion.h"

#include <vector>

#include "base/FileIO.h"
#include "commands/Messages.h"
#include "commands/Scan.h"
#include "commands/SectionIO.h"
#include "commands/Transfer.h"
#include "formats/Ufif.h"

namespace zub {

TConvertAnswer AskConversion(TCoreState& m) {
  m.Experts.FWBorrowed = true;
  int result = mrCancel;
  try {
    result = m.UI.ShowModal(TFormId::OKBottomDlg);
  } catch (...) {
    m.Experts.FWBorrowed = false;
    throw;
  }
  m.Experts.FWBorrowed = false;
  m.SettingsSave();
  if (result == mrYes) return TConvertAnswer::Yes;
  if (result == mrNo) return TConvertAnswer::No;
  return TConvertAnswer::Cancel;
}

void ConvertImage(TCoreState& m, MutableBytes image) {
  m.UI.Status("Converting data...");
  const TFirmwareChoice fw = ParseFirmwareText(m.Experts.FWText);
  MarkUFIF21(image);
  const std::vector<std::string> report = ConvertToUFIF21(image, fw);
  m.UI.Status("Convert done!");
  if (!report.empty()) m.BadAddr.Memo1 = report;
}

bool OfferConversion(TCoreState& m, MutableBytes image) {
  if (!IsUFIF20(image)) return true;
  switch (AskConversion(m)) {
    case TConvertAnswer::Yes:
      ConvertImage(m, image);
      return true;
    case TConvertAnswer::No:
      return true;
    case TConvertAnswer::Cancel:
      return false;
  }
  return false;
}

void ConvertActionExecute(TCoreState& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  const std::string address = row->Address().Text();
  m.UI.Status(kStatusDownloading);
  // The whole section is read, so the write-back never shortens it. A section that holds
  // more than the buffer is refused before it is erased: writing back only its head would
  // cut off its tail.
  TReadOptions options;
  options.DetectLonger = true;
  auto content = LoadSection(m, row->Address(), options);
  if (!content) return;
  if (content->Longer) {
    m.UI.MessageBox(kErrorCaption, "Can't convert - section " + address + " too big!");
    return;
  }
  m.UI.Status(kStatusDownloaded);
  std::vector<std::uint8_t>& buffer = content->Data;
  const auto n = static_cast<std::int32_t>(buffer.size());
  if (IsUFIF20(buffer)) ConvertImage(m, buffer);
  WriteFileAtomic("temp.prg", buffer);

  // The erase goes on to the write whatever it reports: the write replaces the section anyway.
  // A telephone that stopped answering is asked nothing more; the program is in temp.prg.
  if (EraseCurrentRow(m, kConvertKeptNote) == TEraseOutcome::LinkLost) return;

  m.UI.Status(kStatusUploading);
  const auto r = WriteAndRescan(m, *row, buffer);
  if (!r) {
    // The section is erased and the program is not back: the user must know where it is.
    m.UI.MessageBox(kErrorCaption, kConvertUploadErrorText);
    m.UI.Status(kStatusUploadError);
    return;
  }
  if (r->Lost) {
    ReportLinkLost(m, *r->Lost, kConvertKeptNote);
    return;
  }
  ReportUpload(m, *r, n, kUploadedSuccessfully, kStatusUploaded, kConvertUploadErrorText);
}

}  // namespace zub
