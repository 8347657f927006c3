#include "commands/History.h"

#include <algorithm>

#include "base/FileIO.h"
#include "commands/CoreState.h"
#include "commands/Messages.h"
#include "commands/Scan.h"
#include "formats/Classify.h"
#include "formats/GridCells.h"

namespace zub {
namespace {

THistoryStore* StoreOf(TCoreState& m) {
  return m.History.Store();
}

// What the scan would make of a section holding this content.
std::string What(TCoreState& m, TSectionAddress a, Bytes head, std::uint64_t size) {
  if (size == 0) return "empty";
  TSectInfo row;
  row.Section = a.Section;
  row.SubSection = a.SubSection;
  for (std::size_t i = 1; i < m.Sections.size(); ++i)
    if (m.Sections[i].Address() == a) row = m.Sections[i];
  THeadInput in;
  in.Head = head;
  in.Section = a.Section;
  in.SubSection = a.SubSection;
  in.Size = static_cast<std::int32_t>(std::min<std::uint64_t>(size, kMaxSectionBytes));
  in.Description = row.Description;
  ApplyHeadClass(row, ClassifyHead(in, [&m](std::uint32_t first, const std::string& fallback) {
                   return m.SignatureName(first, fallback);
                 }));
  const TListRow l = ListRow(row);
  std::string text = l.Kind + " \"" + l.Title + "\"";
  if (!l.Format.empty()) text += " " + l.Format;
  if (!l.Lzo.empty()) text += " " + l.Lzo;
  return text;
}

}  // namespace

THistoryListing ListHistory(TCoreState& m, TSectionAddress a) {
  THistoryListing out;
  out.Problems = m.History.TakeProblems();
  THistoryStore* store = StoreOf(m);
  if (!store) return out;
  const auto entries = store->List(a, out.Problems);
  int number = 0;
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    THistoryVersion v;
    v.Number = ++number;
    v.Entry = *it;
    if (const auto head = store->ContentHead(*it, kHeadSize, out.Problems))
      v.What = What(m, a, *head, it->Size);
    else
      v.What = "content missing or damaged";
    out.Versions.push_back(std::move(v));
  }
  return out;
}

std::optional<TStepError> RestoreHistoryVersion(TCoreState& m, TSectionAddress a, int number,
                                                const std::atomic<bool>* stop, TSectInfo* row) {
  THistoryStore* store = StoreOf(m);
  if (!store) return TStepError{TFailureKind::Invalid, "the history is turned off"};
  std::vector<std::string> problems;
  const auto entries = store->List(a, problems);
  if (number < 1 || static_cast<std::size_t>(number) > entries.size())
    return TStepError{TFailureKind::Invalid, "section " + a.Text() + " has no version " +
                                                 std::to_string(number) + " in the history"};
  const THistoryEntry& e = entries[entries.size() - static_cast<std::size_t>(number)];
  const auto content = store->Content(e.Hash, problems);
  if (!content) return TStepError{TFailureKind::Files, problems.back()};
  TSectionLink link(m, stop);
  if (!link) return link.OpenError();
  std::optional<TStepError> error;
  if (content->empty()) {
    error = link.EraseAndCheck(a);
  } else {
    const TWriteCheck check = link.WriteAndCheck(a, *content);
    if (!check.Ok())
      error = TStepError{check.Error ? check.Error->Kind : TFailureKind::Differs,
                         check.Text(content->size())};
  }
  if (row && !link.Lost()) ScanRow(m, *row, &link);
  return error;
}

std::vector<std::string> PruneHistory(TCoreState& m) {
  std::vector<std::string> problems = m.History.TakeProblems();
  if (THistoryStore* store = StoreOf(m)) store->Prune(m.History.Settings().Limits, problems);
  return problems;
}

void HistoryActionExecute(TCoreState& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  const TSectionAddress a = row->Address();
  const THistoryListing listing = ListHistory(m, a);
  THistoryModel& form = m.HistoryForm;
  form = {};
  form.Caption = "History of section " + a.Text();
  form.Problems = listing.Problems;
  if (!StoreOf(m)) form.Problems.push_back("The history is turned off ([History] Enabled=0).");
  for (const THistoryVersion& v : listing.Versions)
    form.Rows.push_back({v.Entry.Time, v.Entry.Command,
                         v.Entry.Direction == THistoryDirection::Read ? "read" : "written",
                         std::to_string(v.Entry.Size), v.What, v.Entry.Hash});
  if (m.UI.ShowModal(TFormId::HistoryForm) != mrOk) return;
  if (form.Selected < 0 || form.Selected >= static_cast<int>(form.Rows.size())) return;
  const THistoryRow& chosen = form.Rows[static_cast<std::size_t>(form.Selected)];
  const std::string version = "Version " + std::to_string(form.Selected + 1) + " (" +
                              chosen.Command + ", " + chosen.Direction + ", " + chosen.Size +
                              " bytes)";
  m.UI.Status("Writing the version back...");
  m.History.SetCommand("Write this version back");
  const auto error = RestoreHistoryVersion(m, a, form.Selected + 1, nullptr, row);
  m.UI.RepaintGrid();
  if (error) {
    m.UI.MessageBox(kErrorCaption, version + " could not be written back into section " + a.Text() +
                                       ": " + error->Text);
    m.UI.Status(kStatusUploadError);
    return;
  }
  m.UI.MessageBox(kOkCaption, version + " was written back into section " + a.Text() +
                                  " and read back the same.");
  m.UI.Status(kStatusUploaded);
}

}  // namespace zub
