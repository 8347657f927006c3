#include "formats/Conversion.h"

#include <vector>

#include "app/FileIO.h"
#include "browser/Scan.h"
#include "formats/Ufif.h"
#include "transfer/Transfer.h"

namespace zub {

TConvertAnswer AskConversion(TManager& m) {
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

void ConvertImage(TManager& m, MutableBytes image) {
  m.UI.Status("Converting data...");
  const TFirmwareChoice fw = ParseFirmwareText(m.Experts.FWText);
  MarkUFIF21(image);
  const std::vector<std::string> report = ConvertToUFIF21(image, fw);
  m.UI.Status("Convert done!");
  if (!report.empty()) m.BadAddr.Memo1 = report;
}

bool OfferConversion(TManager& m, MutableBytes image) {
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

void ConvertActionExecute(TManager& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  const std::string address = SectionAddress(row->Section, row->SubSection);
  m.UI.Status("Downloading data...");
  if (!m.NVM->InitGBP()) return;
  SelectSection(m, *row);
  // The whole section comes back (not only its first 21504 bytes), so the write-back never
  // shortens it.
  std::vector<std::uint8_t> buffer(kSectionBufferSize);
  const std::int32_t n = m.NVM->Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  // A full buffer may hold only the head of a longer section: such a section is refused
  // before it is erased, since writing the head back would cut off its tail.
  bool tooLong = false;
  if (n >= 0 && static_cast<std::size_t>(n) >= buffer.size())
    tooLong = static_cast<std::size_t>(n) > buffer.size() || m.NVM->GetSize() != n;
  m.NVM->EndGBP();
  if (n < 0) {
    m.UI.MessageBox("ERROR", "Error reading section " + address);
    return;
  }
  if (tooLong) {
    m.UI.MessageBox("ERROR", "Can't convert - section " + address + " too big!");
    return;
  }
  m.UI.Status("Downloaded!");
  buffer.resize(static_cast<std::size_t>(n));
  if (IsUFIF20(buffer)) ConvertImage(m, buffer);
  WriteFileAtomic("temp.prg", buffer);

  // The erase goes on to the write whatever it reports: the write replaces the section anyway.
  ClearActionExecute(m);

  m.UI.Status("Uploading data...");
  const auto r = WriteAndRescan(m, *row, buffer);
  if (!r) return;
  if (*r == n) {
    m.UI.MessageBox("OK!", "Section uploaded sucsessfully!");
    m.UI.Status("Uploaded!");
  } else {
    m.UI.MessageBox("ERROR",
                    "Section uploaded with error or out of memory!\nTry to upload again or free "
                    "some NVM memory.\nConverted program stored at temp.prg file!!!");
    m.UI.Status("Upload error!");
  }
}

}  // namespace zub
