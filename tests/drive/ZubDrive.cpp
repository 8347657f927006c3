// zub-drive: runs the real core from a script, with a scripted user, and prints a transcript.
//
//   zub-drive [--home DIR] SCRIPT      (SCRIPT "-" reads standard input)
//
// DIR stands for the executable's folder (zubmanager.INI, SECTIONS.INI, the device libraries)
// and is the current folder while the script runs. Start-up and the window's first show come
// before the first line, the window's close after the last unless the script closed it.
#include <algorithm>
#include <atomic>
#include <cstdio>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "DriveScript.h"
#include "app/Actions.h"
#include "app/Manager.h"
#include "base/Convert.h"
#include "base/InstallPaths.h"
#include "base/StdDescriptors.h"
#include "commands/Backup.h"
#include "commands/SaveSlotSelection.h"
#include "device/DeviceLibrary.h"
#include "formats/GridCells.h"

namespace fs = std::filesystem;

namespace zub::drive {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "\\n";
    else if (c != '\r')
      out += c;
  }
  return out;
}

std::string Hex8(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

class TScriptedUser : public IInteraction, public INVMObserver {
 public:
  explicit TScriptedUser(std::ostream& out) : out_(out) {}
  TManager* Core = nullptr;
  // The home folder; transcripts show it as "<home>" so that they do not depend on it.
  std::string Home;
  std::map<std::string, std::deque<TAnswer>> Answers;

  void Status(const std::string& text) override { out_ << "status: " << Escape(text) << "\n"; }
  // How long the Windows device helper takes to start varies from run to run: the wait is
  // noted on standard error, so a transcript is the same with a Windows library.
  void Waiting(const std::string& text) override { std::cerr << "waiting: " << text << "\n"; }
  void MessageBox(const std::string& caption, const std::string& text) override {
    out_ << "box " << caption << ": " << Escape(WithoutHome(text)) << "\n";
  }
  bool Confirm(const std::string&, const std::string& text) override {
    out_ << "confirm: " << Escape(text) << "\n";
    auto a = Take("confirm");
    return a && a->Words.size() >= 1 && a->Words[0] == "OK";
  }
  std::optional<std::string> OpenFile(const std::string& filter) override {
    out_ << "open: " << filter << "\n";
    return PathAnswer("open");
  }
  std::optional<std::string> SaveFile() override {
    out_ << "save:\n";
    return PathAnswer("save");
  }
  int ShowModal(TFormId form) override;
  // The desktop starts a viewer unless the script answered "launch fail".
  bool Launch(const std::string& commandLine) override {
    out_ << "launch: " << commandLine << "\n";
    auto& q = Answers["launch"];
    if (q.empty()) return true;
    const bool started = q.front().Words.at(0) == "ok";
    q.pop_front();
    return started;
  }
  void ShowException(const std::string& text) override {
    out_ << "exception: " << Escape(text) << "\n";
  }
  void RepaintGrid() override {}
  void ControlsChanged() override {}
  std::optional<std::string> ChooseFolder(const std::string& caption) override {
    out_ << "folder: " << caption << "\n";
    return PathAnswer("folder");
  }
  std::unique_ptr<IProgress> BeginProgress(const std::string& caption,
                                           std::atomic<bool>& stop) override;
  bool ShowReport(const TReport& report) override;

  void OnLibraryLoad(const std::string& fileName, bool ok) override {
    out_ << "load: " << fileName << (ok ? " ok" : " failed") << "\n";
  }
  void OnLibraryCall(std::string_view entry, const std::vector<std::int64_t>& args, bool hasResult,
                     std::int32_t result) override {
    out_ << "call: " << FormatLibraryCall(entry, args, hasResult, result) << "\n";
  }

 private:
  std::string WithoutHome(std::string text) const {
    if (Home.empty()) return text;
    for (std::size_t at; (at = text.find(Home)) != std::string::npos;)
      text.replace(at, Home.size(), "<home>");
    return text;
  }
  std::optional<TAnswer> Take(const std::string& kind) {
    auto& q = Answers[kind];
    if (q.empty()) {
      out_ << "unanswered: " << kind << "\n";
      return std::nullopt;
    }
    TAnswer a = q.front();
    q.pop_front();
    return a;
  }
  std::optional<std::string> PathAnswer(const std::string& kind) {
    auto a = Take(kind);
    if (!a || a->Rest == "cancel") return std::nullopt;
    return a->Rest;
  }
  int AnswerOptions();
  int AnswerConvert();
  int AnswerIcon();
  int AnswerSlots();
  int AnswerPrefs();
  int AnswerHistory();

  std::ostream& out_;
};

// The progress window as lines: one when it opens, one per phase begun and section done, the
// user's Cancel where the script asked for it, and one when it closes.
class TScriptedProgress : public IProgress {
 public:
  TScriptedProgress(std::ostream& out, const std::string& caption, std::atomic<bool>& stop,
                    std::optional<int> cancelAfter)
      : out_(out), stop_(stop), cancelAfter_(cancelAfter) {
    out_ << "progress: " << caption << "\n";
    CancelAt(0);
  }
  ~TScriptedProgress() override { out_ << "progress: closed\n"; }
  TScriptedProgress(const TScriptedProgress&) = delete;
  TScriptedProgress& operator=(const TScriptedProgress&) = delete;

  void Update(const TRunProgress& p) override {
    out_ << "progress: " << PhaseName(p.Phase) << " " << p.SectionsDone << "/" << p.Sections;
    if (p.Bytes) out_ << ", " << p.BytesDone << "/" << p.Bytes << " bytes";
    out_ << "\n";
    if (p.SectionsDone) CancelAt(++sections_);
  }

 private:
  void CancelAt(int sections) {
    if (!cancelAfter_ || *cancelAfter_ != sections) return;
    out_ << "progress: Cancel\n";
    stop_ = true;
  }
  std::ostream& out_;
  std::atomic<bool>& stop_;
  std::optional<int> cancelAfter_;
  int sections_ = 0;
};

std::unique_ptr<IProgress> TScriptedUser::BeginProgress(const std::string& caption,
                                                        std::atomic<bool>& stop) {
  // Unanswered, the run goes to its end: a progress window asks nothing.
  std::optional<int> cancelAfter;
  auto& q = Answers["progress"];
  if (!q.empty()) {
    if (q.front().Words[0] == "cancel") cancelAfter = StrToInt(q.front().Words[1]);
    q.pop_front();
  }
  return std::make_unique<TScriptedProgress>(out_, caption, stop, cancelAfter);
}

bool TScriptedUser::ShowReport(const TReport& report) {
  out_ << "report " << report.Caption << ":\n";
  for (const auto& line : report.Lines) out_ << "  " << Escape(WithoutHome(line)) << "\n";
  if (report.Question.empty()) return false;
  out_ << "  question: " << Escape(report.Question) << "\n";
  const auto a = Take("report");
  return a && a->Words[0] == "Yes";
}

int TScriptedUser::ShowModal(TFormId form) {
  out_ << "show " << FormName(form) << "\n";
  switch (form) {
    case TFormId::ExpertsForm:
      return AnswerOptions();
    case TFormId::OKBottomDlg:
      return AnswerConvert();
    case TFormId::IconForm:
      return AnswerIcon();
    case TFormId::SaveSlotForm: {
      out_ << "  prompt: " << Escape(Core->SaveSlotForm.Label1) << "\n";
      for (const auto& line : Core->SaveSlotForm.Lines)
        out_ << "  line: [" << (line.Checked ? "x" : " ") << "] " << line.Text << "\n";
      return AnswerSlots();
    }
    case TFormId::PrefForm:
      return AnswerPrefs();
    case TFormId::AboutBox: {
      auto a = Take("about");
      return a ? mrOk : mrCancel;
    }
    case TFormId::HistoryForm:
      return AnswerHistory();
    default:
      return mrCancel;
  }
}

int TScriptedUser::AnswerOptions() {
  auto a = Take("options");
  if (!a) return mrCancel;
  for (const auto& [key, value] : a->Settings) {
    if (key == "CTECB") Core->SetCTECB(value == "1");
    if (key == "FWComboBox") Core->SetFWIndex(StrToInt(value));
    if (key == "HistoryCB") Core->Experts.HistoryReadBeforeChange = value == "1";
  }
  return a->Words.at(0) == "OK" ? mrOk : mrCancel;
}

int TScriptedUser::AnswerConvert() {
  auto a = Take("convert");
  if (!a) return mrCancel;
  for (const auto& [key, value] : a->Settings)
    if (key == "firmware") Core->SetFWIndex(StrToInt(value));
  const std::string& w = a->Words.at(0);
  return w == "Yes" ? mrYes : w == "No" ? mrNo : mrCancel;
}

int TScriptedUser::AnswerIcon() {
  auto a = Take("icon");
  if (!a) return mrCancel;
  const std::string& w = a->Words.at(0);
  if (w == "cancel") return mrCancel;
  if (w == "none") {
    Core->IconForm.ItemIndex = -1;
    return mrOk;
  }
  Core->IconForm.ItemIndex = IconItemByCaption(w);
  return mrOk;
}

int TScriptedUser::AnswerSlots() {
  auto a = Take("slots");
  if (!a) return mrCancel;
  const auto ticked = SlotList(a->Words.at(0), Core->FSaveSlots.size());
  for (std::size_t i = 0; i < Core->FSaveSlots.size(); ++i)
    SaveSlotCheckClick(*Core, static_cast<int>(i), ticked[i]);
  return a->Words.at(1) == "OK" ? mrOk : mrCancel;
}

int TScriptedUser::AnswerPrefs() {
  auto a = Take("prefs");
  if (!a) return mrCancel;
  for (const auto& [key, value] : a->Settings) ApplyPrefSetting(*Core, key, value);
  return a->Words.at(0) == "Update" ? mrOk : mrCancel;
}

// The versions without their times, which differ from run to run; the hash's first 12 digits
// show which versions hold the same bytes.
int TScriptedUser::AnswerHistory() {
  const THistoryModel& h = Core->HistoryForm;
  out_ << "  caption: " << h.Caption << "\n";
  for (const std::string& p : h.Problems) out_ << "  problem: " << WithoutHome(p) << "\n";
  for (std::size_t i = 0; i < h.Rows.size(); ++i) {
    const THistoryRow& r = h.Rows[i];
    out_ << "  version " << i + 1 << ": " << r.Command << " | " << r.Direction << " | " << r.Size
         << " | " << r.What << " | " << r.Hash.substr(0, 12) << "\n";
  }
  auto a = Take("history");
  if (!a || a->Words.at(0) == "close") return mrCancel;
  Core->HistoryForm.Selected = StrToInt(a->Words.at(1)) - 1;
  return mrOk;
}

void PrintRows(TManager& m, std::ostream& out) {
  for (int r = 1; r < m.RowCount(); ++r) {
    const auto& s = m.Sections[static_cast<std::size_t>(r)];
    out << "row " << r << ": {" << s.Address().Text() << "} kind=" << s.Kind << " title=\""
        << s.Title << "\" format=" << Hex8(s.Format) << " size=" << s.Size
        << " comp=" << s.Compression << " unpacked=" << s.UnpackedSize << " icon=" << s.Icon
        << "\n";
  }
}

void PrintCells(TManager& m, int row, std::ostream& out) {
  out << "cells " << row << ":";
  if (row < 0 || row >= m.RowCount()) {
    out << " (no such row)\n";
    return;
  }
  const auto& info = m.Sections[static_cast<std::size_t>(row)];
  // Metrics do not matter for what a cell shows, only for where.
  TTextMetrics metrics{[](const std::string& t) { return static_cast<int>(t.size()) * 7; }, 14};
  const TCellDrawing c0 = DrawCell(info, 0, row, {0, 0, 75, 30}, metrics);
  const TCellDrawing c1 = DrawCell(info, 1, row, {75, 0, 395, 30}, metrics);
  const TCellDrawing c2 = DrawCell(info, 2, row, {395, 0, 459, 30}, metrics);
  auto text = [](const std::optional<TCellText>& t) { return t ? t->Text : std::string(); };
  out << " col0=\"" << text(c0.Address ? c0.Address : c0.Header) << "\"";
  out << " icon=" << (c1.Icon ? std::to_string(*c1.Icon) : std::string("-"));
  out << " title=\"" << text(c1.Title ? c1.Title : c1.Header) << "\"";
  out << " lzo=\"" << text(c1.Lzo) << "\"";
  out << " size=\"" << text(c1.SizeText) << "\"";
  if (c1.Bar && c1.Bar->Bar.Right > c1.Bar->Bar.Left) {
    out << " bar=" << (c1.Bar->Colour == TBarColour::Red ? "red" : "blue") << ":" << info.Size
        << "/" << c1.Bar->Scale;
  } else {
    out << " bar=white";
  }
  out << " fw=\"" << text(c2.Firmware ? c2.Firmware : c2.Header) << "\"\n";
}

void PrintForm(TManager& m, const std::string& form, std::ostream& out) {
  if (form == "PrefForm") {
    const auto& p = m.Pref;
    out << "PrefForm.RG1: " << p.RG1 << "\n";
    out << "PrefForm.ACheckBox: " << (p.ACheckBox ? 1 : 0) << "\n";
    out << "PrefForm.AsEdit: " << p.AsEdit << (p.AsVisible ? "" : " (hidden)") << "\n";
    out << "PrefForm.AssEdit: " << p.AssEdit << (p.AssVisible ? "" : " (hidden)") << "\n";
    out << "PrefForm.sEdit: " << p.sEdit << "\n";
    out << "PrefForm.ssEdit: " << p.ssEdit << "\n";
    out << "PrefForm.Label4: " << p.Label4 << "\n";
    out << "PrefForm.Label5: " << p.Label5 << "\n";
    out << "PrefForm.Label6: " << p.Label6 << "\n";
  } else if (form == "ExpertsForm") {
    out << "ExpertsForm.FWComboBox: " << m.Experts.FWIndex << " " << m.Experts.FWText << "\n";
    out << "ExpertsForm.CTECB: " << (m.Experts.CTECB ? 1 : 0) << "\n";
  } else if (form == "BadAddrForm") {
    for (const auto& line : m.BadAddr.Memo1) out << "BadAddrForm.Memo1: " << line << "\n";
  } else if (form == "IconForm") {
    out << "IconForm.ComboBoxEx1: " << m.IconForm.ItemIndex << "\n";
  } else if (form == "SaveSlotForm") {
    out << "SaveSlotForm.Label1: " << Escape(m.SaveSlotForm.Label1) << "\n";
    for (const auto& line : m.SaveSlotForm.Lines)
      out << "SaveSlotForm.CheckListBox1: [" << (line.Checked ? "x" : " ") << "] " << line.Text
          << "\n";
  } else if (form == "Form1") {
    out << "Form1.ComboBox1: " << m.ComboBox1Index << "\n";
    out << "Form1.CheckBox1: " << (m.CheckBox1 ? 1 : 0) << "\n";
    out << "Form1.Row: " << m.Row << "\n";
  }
}

// The names in a folder of the home, sorted, folders with a "/".
void PrintFiles(const std::string& dir, std::ostream& out) {
  out << "files " << dir << ":";
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string() + (it->is_directory() ? "/" : ""));
  std::sort(names.begin(), names.end());
  if (names.empty()) out << " (none)";
  for (const auto& name : names) out << " " << name;
  out << "\n";
}

