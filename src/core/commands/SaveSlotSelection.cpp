#include "commands/SaveSlotSelection.h"

#include <string>

#include "formats/SaveStore.h"

namespace zub {
namespace {

void SetAll(TCoreState& m, bool selected) {
  auto& lines = m.SaveSlotForm.Lines;
  for (std::size_t i = 0; i < m.FSaveSlots.size(); ++i) {
    m.FSaveSlots[i].Selected = selected;
    if (i < lines.size()) lines[i].Checked = selected;
  }
}

}  // namespace

std::int32_t ParseSaveSlots(TCoreState& m, Bytes image) {
  return ParseSaveSlots(image, m.FSaveSlots, m.FSaveStart, m.FSaveLength);
}

std::int32_t SelectSaveSlots(TCoreState& m, Bytes image) {
  const std::int32_t count = ParseSaveSlots(m, image);
  if (count == 0) return 0;
  auto& lines = m.SaveSlotForm.Lines;
  lines.clear();
  for (std::size_t i = 0; i < m.FSaveSlots.size(); ++i) {
    m.FSaveSlots[i].Selected = true;
    lines.push_back({"Slot " + std::to_string(i + 1) +
                         ", Size: " + std::to_string(m.FSaveSlots[i].Size) + " bytes",
                     true});
  }
  return m.UI.ShowModal(TFormId::SaveSlotForm) == mrOk ? count : kSaveSlotsCancelled;
}

void SaveSlotCheckClick(TCoreState& m, int index, bool checked) {
  if (index < 0) return;
  const auto i = static_cast<std::size_t>(index);
  if (i < m.FSaveSlots.size()) m.FSaveSlots[i].Selected = checked;
  if (i < m.SaveSlotForm.Lines.size()) m.SaveSlotForm.Lines[i].Checked = checked;
}

void SaveSlotSelectAll(TCoreState& m) {
  SetAll(m, true);
}

void SaveSlotDeselectAll(TCoreState& m) {
  SetAll(m, false);
}

}  // namespace zub
