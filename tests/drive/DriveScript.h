// The script language of zub-drive: parsing, and the small rules shared by its commands.
// One line a step; "#" starts a comment ("#!" lines prepare the home, run-drive-test.sh).
//
//   row N / menu / cells N / rows        click grid row N; open the context menu and print
//                                        its enabled items; print a row's cells; every row
//   action NAME / click ButtonN          run an action of the table (BackupAction, ...) or
//                                        press a main window button
//   set CONTROL VALUE / form NAME        change a control; print a form's model
//   close                                the window's close (settings save)
//   rm PATH / copy FROM TO               the user changes a file of the home folder (say a
//                                        section of the simulated telephone) behind the
//                                        tool's back
//   files PATH                           print the names in a folder of the home, sorted
//   answer KIND ...                      queue the answer to the next question of a kind:
//     open PATH|cancel, save PATH|cancel, folder PATH|cancel   (the file and folder dialogs)
//     confirm OK|Cancel, convert Yes|No|Cancel [firmware=N], icon CAPTION|none|cancel,
//     slots LIST OK|Cancel|close, options OK|Cancel [CTECB=0|1] [FWComboBox=N],
//     prefs Update|Cancel [KEY=VALUE...], about OK, launch ok|fail
//     progress run|cancel N     the next progress window: to its end, or Cancel pressed once
//                               N sections are done (0: at once); unanswered: to its end
//     report Yes|No|OK          the question under the next report (the restore's plan);
//                               unanswered: No
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zub {
class TManager;
}

namespace zub::drive {

enum class TVerb {
  Row,
  Menu,
  Action,
  Click,
  Set,
  Answer,
  Close,
  Rows,
  Form,
  Cells,
  // The user's own changes to the files of the home folder, and a look at a folder.
  Remove,
  Copy,
  Files,
};

struct TAnswer {
  // open, save, confirm, convert, icon, slots, options, prefs, about, launch, folder,
  // progress, report, history
  std::string Kind;
  std::vector<std::string> Words;                             // the plain words after the kind
  std::vector<std::pair<std::string, std::string>> Settings;  // KEY=VALUE words, in order
  std::string Rest;  // everything after the kind (paths may hold blanks)
};

struct TLine {
  int LineNumber = 0;
  TVerb Verb = TVerb::Rows;
  int Number = 0;     // row, cells, click ButtonN
  std::string Name;   // action, set control, form; rm, copy and files: the (first) path
  std::string Value;  // set value; copy: the second path
  TAnswer Answer;
};

struct TScript {
  std::vector<TLine> Lines;
};

// The whole script, or nullopt with a message naming the first line it cannot parse.
std::optional<TScript> ParseScript(const std::string& text, std::string& error);

// "all", "none" or 1-based numbers such as "1,3": which of `count` save items stay ticked.
std::vector<bool> SlotList(const std::string& list, std::size_t count);

// The position of the icon item with this caption, or -1.
int IconItemByCaption(const std::string& caption);

// Sets one PrefForm control (RG1, ACheckBox, sEdit, ssEdit, AsEdit, AssEdit) as a user would.
void ApplyPrefSetting(TManager& m, const std::string& key, const std::string& value);

}  // namespace zub::drive