void SetControl(TManager& m, const std::string& name, const std::string& value) {
  if (name == "ComboBox1") {
    m.ComboBox1Change(StrToInt(value));
  } else if (name == "CheckBox1") {
    m.SetCheckBox1(value == "1");
  } else if (name == "ExpertsForm.FWComboBox") {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      m.SetFWText(value.substr(1, value.size() - 2));
    else
      m.SetFWIndex(StrToInt(value));
  } else if (name == "ExpertsForm.CTECB") {
    m.SetCTECB(value == "1");
  } else {
    const std::string prefix = "PrefForm.";
    if (name.starts_with(prefix)) ApplyPrefSetting(m, name.substr(prefix.size()), value);
  }
}

int Run(const TScript& script, const fs::path& homeArg, std::ostream& out) {
  std::error_code ec;
  const fs::path home = fs::absolute(homeArg, ec);
  fs::current_path(home, ec);
  if (ec) {
    std::cerr << "zub-drive: cannot enter " << home << ": " << ec.message() << "\n";
    return 2;
  }
  TScriptedUser user(out);
  user.Home = home.string();
  // The home folder stands for the program's, as zub's --home does.
  const TInstallPaths paths = ResolvePaths(TPathQuery::ForProcess(ExecutablePath(), home));
  TManagerOptions options;
  options.HomeDir = paths.HomeDir;
  options.SettingsPath = paths.SettingsPath;
  options.HistoryDir = paths.HistoryDir;
  options.LibraryDirs = paths.LibraryDirs;
  options.Observer = &user;
  TManager m(user, options);
  user.Core = &m;
  m.Run([&] { m.FormShow(); });
  bool closed = false;
  for (const auto& line : script.Lines) {
    out.flush();
    switch (line.Verb) {
      case TVerb::Row:
        m.Run([&] { m.DrawGrid1Click(line.Number); });
        break;
      case TVerb::Menu: {
        m.DrawGrid1MouseUpRight();
        out << "menu: ";
        bool first = true;
        for (TActionId id : kMenuOrder) {
          if (!Has(m.ActionEnabled, id)) continue;
          out << (first ? "" : ", ") << ActionCaption(id);
          first = false;
        }
        out << "\n";
        break;
      }
      case TVerb::Action:
        m.Run([&] { ExecuteAction(m, *ActionByName(line.Name)); });
        break;
      case TVerb::Click:
        m.Run([&] { ClickButton(m, line.Number); });
        break;
      case TVerb::Set:
        m.Run([&] { SetControl(m, line.Name, line.Value); });
        break;
      case TVerb::Answer:
        user.Answers[line.Answer.Kind].push_back(line.Answer);
        break;
      case TVerb::Close:
        m.Run([&] { m.FormClose(); });
        closed = true;
        break;
      case TVerb::Rows:
        PrintRows(m, out);
        break;
      case TVerb::Form:
        PrintForm(m, line.Name, out);
        break;
      case TVerb::Cells:
        PrintCells(m, line.Number, out);
        break;
      case TVerb::Remove: {
        out << "rm: " << line.Name << "\n";
        std::error_code failed;
        if (!fs::remove(line.Name, failed)) out << "  failed: no such file\n";
        break;
      }
      case TVerb::Copy: {
        out << "copy: " << line.Name << " " << line.Value << "\n";
        // The new file takes the old one's place, as a user's copy does (MinGW's copy_file
        // refuses to overwrite, whatever the options say).
        std::error_code failed;
        fs::remove(line.Value, failed);
        failed.clear();
        fs::copy_file(line.Name, line.Value, failed);
        if (failed) out << "  failed: " << failed.message() << "\n";
        break;
      }
      case TVerb::Files:
        PrintFiles(line.Name, out);
        break;
    }
  }
  if (!closed) m.Run([&] { m.FormClose(); });
  out.flush();
  return 0;
}

}  // namespace
}  // namespace zub::drive

