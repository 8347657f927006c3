// The sweep: every command that touches the telephone, through the program the user runs
// (zub-drive for the window's commands, zub itself), run once without a fault to count its
// device calls and to learn what it is meant to leave behind, then once for every call K and
// every way that call can fail: the codes -3, -5 and -10, a lost link ("die": the call does its
// work and its answer is lost), and for the backup and the restore the tool itself killed
// after the call ("kill-tool"). After each run, every file of the home folder (the telephone's
// sections, settings, downloads, backups) holds what it held before or what the clean run
// left, unless the user was told that the section may hold other content; a success is only
// claimed when everything is as intended; nothing temporary is left and no host runs on.
// After a lost link the command makes no device call but the closing EndGBPMode and says so
// once; a write or an erase whose answer was lost says that the section may or may not hold
// the new content.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kBin = ZUB_BIN_DIR;
const fs::path kData = ZUB_DATA_DIR;
const fs::path kWin32 = ZUB_WIN32_DIR;
const fs::path kTmp = ZUB_SWEEP_TMP;

enum class TVia { Window, Zub };
// Changed: bk holds a backup, then the telephone changed; Holds17_19: the demo telephone with
// data in 17-19, which the hidden "C" erases.
enum class THome { Demo, Changed, Holds17_19 };

struct TCommand {
  const char* Name;
  TVia Via;
  THome Home;
  const char* Prelude;  // window: script lines before the command, whose calls are not failed
  const char* Run;      // window: the command's script lines; zub: its arguments
  const char* Success;  // window: the transcript's line of success (zub: exit status 0)
  // The words by which the command tells the user that its section may be left holding other
  // content than the old or the intended, and the file that then keeps the user's data.
  std::vector<std::string> Told = {};
  const char* KeptIn = nullptr;
};

// The window's commands run on the demo telephone; "rows" at the end shows the grid.
const TCommand kCommands[] = {
    // Commands that write.
    {"Upload", TVia::Window, THome::Demo, "row 1\n",
     "answer open samples/tetris-v2.prg\naction UploadAction\n", "box OK!"},
    {"UploadLZO", TVia::Window, THome::Demo, "row 2\naction RefreshAction\n",
     "answer open samples/tetris-v2.prg\nanswer icon E86C\nanswer slots all OK\n"
     "action UploadLZOAction\n",
     "box OK!"},
    {"Convert",
     TVia::Window,
     THome::Demo,
     "row 1\n",
     "action ConvertAction\n",
     "box OK!",
     {"Converted program stored at temp.prg"},
     "temp.prg"},
    {"UploadSave", TVia::Window, THome::Demo, "row 2\n",
     "answer slots none OK\nanswer open samples/saves.sav\nanswer slots all OK\n"
     "action UploadSaveAction\n",
     "box OK!"},
    {"EraseSave", TVia::Window, THome::Demo, "row 2\n",
     "answer slots 1 OK\naction EraseSaveAction\n", "box OK!"},
    {"Preferences",
     TVia::Window,
     THome::Demo,
     "",
     "answer prefs Update RG1=2 sEdit=2 ssEdit=17\nclick Button3\n",
     "status: Uploaded!",
     // A record that could not be read opens the dialog without it: "Update" writes what the
     // user filled in.
     {"box ERROR: Error reading section 2-18", "box ERROR: GBP Error: "}},
    {"LibraryUFIF2", TVia::Window, THome::Demo, "",
     "answer confirm OK\nanswer open samples/extlib.lib\nclick Button5\n", "box OK!"},
    {"LibraryPRG3", TVia::Window, THome::Demo, "",
     "answer open samples/prg3lib.txt\nclick Button6\n", "box OK!"},
    {"Clear", TVia::Window, THome::Demo, "row 5\n", "action ClearAction\n", "status: Erased!"},
    {"HiddenUpload", TVia::Window, THome::Demo, "",
     "answer open samples/snake2.prg\nclick Button9\n", "box OK!"},
    {"HiddenClear", TVia::Window, THome::Holds17_19, "", "click Button10\n", "status: Erased!"},
    // Commands that only read.
    {"Refresh", TVia::Window, THome::Demo, "row 3\n", "action RefreshAction\n",
     "status: Refreshed!"},
    {"FullRefresh", TVia::Window, THome::Demo, "", "click Button1\n", "box : Update done!"},
    {"Download", TVia::Window, THome::Demo, "row 3\n",
     "answer save dl.bin\naction DownloadAction\n", "status: Downloaded!"},
    {"PlayGIF", TVia::Window, THome::Demo, "row 23\n", "action PlayGIFAction\n",
     "launch: start temp.gif"},
    {"DownloadSave", TVia::Window, THome::Demo, "row 2\n",
     "answer slots all OK\nanswer save kept.sav\naction DownloadSaveAction\n",
     "status: Downloaded!"},
    {"SummSize18", TVia::Window, THome::Demo, "", "click Button4\n", "box : Total Section 18xx"},
    {"GetPreferences", TVia::Window, THome::Demo, "", "action GetPrefAction\nform PrefForm\n",
     "PrefForm.Label6: Total"},
    // zub.
    {"ZubWrite", TVia::Zub, THome::Demo, "", "write 2-3 samples/tetris-v2.prg", ""},
    {"ZubErase", TVia::Zub, THome::Demo, "", "erase 2-3 --yes", ""},
    {"ZubRestore", TVia::Zub, THome::Changed, "", "restore bk --yes", ""},
    {"ZubBackup", TVia::Zub, THome::Changed, "", "backup bk", ""},
};

