#include "commands/SaveSlotCommands.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/FileIO.h"
#include "commands/Messages.h"
#include "commands/SaveSlotSelection.h"
#include "commands/Scan.h"
#include "commands/SectionIO.h"
#include "formats/SaveStore.h"

namespace zub {
namespace {

const char* const kSaveToFilePrompt = "Please select items you want to be saved in file.";
const char* const kRemovePrompt = "Please select items you want to be removed from section.";
const char* const kFromFilePrompt = "Please select items you want to be uploaded from file.";

// The whole section, read before the user is asked anything; with `absentIsEmpty` a section
// that does not exist reads as empty. With `command` ("upload save slot") a section longer
// than the buffer is refused: writing back its head would cut off its tail.
std::optional<std::vector<std::uint8_t>> ReadSection(TCoreState& m, const TSectInfo& row,
                                                     bool absentIsEmpty = false,
                                                     const char* command = nullptr) {
  TReadOptions options;
  options.AbsentIsEmpty = absentIsEmpty;
  options.DetectLonger = command != nullptr;
  auto content = LoadSection(m, row.Address(), options);
  if (!content) return std::nullopt;
  if (content->Longer) {
    m.UI.MessageBox(kErrorCaption, std::string("Can't ") + command + " - section " +
                                       row.Address().Text() + " too big!");
    return std::nullopt;
  }
  return std::move(content->Data);
}

// The items the user did not tick stay; they move up behind the program part.
void KeepUnticked(TCoreState& m, TSaveAreaAssembler& store) {
  for (const TSaveSlot& slot : m.FSaveSlots)
    if (!slot.Selected) store.AddFromSelf(slot);
}

}  // namespace

void DownloadSaveActionExecute(TCoreState& m) {
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

void UploadSaveActionExecute(TCoreState& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  m.UI.Status("Reading Slot data...");
  auto image = ReadSection(m, *row, /*absentIsEmpty=*/true, "upload save slot");
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
    const std::vector<std::uint8_t> file = m.ReadInputFile(*path, kSectionBufferSize);
    m.SaveSlotForm.Label1 = kFromFilePrompt;
    const std::int32_t fromFile = SelectSaveSlots(m, file);
    // A file without records has nothing to upload; writing would only report a success.
    if (fromFile == 0) {
      m.UI.MessageBox(kErrorCaption, "Can't uplod - no save slots in file!");
      return;
    }
    if (fromFile > 0) {
      for (const TSaveSlot& slot : m.FSaveSlots)
        if (slot.Selected) store.AddFrom(file, slot);
    }
  }
  store.Close();
  if (store.TooBig()) {
    m.UI.MessageBox(kErrorCaption, kFileTooBig);
    return;
  }

  m.UI.Status("Uploading Save data...");
  const auto size = WriteAndRescan(m, *row, Bytes(image->data(), store.Length()));
  if (!size) return;
  ReportUpload(m, *size, static_cast<std::int32_t>(store.Length()),
               "Save slot uploaded sucsessfully!");
}

void EraseSaveActionExecute(TCoreState& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  m.UI.Status("Reading Slot data...");
  auto image = ReadSection(m, *row, /*absentIsEmpty=*/false, "erase save slot");
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
    m.UI.MessageBox(kErrorCaption, kFileTooBig);
    return;
  }

  m.UI.Status("Uploading Slot data...");
  const auto size = WriteAndRescan(m, *row, Bytes(image->data(), store.Length()));
  if (!size) return;
  ReportUpload(m, *size, static_cast<std::int32_t>(store.Length()),
               "Save Slot erased sucsessfully!", "Erased!");
}

}  // namespace zub
