// The script language of zub-drive: parsing, and the small rules shared by its commands.
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

enum class TVerb { Row, Menu, Action, Click, Set, Answer, Close, Rows, Form, Cells };

struct TAnswer {
  // open, save, confirm, convert, icon, slots, options, prefs, about, launch, history
  std::string Kind;
  std::vector<std::string> Words;   // the plain words after the kind
  std::vector<std::pair<std::string, std::string>> Settings;  // KEY=VALUE words, in order
  std::string Rest;                 // everything after the kind (paths may hold blanks)
};

struct TLine {
  int LineNumber = 0;
  TVerb Verb = TVerb::Rows;
  int Number = 0;     // row, cells, click ButtonN
  std::string Name;   // action, set control, form
  std::string Value;  // set value
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
