#include "commands/Preferences.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "base/Convert.h"
#include "commands/Messages.h"
#include "commands/SectionIO.h"
#include "device/GBPSession.h"
#include "formats/PrefRecord.h"
#include "formats/SectInfo.h"

namespace zub {
namespace {

// The dialog shows a stored byte as a signed 8-bit number: 9 as "9", 255 as "-1".
std::string ByteText(std::uint8_t b) {
  return std::to_string(static_cast<std::int8_t>(b));
}

// Only the low 8 bits of a field reach the record: 300 is stored as 44, -1 as 255.
std::uint8_t LowByte(std::int32_t v) {
  return static_cast<std::uint8_t>(v & 0xFF);
}

// Adds up the sizes of 2-i, 17-i and 18-i for i = 1..30 on a connection of its own. False
// when the telephone stopped answering (after its box); the labels then stay as they were.
bool RefreshSpaceTotals(TCoreState& m) {
  TGBPSession session(*m.NVM);
  if (!session) return !m.NVM->LinkLost();
  constexpr std::int32_t kSections[3] = {2, 17, 18};
  std::int64_t totals[3] = {0, 0, 0};
  for (std::int32_t i = 1; i <= 30; ++i) {
    for (int k = 0; k < 3; ++k) {
      // 0 and the "no such section" codes add nothing, nor does any other failure.
      const TSizeAnswer size = AskSize(*m.NVM, {kSections[k], i});
      if (IsLinkLost(size.Error)) {
        session.Close();
        ReportLinkLost(m, *size.Error);
        return false;
      }
      if (size.Code > 0) totals[k] += size.Code;
    }
  }
  session.Close();
  m.Pref.Label4 = "Total space used by section 02: " + std::to_string(totals[0]);
  m.Pref.Label5 = "Total space used by section 17: " + std::to_string(totals[1]);
  m.Pref.Label6 = "Total space used by section 18: " + std::to_string(totals[2]);
  return true;
}

}  // namespace

bool GetPrefAction(TCoreState& m) {
  TPrefModel& p = m.Pref;
  p.sEdit.clear();
  p.ssEdit.clear();
  p.LastRecord.reset();
  p.LastRecordLength = 0;
  TReadOptions options;
  options.Capacity = kPrefRecordSize;
  bool lost = false;
  const auto content = LoadSection(m, {kPrefSection, kPrefSubSection}, options, &lost);
  if (!content) return !lost;
  // Bytes past what was read stay 0, so a short record shows the defaults.
  TPrefBytes buffer{};
  std::copy(content->Data.begin(), content->Data.end(), buffer.begin());
  const auto n = static_cast<std::int32_t>(content->Data.size());
  p.LastRecord = buffer;
  p.LastRecordLength = content->Data.size();
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

  return RefreshSpaceTotals(m);
}

void SetPrefAction(TCoreState& m) {
  const TPrefModel& p = m.Pref;
  m.UI.Status(kStatusUploading);
  TPrefRecord record;
  record.LibSection = LowByte(StrToInt(p.sEdit));
  record.LibSubSection = LowByte(StrToInt(p.ssEdit));
  if (p.ACheckBox) {
    record.AutorunSection = LowByte(StrToInt(p.AsEdit));
    record.AutorunSubSection = LowByte(StrToInt(p.AssEdit));
  }
  // With no radio item selected the stored mode is kept; with nothing stored (no record read,
  // or one too short to hold the mode) there is no mode to write, and a record without one
  // would leave the modification's menu undefined.
  if (const auto mode = MenuModeOfRadioIndex(p.RG1)) {
    record.MenuMode = *mode;
  } else if (p.LastRecord && p.LastRecordLength > kPrefMenuModeAt) {
    record.MenuMode = (*p.LastRecord)[kPrefMenuModeAt];
  } else {
    m.UI.MessageBox(kErrorCaption, "Please select the menu show mode!");
    return;
  }
  // Bytes 10 and 11 are not ours to interpret: they go back as they were read.
  if (p.LastRecord) record.Reserved2 = load_u16le(*p.LastRecord, kPrefReserved2At).value_or(0);
  const TPrefBytes bytes = EncodePrefRecord(record);

  TGBPSession session(*m.NVM);
  if (!session) return;
  const TSectionAddress a{kPrefSection, kPrefSubSection};
  const std::int32_t written = WriteSection(*m.NVM, a, Bytes(bytes.data(), kPrefRecordSize));
  if (m.NVM->LinkLost()) {
    session.Close();
    ReportLinkLost(m, LinkLostError(a, TDeviceActivity::Writing));
    return;
  }
  // A write the telephone did not keep whole must not be reported as done. The record always
  // has the same size, so after a write the library refused (a full memory) the old record
  // still passes the size check: the write's own failure counts as well.
  const TSizeAnswer sized = AskSize(*m.NVM, a);
  session.Close();
  if (IsLinkLost(sized.Error)) {
    ReportLinkLost(m, *sized.Error);
    return;
  }
  const std::int32_t size = sized.Code;
  if (written < 0 || size != static_cast<std::int32_t>(kPrefRecordSize)) {
    m.UI.MessageBox(kErrorCaption, kUploadErrorText);
    m.UI.Status(kStatusUploadError);
    return;
  }
  m.UI.Status(kStatusUploaded);
}

void Button3Click(TCoreState& m) {
  // The dialog's FormShow: filled afresh from the telephone every time it opens.
  if (!GetPrefAction(m)) return;
  if (m.UI.ShowModal(TFormId::PrefForm) == mrOk) SetPrefAction(m);
}

}  // namespace zub