// ---------------------------------------------------------------------------------------
// Files and programs

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

bool Contains(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

struct TRun {
  int Status = -1;      // the exit status; -1 when a signal ended it
  bool Killed = false;  // SIGKILL ended it
  std::string Out, Err;
};

// Runs argv in `cwd`, its output kept in files beside it.
TRun Spawn(const std::vector<std::string>& argv, const fs::path& cwd) {
  const fs::path out = cwd.parent_path() / "stdout.txt", err = cwd.parent_path() / "stderr.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(126);
    if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(126);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  TRun r;
  if (WIFEXITED(status)) r.Status = WEXITSTATUS(status);
  r.Killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  r.Out = ReadAll(out);
  r.Err = ReadAll(err);
  return r;
}

// Every file of a home folder but the libraries and the simulator's settings, by relative
// path; a manifest's date is left out, so two backups of the same telephone compare equal.
using TTree = std::map<std::string, std::string>;
TTree Snapshot(const fs::path& home) {
  TTree t;
  for (auto it = fs::recursive_directory_iterator(home); it != fs::recursive_directory_iterator();
       ++it) {
    const auto& e = *it;
    // What the tool left half-made (a killed one) is looked at by Leftovers.
    if (e.path().filename().string().starts_with(".")) {
      if (e.is_directory()) it.disable_recursion_pending();
      continue;
    }
    if (!e.is_regular_file()) continue;
    const std::string rel = fs::relative(e.path(), home).string();
    // The history grows with every run by design; only its half-made files count (Leftovers).
    if (rel.starts_with("history/")) continue;
    const std::string name = e.path().filename().string();
    if (name.ends_with(".dll") || name.ends_with(".exe") || name == "gbp-sim.ini") continue;
    std::string content = ReadAll(e.path());
    if (name == "manifest.ini")
      if (const auto at = content.find("\nDate="); at != std::string::npos)
        content.erase(at + 1, content.find('\n', at + 1) - at);
    t[rel] = std::move(content);
  }
  return t;
}

std::optional<std::string> Get(const TTree& t, const std::string& path) {
  const auto it = t.find(path);
  return it == t.end() ? std::nullopt : std::optional<std::string>(it->second);
}

// The files under `prefix` ("phone/", "bk/").
TTree Part(const TTree& t, const std::string& prefix) {
  TTree out;
  for (const auto& [path, content] : t)
    if (path.starts_with(prefix)) out[path] = content;
  return out;
}

std::vector<std::string> Paths(std::initializer_list<const TTree*> trees) {
  std::map<std::string, bool> all;
  for (const TTree* t : trees)
    for (const auto& entry : *t) all[entry.first] = true;
  std::vector<std::string> out;
  for (const auto& entry : all) out.push_back(entry.first);
  return out;
}

// Names the tool gives to what it writes before it is complete.
std::vector<std::string> Leftovers(const fs::path& home) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(home))
    if (const std::string name = e.path().filename().string();
        name.starts_with(".") || name.find(".new-") != std::string::npos)
      out.push_back(e.path().string());
  return out;
}

