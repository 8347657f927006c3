#include "saveslots/SaveSlotCommands.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/FileIO.h"
#include "browser/Scan.h"
#include "device/GbpApi.h"
#include "saveslots/SaveSlotSelection.h"
#include "saveslots/SaveStore.h"
#include "transfer/Transfer.h"

namespace zub {
namespace {

const char* const kSaveToFilePrompt = "Please select items you want to be saved in file.";
const char* const kRemovePrompt = "Please select items you want to be removed from section.";
const char* const kFromFilePrompt = "Please select items you want to be uploaded from file.";
const char* const kTooBig = "Can't uplod - file too big!";

// The whole section (up to one buffer) on a connection of its own, closed again before the
// caller asks the user anything; nullopt after the component's or our own message. With
// `absentIsEmpty`, a section that does not exist reads as an empty one, so items can be put
// into a row the grid shows as empty. Only the size query tells an absent section (-153 or
// -5) from a failed read: a read answers -5 for a COMM error too, and taking a section that
// could not be read for an empty one would write the new items over its program.
std::optional<std::vector<std::uint8_t>> ReadSection(TManager& m, const TSectInfo& row,
                                                     bool absentIsEmpty = false) {
  if (!m.NVM->InitGBP()) return std::nullopt;
  SelectSection(m, row);
  std::vector<std::uint8_t> image(kSectionBufferSize);
  const std::int32_t n = m.NVM->Read(image.data(), static_cast<std::uint32_t>(image.size()));
  bool absent = false;
  if (absentIsEmpty && (n == gbp::kNoSection || n == gbp::kNoSectionAlt)) {
    const std::int32_t size = m.NVM->GetSize();
    absent = size == gbp::kNoSection || size == gbp::kNoSectionAlt;
  }
  m.NVM->EndGBP();
  if (absent) {
    image.clear();
    return image;
  }
  if (n < 0) {
    m.UI.MessageBox("ERROR",
                    "Error reading section " + SectionAddress(row.Section, row.SubSection));
    return std::nullopt;
  }
  image.resize(static_cast<std::size_t>(n));
  return image;
}

// The items the user did not tick stay; they move up behind the program part.
void KeepUnticked(TManager& m, TSaveAreaAssembler& store) {
  for (const TSaveSlot& slot : m.FSaveSlots)
    if (!slot.Selected) store.AddFromSelf(slot);
}

}  // namespace

void DownloadSaveActionExecute(TManager& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  m.UI.Status("Downloading SaveSlot data...");
  const auto image = ReadSection(m, *row);
  if (!image) return;
  m.SaveSlotForm.Label1 = kSaveToFilePrompt;
  const std::int32_t count = SelectSaveSlots(m, *image);
  if (count == kSaveSlotsCancelled) return;
  if (count == 0) {
    m.UI.MessageBox("ERROR", "No SaveSlot found");
    return;
  }
  if (const auto path = m.UI.SaveFile()) {
    WriteFileAtomic(*path, WriteSaveSlotFile(*image, m.FSaveSlots));
  }
  m.UI.Status("Downloaded!");
}

void UploadSaveActionExecute(TManager& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  m.UI.Status("Reading Slot data...");
  auto image = ReadSection(m, *row, /*absentIsEmpty=*/true);
  if (!image) return;

  m.SaveSlotForm.Label1 = kRemovePrompt;
  const std::int32_t count = SelectSaveSlots(m, *image);
  // Cancel ends the command like the other two: keeping the section's records as program part
  // behind a new trailer would bury them where no later parse finds them.
  if (count == kSaveSlotsCancelled) return;
  // The store holds its own program length and write counter, so the second parse below
  // cannot disturb it; without a store the whole section is the program part.
  TSaveAreaAssembler store(*image,
                           count > 0 ? static_cast<std::size_t>(m.FSaveStart) : image->size());
  if (count > 0) KeepUnticked(m, store);

  if (const auto path = m.UI.OpenFile(kOpenDialog1Filter)) {
    const std::vector<std::uint8_t> file = ReadFileHead(*path, kSectionBufferSize);
    m.SaveSlotForm.Label1 = kFromFilePrompt;
    if (SelectSaveSlots(m, file) > 0) {
      for (const TSaveSlot& slot : m.FSaveSlots)
        if (slot.Selected) store.AddFrom(file, slot);
    }
  }
  store.Close();
  if (store.TooBig()) {
    m.UI.MessageBox("ERROR", kTooBig);
    return;
  }

  m.UI.Status("Uploading Save data...");
  const auto size = WriteAndRescan(m, *row, Bytes(image->data(), store.Length()));
  if (!size) return;
  ReportUpload(m, *size, static_cast<std::int32_t>(store.Length()),
               "Save slot uploaded sucsessfully!");
}

void EraseSaveActionExecute(TManager& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  m.UI.Status("Reading Slot data...");
  auto image = ReadSection(m, *row);
  if (!image) return;

  m.SaveSlotForm.Label1 = kRemovePrompt;
  const std::int32_t count = SelectSaveSlots(m, *image);
  if (count == kSaveSlotsCancelled) return;
  if (count == 0) {
    m.UI.MessageBox("ERROR", "Save slot not found in this section!");
    return;
  }
  TSaveAreaAssembler store(*image, static_cast<std::size_t>(m.FSaveStart));
  KeepUnticked(m, store);
  store.Close();
  // A full bare store that keeps every item would need its trailer past the buffer.
  if (store.TooBig()) {
    m.UI.MessageBox("ERROR", kTooBig);
    return;
  }

  m.UI.Status("Uploading Slot data...");
  const auto size = WriteAndRescan(m, *row, Bytes(image->data(), store.Length()));
  if (!size) return;
  ReportUpload(m, *size, static_cast<std::int32_t>(store.Length()),
               "Save Slot erased sucsessfully!", "Erased!");
}

}  // namespace zub