int main(int argc, char** argv) {
  zub::EnsureStandardDescriptors();
#if defined(_WIN32)
  // The transcript is the same bytes on every system: lines end in LF alone.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  constexpr const char* kUsage =
      "usage: zub-drive [--home DIR] SCRIPT   (SCRIPT - reads standard input)\n";
  fs::path home = fs::current_path();
  std::string scriptPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--home") {
      if (i + 1 == argc) {
        std::cerr << "zub-drive: option --home needs a folder\n" << kUsage;
        return 2;
      }
      home = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::cerr << "zub-drive: unknown option '" << arg << "'\n" << kUsage;
      return 2;
    } else if (scriptPath.empty()) {
      scriptPath = arg;
    } else {
      std::cerr << kUsage;
      return 2;
    }
  }
  if (scriptPath.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  std::string text;
  if (scriptPath == "-") {
    std::ostringstream s;
    s << std::cin.rdbuf();
    text = s.str();
  } else {
    std::ifstream in(scriptPath, std::ios::binary);
    if (!in) {
      std::cerr << "zub-drive: cannot read " << scriptPath << "\n";
      return 2;
    }
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
  }
  std::string error;
  const auto script = zub::drive::ParseScript(text, error);
  if (!script) {
    std::cerr << "zub-drive: " << error << "\n";
    return 2;
  }
  return zub::drive::Run(*script, home, std::cout);
}