// A process whose command line names the home folder (a host left running).
bool HostRunsIn(const fs::path& home) {
  for (const auto& e : fs::directory_iterator("/proc")) {
    const std::string pid = e.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string cmd = ReadAll(e.path() / "cmdline");
    for (char& c : cmd)
      if (c == '\0') c = ' ';
    if (Contains(cmd, "gbp-host") && Contains(cmd, home.string())) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------
// The transcript

struct TCall {
  std::string Entry;  // "WriteNVMFile"
  std::string Text;   // "WriteNVMFile(2,1,5620) -> 5620"
  std::size_t Line;   // its line in the transcript
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The grid as the transcript's last "rows" shows it.
std::string Rows(const std::string& transcript) {
  const auto at = transcript.find("\nrow 1: ");
  return at == std::string::npos ? std::string() : transcript.substr(at);
}

std::vector<TCall> Calls(const std::vector<std::string>& lines) {
  std::vector<TCall> out;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i].starts_with("call: ")) {
      const std::string text = lines[i].substr(6);
      out.push_back({text.substr(0, text.find('(')), text, i});
    }
  return out;
}

// "2-1" from "WriteNVMFile(2,1,5620) -> -5".
std::string SectionOf(const std::string& call) {
  const auto open = call.find('('), comma = call.find(',');
  const auto second = call.find_first_of(",)", comma + 1);
  return call.substr(open + 1, comma - open - 1) + "-" + call.substr(comma + 1, second - comma - 1);
}

// ---------------------------------------------------------------------------------------
// Homes

void Must(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what);
}

void Install(const fs::path& from, const fs::path& to) {
  fs::remove(to);
  fs::create_hard_link(from, to);
}

// Wine for the Windows simulator served by gbp-host.exe: why it cannot run, or "" once its
// prefix is ready. The prefix is made once, under a lock, by whichever test gets there first.
std::string PrepareWine() {
  for (const char* f : {"gbp.dll", "gbp-host.exe"})
    if (!fs::exists(kWin32 / f)) return "no " + (kWin32 / f).string() + " (no MinGW-w64)";
  if (std::system("command -v wine >/dev/null") != 0) return "wine is not installed";
  setenv("WINEPREFIX", ZUB_WINE_PREFIX, 1);
  setenv("WINEDEBUG", "-all", 1);
  fs::create_directories(ZUB_WINE_PREFIX);
  const std::string init = "flock '" ZUB_WINE_PREFIX
                           ".lock' sh -c '[ -e \"$WINEPREFIX/dosdevices/c:\" ] || "
                           "WINEDLLOVERRIDES=\"mscoree,mshtml=\" wine \"" +
                           (kWin32 / "gbp-host.exe").string() +
                           "\" </dev/null >/dev/null 2>&1; true'";
  return std::system(init.c_str()) == 0 ? "" : "the Wine prefix could not be made";
}

// The demo telephone with the settings and the simulator (in-process, or the Windows build
// served through gbp-host.exe); Changed adds a backup in bk and then changes the telephone
// behind it: one section differs, one is gone, one is new, one is shorter.
fs::path MakeTemplate(const fs::path& dir, THome kind, bool wine) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const char* f : {"zubmanager.INI", "SECTIONS.INI"}) fs::copy_file(kData / f, dir / f);
  for (const char* f : {"gbp.dll", "cte_gbp.dll"}) Install(kBin / f, dir / f);
  Must(Spawn({(kBin / "zub-demo-phone").string(), dir.string()}, dir).Status == 0, "demo phone");
  if (kind == THome::Changed) {
    Must(Spawn({(kBin / "zub").string(), "--home", dir.string(), "-q", "backup", "bk"}, dir)
                 .Status == 0,
         "the first backup");
    const fs::path phone = dir / "phone";
    std::string s = ReadAll(phone / "2-1.bin");
    s[17] = 'X';
    WriteAll(phone / "2-1.bin", s);
    fs::remove(phone / "2-5.bin");
    fs::copy_file(phone / "2-2.bin", phone / "2-11.bin");
    WriteAll(phone / "17-2.bin", ReadAll(phone / "17-2.bin").substr(0, 100));
  }
  if (kind == THome::Holds17_19)
    fs::copy_file(dir / "phone" / "17-1.bin", dir / "phone" / "17-19.bin");
  if (wine)
    for (const char* f : {"gbp.dll", "cte_gbp.dll", "gbp-host.exe"}) Install(kWin32 / f, dir / f);
  return dir;
}

