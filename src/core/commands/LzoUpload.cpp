#include "commands/LzoUpload.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Convert.h"
#include "base/Cp1251.h"
#include "base/FileIO.h"
#include "commands/Conversion.h"
#include "commands/Messages.h"
#include "commands/SaveSlotSelection.h"
#include "commands/Scan.h"
#include "commands/SectionIO.h"
#include "formats/IconTable.h"
#include "formats/SaveStore.h"
#include "formats/Ufif.h"

namespace zub {
namespace {

constexpr std::size_t kNameCompareLength = 5;

const char* const kKeepPrompt =
    "I've found that you try to upload another version of the same program. Mark saved items "
    "you want to keep with new version of program. (this items will be placed AFTER new "
    "program's items)";
const char* const kNewFilePrompt =
    "Please select save items you want to be uploaded with new version of program.";

// The section's records the user keeps for the new version, already assembled; nullopt when
// the section could not be read (after the message).
std::optional<std::vector<std::uint8_t>> KeptRecords(TCoreState& m, const TSectInfo& row) {
  TReadOptions options;
  options.ReadOpensConnection = true;
  auto content = LoadSection(m, row.Address(), options);
  if (!content) return std::nullopt;
  std::vector<std::uint8_t>& section = content->Data;

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

std::uint32_t ChooseIconCode(TCoreState& m) {
  if (m.UI.ShowModal(TFormId::IconForm) != mrOk) return DefaultIconCode;
  const auto caption = IconCaption(m.IconForm.ItemIndex);
  if (caption.empty()) return DefaultIconCode;
  const auto value = TryStrToInt("0x" + std::string(caption));
  return value ? static_cast<std::uint32_t>(*value) : DefaultIconCode;
}

bool IsSameProgram(Bytes lzoImage, std::string_view title) {
  // The header holds the name in the telephone's code page, the row's title is decoded text.
  const std::string name = Cp1251ToUtf8(load_text(lzoImage, TLZOHeader::Name, kNameCompareLength));
  const std::string_view titleHead =
      Utf8Prefix(title.substr(0, title.find('\0')), kNameCompareLength);
  // A name that is empty (data, or a program without one) names nothing to compare.
  return !name.empty() && name == titleHead;
}

void UploadLZOActionExecute(TCoreState& m) {
  UploadLZOActionExecute(m, CompressLZO1X999);
}

void UploadLZOActionExecute(TCoreState& m, const TLZOCompressor& compress) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  auto file = OpenProgramFile(m);
  if (!file) return;
  std::vector<std::uint8_t>& image = *file;
  if (!OfferConversion(m, image)) return;

  const std::size_t built = BuildLZOImage(
      image, image.size(), [&m] { return ChooseIconCode(m); }, compress);
  if (built == 0) {
    m.UI.MessageBox(kErrorCaption, "LZO compression error!");
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
      m.UI.MessageBox(kErrorCaption, kFileTooBig);
      return;
    }
    n = store.Length();
  }
  if (n > static_cast<std::size_t>(kMaxUploadSize)) {
    m.UI.MessageBox(kErrorCaption, kFileTooBig);
    return;
  }

  const auto size = WriteAndRescan(m, *row, Bytes(image.data(), n));
  if (!size) return;
  ReportUpload(m, *size, static_cast<std::int32_t>(n));
}

}  // namespace zub
