#include "prefs/Preferences.h"

#include <cstdint>
#include <string>

#include "app/Convert.h"
#include "app/SectInfo.h"
#include "prefs/PrefRecord.h"

namespace zub {
namespace {

constexpr const char* kUploadError =
    "Section uploaded with error or out of memory!\nTry to upload again or free some NVM memory";

// The dialog shows a stored byte as a signed 8-bit number: 9 as "9", 255 as "-1".
std::string ByteText(std::uint8_t b) {
  return std::to_string(static_cast<std::int8_t>(b));
}

// Only the low 8 bits of a field reach the record: 300 is stored as 44, -1 as 255.
std::uint8_t LowByte(std::int32_t v) {
  return static_cast<std::uint8_t>(v & 0xFF);
}

// Adds up the sizes of 2-i, 17-i and 18-i for i = 1..30 on a connection of its own.
void RefreshSpaceTotals(TManager& m) {
  if (!m.NVM->InitGBP()) return;
  constexpr std::int32_t kSections[3] = {2, 17, 18};
  std::int64_t totals[3] = {0, 0, 0};
  for (std::int32_t i = 1; i <= 30; ++i) {
    for (int k = 0; k < 3; ++k) {
      m.NVM->SetSect(kSections[k]);
      m.NVM->SetSSect(i);
      // 0 and the "no such section" codes add nothing, nor does any other failure.
      const std::int32_t size = m.NVM->GetSize();
      if (size > 0) totals[k] += size;
    }
  }
  m.NVM->EndGBP();
  m.Pref.Label4 = "Total space used by section 02: " + std::to_string(totals[0]);
  m.Pref.Label5 = "Total space used by section 17: " + std::to_string(totals[1]);
  m.Pref.Label6 = "Total space used by section 18: " + std::to_string(totals[2]);
}

}  // namespace

void GetPrefAction(TManager& m) {
  TPrefModel& p = m.Pref;
  p.sEdit.clear();
  p.ssEdit.clear();
  p.LastRecord.reset();
  if (!m.NVM->InitGBP()) return;
  m.NVM->SetSect(kPrefSection);
  m.NVM->SetSSect(kPrefSubSection);
  // Cleared first, so a short record shows the defaults rather than stale bytes.
  TPrefBytes buffer{};
  const std::int32_t n = m.NVM->Read(buffer.data(), kPrefRecordSize);
  m.NVM->EndGBP();
  if (n < 0) {
    m.UI.MessageBox("ERROR",
                    "Error reading section " + SectionAddress(kPrefSection, kPrefSubSection));
    return;
  }
  for (std::size_t i = static_cast<std::size_t>(n); i < buffer.size(); ++i) buffer[i] = 0;
  p.LastRecord = buffer;
  const TPrefRecord record = DecodePrefRecord(buffer);

  if (n >= static_cast<std::int32_t>(kPrefRecordSize) && record.AutorunSubSection != 0) {
    p.AsEdit = ByteText(record.AutorunSection);
    p.AssEdit = ByteText(record.AutorunSubSection);
    p.ACheckBox = true;
  } else {
    p.ACheckBox = false;
  }
  p.AsVisible = p.ACheckBox;
  p.AssVisible = p.ACheckBox;

  if (const auto index = RadioIndexOfMenuMode(record.MenuMode)) p.RG1 = *index;

  if (record.LibSection != 0) {
    p.sEdit = ByteText(record.LibSection);
    p.ssEdit = ByteText(record.LibSubSection);
  } else {
    p.sEdit = "2";
    p.ssEdit = "17";
  }

  RefreshSpaceTotals(m);
}

void SetPrefAction(TManager& m) {
  const TPrefModel& p = m.Pref;
  m.UI.Status("Uploading data...");
  TPrefRecord record;
  record.LibSection = LowByte(StrToInt(p.sEdit));
  record.LibSubSection = LowByte(StrToInt(p.ssEdit));
  if (p.ACheckBox) {
    record.AutorunSection = LowByte(StrToInt(p.AsEdit));
    record.AutorunSubSection = LowByte(StrToInt(p.AssEdit));
  }
  // With no radio item selected the stored mode is kept; with nothing stored there is no mode
  // to write, and a record without one would leave the modification's menu undefined.
  if (const auto mode = MenuModeOfRadioIndex(p.RG1)) {
    record.MenuMode = *mode;
  } else if (p.LastRecord) {
    record.MenuMode = (*p.LastRecord)[kPrefMenuModeAt];
  } else {
    m.UI.MessageBox("ERROR", "Please select the menu show mode!");
    return;
  }
  // Bytes 10 and 11 are not ours to interpret: they go back as they were read.
  if (p.LastRecord) record.Reserved2 = load_u16le(*p.LastRecord, kPrefReserved2At).value_or(0);
  const TPrefBytes bytes = EncodePrefRecord(record);

  if (!m.NVM->InitGBP()) return;
  m.NVM->SetSect(kPrefSection);
  m.NVM->SetSSect(kPrefSubSection);
  const std::int32_t written = m.NVM->Write(bytes.data(), kPrefRecordSize);
  // A write the telephone did not keep whole must not be reported as done. The record always
  // has the same size, so after a write the library refused (a full memory) the old record
  // still passes the size check: the write's own failure counts as well.
  const std::int32_t size = m.NVM->GetSize();
  m.NVM->EndGBP();
  if (written < 0 || size != static_cast<std::int32_t>(kPrefRecordSize)) {
    m.UI.MessageBox("ERROR", kUploadError);
    m.UI.Status("Upload error!");
    return;
  }
  m.UI.Status("Uploaded!");
}

void Button3Click(TManager& m) {
  // The dialog's FormShow: filled afresh from the telephone every time it opens.
  GetPrefAction(m);
  if (m.UI.ShowModal(TFormId::PrefForm) == mrOk) SetPrefAction(m);
}

}  // namespace zub
