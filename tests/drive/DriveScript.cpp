#include "DriveScript.h"

#include <set>
#include <sstream>

#include "app/Actions.h"
#include "app/Manager.h"
#include "base/Convert.h"
#include "formats/IconTable.h"

namespace zub::drive {
namespace {

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// What follows the first `skip` words of a line, blanks around it removed.
std::string After(const std::string& line, int skip) {
  std::size_t pos = 0;
  for (int i = 0; i < skip; ++i) {
    pos = line.find_first_not_of(" \t", pos);
    if (pos == std::string::npos) return "";
    pos = line.find_first_of(" \t", pos);
    if (pos == std::string::npos) return "";
  }
  return Trim(line.substr(pos));
}

bool IsNumber(const std::string& s) {
  return TryStrToInt(s).has_value();
}

const std::set<std::string> kSetNames = {
    "ComboBox1",       "CheckBox1",          "ExpertsForm.FWComboBox", "ExpertsForm.CTECB",
    "PrefForm.RG1",    "PrefForm.ACheckBox", "PrefForm.sEdit",         "PrefForm.ssEdit",
    "PrefForm.AsEdit", "PrefForm.AssEdit",
};

const std::set<std::string> kForms = {"Form1",       "PrefForm",     "ExpertsForm",
                                      "BadAddrForm", "SaveSlotForm", "IconForm"};

// The first words an answer of each kind accepts.
bool AnswerWordsValid(const TAnswer& a) {
  auto first = [&](std::initializer_list<const char*> ok) {
    if (a.Words.empty()) return false;
    for (const char* w : ok)
      if (a.Words[0] == w) return true;
    return false;
  };
  if (a.Kind == "open" || a.Kind == "save" || a.Kind == "folder") return !a.Rest.empty();
  if (a.Kind == "progress")
    return (a.Words.size() == 1 && a.Words[0] == "run") ||
           (a.Words.size() == 2 && a.Words[0] == "cancel" && IsNumber(a.Words[1]) &&
            StrToInt(a.Words[1]) >= 0);
  if (a.Kind == "report") return a.Words.size() == 1 && first({"OK", "Yes", "No"});
  if (a.Kind == "confirm") return first({"OK", "Cancel"});
  if (a.Kind == "convert") return first({"Yes", "No", "Cancel"});
  if (a.Kind == "icon") return a.Words.size() == 1;
  if (a.Kind == "slots")
    return a.Words.size() == 2 &&
           (a.Words[1] == "OK" || a.Words[1] == "Cancel" || a.Words[1] == "close");
  if (a.Kind == "options") return first({"OK", "Cancel"});
  if (a.Kind == "prefs") return first({"Update", "Cancel"});
  if (a.Kind == "about") return first({"OK"});
  if (a.Kind == "launch") return first({"ok", "fail"});
  if (a.Kind == "history")
    return (a.Words.size() == 2 && a.Words[0] == "write" && IsNumber(a.Words[1])) ||
           (a.Words.size() == 1 && a.Words[0] == "close");
  return false;
}

}  // namespace

std::optional<TScript> ParseScript(const std::string& text, std::string& error) {
  TScript script;
  std::istringstream in(text);
  int number = 0;
  for (std::string raw; std::getline(in, raw);) {
    ++number;
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const auto w = Words(line);
    TLine l;
    l.LineNumber = number;
    const std::string& verb = w[0];
    bool ok = true;
    if (verb == "row" || verb == "cells") {
      l.Verb = verb == "row" ? TVerb::Row : TVerb::Cells;
      ok = w.size() == 2 && IsNumber(w[1]);
      if (ok) l.Number = StrToInt(w[1]);
    } else if (verb == "menu" || verb == "close" || verb == "rows") {
      l.Verb = verb == "menu" ? TVerb::Menu : verb == "close" ? TVerb::Close : TVerb::Rows;
      ok = w.size() == 1;
    } else if (verb == "action") {
      l.Verb = TVerb::Action;
      ok = w.size() == 2 && ActionByName(w[1]).has_value();
      if (ok) l.Name = w[1];
    } else if (verb == "click") {
      l.Verb = TVerb::Click;
      ok = w.size() == 2 && w[1].starts_with("Button") && IsNumber(w[1].substr(6));
      if (ok) {
        l.Number = StrToInt(w[1].substr(6));
        ok = l.Number >= 1 && l.Number <= 10;
      }
    } else if (verb == "set") {
      l.Verb = TVerb::Set;
      ok = w.size() >= 2 && kSetNames.count(w[1]) > 0;
      if (ok) {
        l.Name = w[1];
        l.Value = After(line, 2);
      }
    } else if (verb == "answer") {
      l.Verb = TVerb::Answer;
      ok = w.size() >= 3;
      if (ok) {
        l.Answer.Kind = w[1];
        l.Answer.Rest = After(line, 2);
        for (std::size_t i = 2; i < w.size(); ++i) {
          const auto eq = w[i].find('=');
          if (eq != std::string::npos && eq > 0)
            l.Answer.Settings.emplace_back(w[i].substr(0, eq), w[i].substr(eq + 1));
          else
            l.Answer.Words.push_back(w[i]);
        }
        ok = AnswerWordsValid(l.Answer);
      }
    } else if (verb == "rm" || verb == "files") {
      l.Verb = verb == "rm" ? TVerb::Remove : TVerb::Files;
      ok = w.size() == 2;
      if (ok) l.Name = w[1];
    } else if (verb == "copy") {
      l.Verb = TVerb::Copy;
      ok = w.size() == 3;
      if (ok) {
        l.Name = w[1];
        l.Value = w[2];
      }
    } else if (verb == "form") {
      l.Verb = TVerb::Form;
      ok = w.size() == 2 && kForms.count(w[1]) > 0;
      if (ok) l.Name = w[1];
    } else {
      ok = false;
    }
    if (!ok) {
      error = "line " + std::to_string(number) + ": cannot parse: " + line;
      return std::nullopt;
    }
    script.Lines.push_back(std::move(l));
  }
  return script;
}

std::vector<bool> SlotList(const std::string& list, std::size_t count) {
  std::vector<bool> ticked(count, false);
  if (list == "all") return std::vector<bool>(count, true);
  if (list == "none") return ticked;
  std::istringstream in(list);
  for (std::string item; std::getline(in, item, ',');) {
    const auto n = TryStrToInt(item);
    if (n && *n >= 1 && static_cast<std::size_t>(*n) <= count)
      ticked[static_cast<std::size_t>(*n - 1)] = true;
  }
  return ticked;
}

int IconItemByCaption(const std::string& caption) {
  for (int k = 0; k < kIconItemCount; ++k)
    if (IconCaption(k) == caption) return k;
  return -1;
}

void ApplyPrefSetting(TManager& m, const std::string& key, const std::string& value) {
  auto& p = m.Pref;
  if (key == "RG1") {
    const int v = StrToInt(value);
    p.RG1 = (v >= 0 && v <= 2) ? v : -1;
  } else if (key == "ACheckBox") {
    m.SetACheckBox(value == "1");
  } else if (key == "sEdit") {
    p.sEdit = value;
  } else if (key == "ssEdit") {
    p.ssEdit = value;
  } else if (key == "AsEdit") {
    p.AsEdit = value;
  } else if (key == "AssEdit") {
    p.AssEdit = value;
  }
}

}  // namespace zub::drive
