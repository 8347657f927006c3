#include "formats/LzoUpload.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/FileIO.h"
#include "browser/Cp1251.h"
#include "browser/IconTable.h"
#include "browser/Scan.h"
#include "formats/Conversion.h"
#include "saveslots/SaveSlotSelection.h"
#include "saveslots/SaveStore.h"
#include "transfer/Transfer.h"

namespace zub {
namespace {

constexpr std::size_t kNameCompareLength = 5;

const char* const kKeepPrompt =
    "I've found that you try to upload another version of the same program. Mark saved items "
    "you want to keep with new version of program. (this items will be placed AFTER new "
    "program's items)";
const char* const kNewFilePrompt =
    "Please select save items you want to be uploaded with new version of program.";
const char* const kTooBig = "Can't uplod - file too big!";

// The section's records the user keeps for the new version, already assembled; nullopt when
// the section could not be read (after the message).
std::optional<std::vector<std::uint8_t>> KeptRecords(TManager& m, const TSectInfo& row) {
  SelectSection(m, row);
  std::vector<std::uint8_t> section(kSectionBufferSize);
  // Read opens the connection by itself.
  const std::int32_t n = m.NVM->Read(section.data(), static_cast<std::uint32_t>(section.size()));
  m.NVM->EndGBP();
  if (n < 0) {
    m.UI.MessageBox("ERROR",
                    "Error reading section " + SectionAddress(row.Section, row.SubSection));
    return std::nullopt;
  }
  section.resize(static_cast<std::size_t>(n));

  m.SaveSlotForm.Label1 = kKeepPrompt;
  if (SelectSaveSlots(m, section) <= 0) return std::vector<std::uint8_t>{};
  const auto start = static_cast<std::size_t>(m.FSaveStart);
  TSaveAreaAssembler kept(section, start);
  for (const TSaveSlot& slot : m.FSaveSlots)
    if (slot.Selected) kept.AddFromSelf(slot);
  const auto begin = section.begin() + static_cast<std::ptrdiff_t>(start);
  return std::vector<std::uint8_t>(begin, begin + kept.SaveLength());
}

}  // namespace

bool IsSameProgram(Bytes lzoImage, std::string_view title) {
  // The header holds the name in the telephone's code page, the row's title is decoded text.
  const std::string name = Cp1251ToUtf8(load_text(lzoImage, TLZOHeader::Name, kNameCompareLength));
  const std::string_view titleHead =
      Utf8Prefix(title.substr(0, title.find('\0')), kNameCompareLength);
  // A name that is empty (data, or a program without one) names nothing to compare.
  return !name.empty() && name == titleHead;
}

void UploadLZOActionExecute(TManager& m) {
  UploadLZOActionExecute(m, CompressLZO1X999);
}

void UploadLZOActionExecute(TManager& m, const TLZOCompressor& compress) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  const auto path = m.UI.OpenFile(kOpenDialog1Filter);
  if (!path) return;
  m.UI.Status("Uploading data...");
  std::vector<std::uint8_t> image = ReadFileHead(*path, kSectionBufferSize);
  image.resize(
      static_cast<std::size_t>(StripFiller(image, static_cast<std::int32_t>(image.size()))));
  if (!OfferConversion(m, image)) return;

  const std::size_t built = BuildLZOImage(
      image, image.size(), [&m] { return ChooseIconCode(m); }, compress);
  if (built == 0) {
    m.UI.MessageBox("ERROR", "LZO compression error!");
    return;
  }
  image.resize(built);

  std::vector<std::uint8_t> kept;
  if (built <= kMaxCarryOverImage && IsSameProgram(image, row->Title)) {
    auto records = KeptRecords(m, *row);
    if (!records) return;
    kept = std::move(*records);
  }

  m.SaveSlotForm.Label1 = kNewFilePrompt;
  const std::int32_t count = SelectSaveSlots(m, image);
  std::size_t n = image.size();
  if (count != kSaveSlotsCancelled) {
    // Without a store of its own the whole image is the program part.
    TSaveAreaAssembler store(image, count > 0 ? static_cast<std::size_t>(m.FSaveStart) : n);
    if (count > 0) {
      for (const TSaveSlot& slot : m.FSaveSlots)
        if (slot.Selected) store.AddFromSelf(slot);
    }
    store.AddBlock(kept);
    store.Close();
    if (store.TooBig()) {
      m.UI.MessageBox("ERROR", kTooBig);
      return;
    }
    n = store.Length();
  }
  if (n > static_cast<std::size_t>(kMaxUploadSize)) {
    m.UI.MessageBox("ERROR", kTooBig);
    return;
  }

  const auto size = WriteAndRescan(m, *row, Bytes(image.data(), n));
  if (!size) return;
  ReportUpload(m, *size, static_cast<std::int32_t>(n));
}

}  // namespace zub