// A copy of the template with the K-th call failed as `fault` says ("" for none).
void Prepare(const fs::path& tpl, const fs::path& home, const std::string& fault) {
  fs::remove_all(home);
  fs::create_directories(home);
  for (const auto& e : fs::directory_iterator(tpl)) {
    const fs::path to = home / e.path().filename();
    const std::string name = e.path().filename().string();
    if (name.ends_with(".dll") || name.ends_with(".exe") || name == "samples")
      fs::copy(e.path(), to, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    else
      fs::copy(e.path(), to, fs::copy_options::recursive);
  }
  std::string ini = ReadAll(tpl / "gbp-sim.ini");
  const auto at = ini.find("\nFailCall=");
  ini.insert(at + 10, fault);
  WriteAll(home / "gbp-sim.ini", ini);
}

TRun RunCommand(const TCommand& c, const fs::path& home) {
  if (c.Via == TVia::Window) {
    WriteAll(home.parent_path() / "script.zub", std::string(c.Prelude) + c.Run + "rows\n");
    TRun r = Spawn({(kBin / "zub-drive").string(), "--home", home.string(),
                    (home.parent_path() / "script.zub").string()},
                   home);
    return r;
  }
  std::vector<std::string> argv = {(kBin / "zub").string(), "--home", home.string(), "-v", "-q"};
  std::istringstream words(c.Run);
  for (std::string w; words >> w;) argv.push_back(w);
  return Spawn(argv, home);
}

// ---------------------------------------------------------------------------------------
// The sweep

struct TCase {
  const TCommand* Command;
  std::string Fault;  // "-3", "-5", "-10", "die", "kill-tool"
  bool Wine = false;
};

void PrintTo(const TCase& c, std::ostream* os) {
  *os << c.Command->Name << ", " << c.Fault << (c.Wine ? ", Wine" : "");
}

class Sweep : public testing::TestWithParam<TCase> {
 protected:
  void SetUp() override {
    const TCase& p = GetParam();
    if (p.Wine) {
      const std::string missing = PrepareWine();
      if (!missing.empty()) GTEST_SKIP() << missing;
    }
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    base_ = kTmp / name;
    tpl_ = MakeTemplate(base_ / "template", p.Command->Home, p.Wine);
    home_ = base_ / "run" / "home";
    before_ = Snapshot(tpl_);
  }

  const TCase& P() const { return GetParam(); }
  const TCommand& C() const { return *GetParam().Command; }

  // The clean run: what the command is meant to leave, and its calls.
  void RunClean() {
    Prepare(tpl_, home_, "");
    const TRun r = RunCommand(C(), home_);
    cleanCalls_ = Calls(Lines(C().Via == TVia::Window ? r.Out : r.Err));
    intended_ = Snapshot(home_);
    if (C().Via == TVia::Window) {
      ASSERT_TRUE(Contains(r.Out, C().Success)) << r.Out;
      ASSERT_FALSE(Contains(r.Out, "box ERROR")) << r.Out;
      cleanRows_ = Rows(r.Out);
      preludeCalls_ = CountPreludeCalls();
    } else {
      ASSERT_EQ(r.Status, 0) << r.Err;
    }
    ASSERT_FALSE(cleanCalls_.empty());
    RecordProperty("calls", static_cast<int>(cleanCalls_.size() - preludeCalls_));
  }

  // The calls of the prelude, made before the command: not failed, they are not its own.
  std::size_t CountPreludeCalls() const {
    if (!*C().Prelude) return 0;
    Prepare(tpl_, home_, "");
    TCommand prelude = C();
    prelude.Run = "";
    const TRun r = RunCommand(prelude, home_);
    // The window's close adds one EndGBPMode that the command's run has at its end as well.
    return Calls(Lines(r.Out)).size() - 1;
  }

  // Checks one run with the K-th call failed.
  void Check(std::size_t k, const TRun& r) {
    const std::string& text = C().Via == TVia::Window ? r.Out : r.Err;
    const std::vector<std::string> lines = Lines(text);
    const TTree after = Snapshot(home_);
    const TCall& failed = cleanCalls_[k - 1];
    const bool success = C().Via == TVia::Window ? Contains(text, C().Success) : r.Status == 0;

    // What the user was told: a section that may hold other content, the data kept in a file.
    std::vector<std::string> told;
    for (const auto& line : lines) {
      const auto at = line.find("while section ");
      if (Contains(line, "may or may not") && at != std::string::npos)
        told.push_back(line.substr(at + 14, line.find(' ', at + 14) - at - 14));
    }
    bool kept = false;
    for (const std::string& words : C().Told) kept = kept || Contains(text, words);
    if (kept && C().KeptIn) {
      EXPECT_EQ(Get(after, C().KeptIn), Get(intended_, C().KeptIn))
          << C().KeptIn << " does not hold the program it is said to keep";
    }

    // Every file holds what it held or what was intended; a backup folder is one whole.
    for (const std::string& path : Paths({&before_, &intended_, &after})) {
      const auto now = Get(after, path);
      if (now == Get(before_, path) || now == Get(intended_, path) || path.starts_with("bk/"))
        continue;
      const std::string s = path.starts_with("phone/") ? path.substr(6, path.size() - 10) : "";
      if (!s.empty() && (kept || std::find(told.begin(), told.end(), s) != told.end())) continue;
      ADD_FAILURE() << path << " holds neither its old nor its intended content";
    }
    EXPECT_TRUE(Part(after, "bk/") == Part(before_, "bk/") ||
                Part(after, "bk/") == Part(intended_, "bk/"))
        << "the backup folder is neither the last backup nor the new one";

    // A success only when everything is as intended. Told that a section could not be read,
    // the user updates what the dialog shows: the record written is the one they saw.
    if (success && !kept) {
      EXPECT_TRUE(Part(after, "phone/") == Part(intended_, "phone/") &&
                  Part(after, "bk/") == Part(intended_, "bk/"))
          << "a success claimed, but the telephone (or backup) is not what was intended";
      // The library's -5 to a size query says "no such section"; the rows show it as empty.
      const bool absentSaid = P().Fault == "-5" && failed.Entry == "GetNVMFileSize";
      if (C().Via == TVia::Window && !Contains(text, "box ERROR") && !absentSaid) {
        EXPECT_EQ(Rows(text), cleanRows_) << "a success that shows other rows";
      }
    }
    // A killed tool leaves its temporary files to the next run, which must clear them.
    if (P().Fault != "kill-tool") {
      EXPECT_EQ(Leftovers(home_), std::vector<std::string>{}) << "temporary files left";
    }
    if (P().Wine) {
      EXPECT_FALSE(HostRunsIn(home_)) << "a host is left running";
    }
    if (P().Fault == "die" && failed.Entry != "EndGBPMode") CheckLost(k, r, lines, told, success);
  }

  // A lost link: no call after it but the closing ones, no success, and one word of it; a
  // write or an erase that lost its answer says that the section may hold other content.
  void CheckLost(std::size_t k, const TRun& r, const std::vector<std::string>& lines,
                 const std::vector<std::string>& told, bool success) {
    const TCall& failed = cleanCalls_[k - 1];
    const std::vector<TCall> calls = Calls(lines);
    ASSERT_GE(calls.size(), k);
    for (std::size_t i = k; i < calls.size(); ++i)
      EXPECT_EQ(calls[i].Entry, "EndGBPMode") << "a call after the lost link: " << calls[i].Text;
    EXPECT_FALSE(success) << "a success after a lost link";
    const std::string section = SectionOf(failed.Text);
    if (failed.Entry == "WriteNVMFile" || failed.Entry == "ClearNVMFile") {
      EXPECT_NE(std::find(told.begin(), told.end(), section), told.end())
          << "a write or an erase lost its answer, and " << section << " is not said to be unknown";
    }
    if (C().Via == TVia::Zub) {
      EXPECT_NE(r.Status, 0);
      EXPECT_TRUE(Contains(r.Err, "stopped answering") || Contains(r.Err, "COMM Error")) << r.Err;
      return;
    }
    std::vector<std::string> boxes;
    for (std::size_t i = calls[k - 1].Line; i < lines.size(); ++i)
      if (lines[i].starts_with("box ")) boxes.push_back(lines[i]);
    ASSERT_FALSE(boxes.empty()) << "nothing said of the lost link";
    if (failed.Entry == "InitGBPMode") {
      EXPECT_EQ(boxes[0], "box ERROR: GBP Error: COMM Error!");
    } else {
      EXPECT_EQ(boxes.size(), 1u) << "more than one box for one lost link";
      EXPECT_TRUE(boxes[0].starts_with("box ERROR: The telephone stopped answering")) << boxes[0];
    }
  }

  fs::path base_, tpl_, home_;
  TTree before_, intended_;
  std::vector<TCall> cleanCalls_;
  std::string cleanRows_;
  std::size_t preludeCalls_ = 0;
};

TEST_P(Sweep, EveryCallFailsInTurn) {
  ASSERT_NO_FATAL_FAILURE(RunClean());
  const bool killTool = P().Fault == "kill-tool";
  for (std::size_t k = preludeCalls_ + 1; k <= cleanCalls_.size(); ++k) {
    SCOPED_TRACE("call " + std::to_string(k) + " (" + cleanCalls_[k - 1].Text + ") fails with " +
                 P().Fault);
    Prepare(tpl_, home_, std::to_string(k) + ":" + P().Fault);
    const TRun r = RunCommand(C(), home_);
    if (!killTool) {
      Check(k, r);
    } else {
      // The tool killed after the call: the last backup is still whole, and the same command
      // run again does the whole job.
      ASSERT_TRUE(r.Killed) << r.Err;
      Check(k, r);
      WriteAll(home_ / "gbp-sim.ini", ReadAll(tpl_ / "gbp-sim.ini"));
      const TRun again = RunCommand(C(), home_);
      EXPECT_EQ(again.Status, 0) << again.Err;
      EXPECT_TRUE(Snapshot(home_) == intended_) << "run again, the command did not finish the job";
      EXPECT_EQ(Leftovers(home_), std::vector<std::string>{});
    }
    if (HasFailure()) return;  // one failing call says enough; the rest would repeat it
  }
}

std::vector<TCase> AllCases() {
  std::vector<TCase> out;
  for (const TCommand& c : kCommands) {
    for (const char* fault : {"-3", "-5", "-10", "die"}) out.push_back({&c, fault});
    if (c.Via == TVia::Zub && c.Home == THome::Changed) out.push_back({&c, "kill-tool"});
  }
  return out;
}

std::vector<TCase> WineCases() {
  std::vector<TCase> out;
  for (const TCommand& c : kCommands)
    if (std::string(c.Name) == "Upload" || c.Home == THome::Changed)
      out.push_back({&c, "die", true});
  return out;
}

std::string CaseName(const testing::TestParamInfo<TCase>& info) {
  std::string fault = info.param.Fault;
  if (fault.starts_with("-")) fault = "Code" + fault.substr(1);
  if (fault == "die") fault = "Die";
  if (fault == "kill-tool") fault = "KillTool";
  return std::string(info.param.Command->Name) + "_" + fault;
}

INSTANTIATE_TEST_SUITE_P(InProcess, Sweep, testing::ValuesIn(AllCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Wine, Sweep, testing::ValuesIn(WineCases()), CaseName);

// ---------------------------------------------------------------------------------------
// Ctrl-C on zub while a call never returns (the write of 2-3 hangs), sent to zub's process
// group as a terminal does: the first says at once which call it waits for and leaves the call
// alone; the second does not wait for it. A hosted call is cut short: its
// host is ended, and what the write left is said to be unknown. A library loaded into zub
// cannot be cut short: zub ends at once.

struct TInterruptCase {
  const char* Name;
  bool Wine;
  std::vector<std::string> Said;  // after the second Ctrl-C, on standard error
};

void PrintTo(const TInterruptCase& c, std::ostream* os) {
  *os << c.Name;
}

class CtrlC : public testing::TestWithParam<TInterruptCase> {};

// Waits up to `seconds` for `done`, looking every 20 ms.
template <typename Done>
bool WaitFor(Done done, int seconds) {
  for (int i = 0; i < seconds * 50; ++i) {
    if (done()) return true;
    usleep(20000);
  }
  return done();
}

TEST_P(CtrlC, SecondCtrlCDoesNotWaitForAHungCall) {
  const TInterruptCase& p = GetParam();
  if (p.Wine) {
    const std::string missing = PrepareWine();
    if (!missing.empty()) GTEST_SKIP() << missing;
  }
  const fs::path base = kTmp / (std::string("CtrlC_") + p.Name);
  const fs::path tpl = MakeTemplate(base / "template", THome::Demo, p.Wine);
  const fs::path home = base / "run" / "home", err = base / "run" / "stderr.txt";
  const std::string before = ReadAll(tpl / "phone" / "2-3.bin");
  // A first Ctrl-C between two calls stops the run before the hung one; then it runs again.
  std::string first;
  int status = 0;
  for (int attempt = 0; attempt < 5 && first.empty(); ++attempt) {
    Prepare(tpl, home, "2:hang");
    fs::remove(err);  // what an earlier attempt said is no answer to this one
    const pid_t pid = fork();
    if (pid == 0) {
      // A process group of its own, as a shell gives a command: Ctrl-C goes to the group.
      setpgid(0, 0);
      if (chdir(home.c_str()) != 0 || !freopen("/dev/null", "w", stdout) ||
          !freopen(err.c_str(), "w", stderr))
        _exit(126);
      execl((kBin / "zub").c_str(), "zub", "--home", home.c_str(), "-v", "write", "2-3",
            "samples/tetris-v2.prg", static_cast<char*>(nullptr));
      _exit(127);
    }
    // A failed check leaves no zub hanging behind it.
    struct TReap {
      pid_t Pid;
      bool Done = false;
      ~TReap() {
        if (!Done && kill(-Pid, SIGKILL) == 0) waitpid(Pid, nullptr, 0);
      }
    } reap{pid};
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadAll(err), "call: InitGBPMode(1) -> 0"); }, 60))
        << ReadAll(err);
    kill(-pid, SIGINT);
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadAll(err), "zub: stopping "); }, 5))
        << "the first Ctrl-C said nothing at once: " << ReadAll(err);
    if (Contains(ReadAll(err), "zub: stopping after the current call (writing 2-3)\u2026\n")) {
      first = ReadAll(err);
      // The call goes on after the first: the host, in a group of its own, never got it.
      reap.Done = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 1);
      ASSERT_FALSE(reap.Done) << "one Ctrl-C ended the call in flight: " << ReadAll(err);
      kill(-pid, SIGINT);
    }
    reap.Done = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 30);
    ASSERT_TRUE(reap.Done) << "zub still waits after " << (first.empty() ? "one Ctrl-C" : "two")
                           << ": " << ReadAll(err);
  }
  ASSERT_FALSE(first.empty()) << "the first Ctrl-C never came during the write";
  ASSERT_TRUE(WIFEXITED(status)) << "zub ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const std::string said = ReadAll(err);
  for (const std::string& words : p.Said) EXPECT_TRUE(Contains(said, words)) << said;
  EXPECT_FALSE(HostRunsIn(home)) << "a host is left running";
  EXPECT_EQ(Leftovers(home), std::vector<std::string>{});
  // The write never reached the telephone, or reached it whole.
  const std::string now = ReadAll(home / "phone" / "2-3.bin");
  EXPECT_TRUE(now == before || now == ReadAll(home / "samples" / "tetris-v2.prg"));
}

const TInterruptCase kInterruptCases[] = {
    {"InProcess", false, {"zub: stopped at once by a second Ctrl-C\n"}},
    {"Wine",
     true,
     {"zub: the telephone stopped answering while section 2-3 was being written; it may or may "
      "not hold the new content (check with: zub read 2-3 FILE)\n",
      "zub: stopped by Ctrl-C"}},
};

INSTANTIATE_TEST_SUITE_P(Zub, CtrlC, testing::ValuesIn(kInterruptCases),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
