// Settings load and save, the catalogue, the COM-port selector and the Options dialog, run on
// the core with the simulator behind it.
#include <gtest/gtest.h>
#include <signal.h>
#if !defined(_WIN32)
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <string_view>
#include <tuple>

#include "app/Actions.h"
#include "app/Manager.h"
#include "commands/Scan.h"
#include "support/FakeInteraction.h"
#include "support/SimTelephone.h"
#include "support/TestFiles.h"

namespace zub {
namespace {

using test::CallLog;
using test::FakeInteraction;
using test::SimTelephone;

class SettingsTest : public ::testing::Test {
 protected:
  std::unique_ptr<TManager> Start() {
    auto m = std::make_unique<TManager>(ui, phone.Options(&calls));
    m->FormShow();
    return m;
  }
  std::string Saved(const std::string& section, const std::string& key) {
    TProfileFile f(phone.SettingsPath());
    return f.ReadString(section, key, "<none>");
  }
  SimTelephone phone;
  FakeInteraction ui;
  CallLog calls;
};

TEST_F(SettingsTest, DefaultsWithoutSettingsFile) {
  std::filesystem::remove(phone.SettingsPath());
  auto m = Start();
  EXPECT_EQ(m->Bounds.Top, 20);
  EXPECT_EQ(m->Bounds.Left, 240);
  EXPECT_EQ(m->Bounds.Width, 330);
  EXPECT_EQ(m->Bounds.Height, 420);
  EXPECT_EQ(m->ComboBox1Index, 0);
  EXPECT_EQ(m->Experts.FWIndex, 0);
  EXPECT_FALSE(m->Experts.CTECB);
  EXPECT_EQ(m->RowCount(), 1);  // the title row only
  EXPECT_EQ(m->CurrentSection(), nullptr);
  EXPECT_TRUE(ui.Boxes.empty());
}

// Bounds from a hand-edited file or one saved while the window was minimised come back as a
// window of a usable size that a screen can show.
TEST_F(SettingsTest, WindowBoundsAreClampedToAUsableWindow) {
  struct TCase {
    const char* Top;
    const char* Left;
    const char* Width;
    const char* Height;
    TWindowBounds Expected;
  };
  const std::vector<TCase> cases = {
      {"20", "240", "330", "420", {20, 240, 330, 420}},
      {"20", "240", "0", "-50", {20, 240, 160, 120}},
      {"20", "240", "159", "119", {20, 240, 160, 120}},
      {"-99999", "99999", "2000000000", "99999", {-16384, 16384, 16384, 16384}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Width) + "x" + c.Height);
    phone.SetSetting("Form", "Top", c.Top);
    phone.SetSetting("Form", "Left", c.Left);
    phone.SetSetting("Form", "Width", c.Width);
    phone.SetSetting("Form", "Height", c.Height);
    auto m = Start();
    EXPECT_EQ(m->Bounds.Top, c.Expected.Top);
    EXPECT_EQ(m->Bounds.Left, c.Expected.Left);
    EXPECT_EQ(m->Bounds.Width, c.Expected.Width);
    EXPECT_EQ(m->Bounds.Height, c.Expected.Height);
  }
}

TEST_F(SettingsTest, CatalogueKeysNameTheirOwnDescriptions) {
  phone.SetCatalogue({{"0x0210", std::string("hex entry"), 2048},
                      {"528", std::string("decimal entry"), std::nullopt},
                      {"not a number", std::string("skipped"), std::nullopt},
                      {"$1201", std::nullopt, std::nullopt}});
  auto m = Start();
  ASSERT_EQ(m->RowCount(), 4);
  const auto& a = m->Sections[1];
  EXPECT_EQ(a.Section, 2);
  EXPECT_EQ(a.SubSection, 16);
  EXPECT_EQ(a.Description, "hex entry");
  EXPECT_EQ(a.MaxSize, 2048);
  EXPECT_EQ(a.Size, 0);
  EXPECT_EQ(a.Icon, -1);
  EXPECT_EQ(m->Sections[2].Section, 2);
  EXPECT_EQ(m->Sections[2].SubSection, 16);
  EXPECT_EQ(m->Sections[2].Description, "decimal entry");
  EXPECT_EQ(m->Sections[2].MaxSize, 65535);
  EXPECT_EQ(m->Sections[3].Section, 18);
  EXPECT_EQ(m->Sections[3].SubSection, 1);
  EXPECT_EQ(m->Sections[3].Description, "Free");
  // The placeholder carries nothing.
  EXPECT_EQ(m->Sections[0].Section + m->Sections[0].SubSection, 0);
  EXPECT_TRUE(m->Sections[0].Description.empty());
}

TEST_F(SettingsTest, TextsOfTheSettingsFilesComeInAsUtf8) {
  // SECTIONS.INI in Windows-1251, the program settings in UTF-8: each file is read in its own.
  phone.SetCatalogue({{"0x0205", std::string("\xC8\xE3\xF0\xFB"), std::nullopt},
                      {"0x0206", std::string("\xC4\xE0\xED\xED\xFB\xE5"), std::nullopt}});
  phone.SetSign(0x4B4F4F42, "Книга");
  phone.PutSection(2, 5, std::string_view("BOOK and more", 13));
  phone.PutSection(2, 6, std::string_view("\x01\x02\x03\x04 unknown", 12));
  auto m = Start();
  ASSERT_EQ(m->RowCount(), 3);
  EXPECT_EQ(m->Sections[1].Description, "Игры");
  m->DrawGrid1Click(1);
  EXPECT_EQ(ui.LastStatus(), "By default section 2-5 is used for Игры");
  ASSERT_TRUE(m->NVM->InitGBP());
  ScanSection(*m, m->Sections[1]);
  ScanSection(*m, m->Sections[2]);
  m->NVM->EndGBP();
  EXPECT_EQ(m->Sections[1].Title, "< Книга >");
  EXPECT_EQ(m->Sections[2].Title, "< Данные or unknown data >");
}

TEST_F(SettingsTest, CatalogueStopsAtTheFirstMissingKey) {
  phone.SetSetting("Sections", "section1", "0x0201");
  phone.SetSetting("Sections", "section3", "0x0203");
  auto m = Start();
  EXPECT_EQ(m->RowCount(), 2);
}

TEST_F(SettingsTest, NegativeKeyKeepsTheSignOfTheSection) {
  phone.SetCatalogue({{"-255", std::string("odd"), std::nullopt}});
  auto m = Start();
  ASSERT_EQ(m->RowCount(), 2);
  EXPECT_EQ(m->Sections[1].Section, -1);
  EXPECT_EQ(m->Sections[1].SubSection, 1);
}

TEST_F(SettingsTest, OutOfRangeStoredIndexesSelectNothingAndPortOneIsUsed) {
  phone.SetSetting("Manager", "COM-Port", "7");
  phone.SetSetting("Manager", "UFIFFW", "12");
  phone.SetCatalogue({SimTelephone::Entry(2, 8, "x")});
  auto m = Start();
  EXPECT_EQ(m->ComboBox1Index, -1);
  EXPECT_EQ(m->Experts.FWIndex, -1);
  EXPECT_EQ(m->Experts.FWText, "");
  ASSERT_TRUE(m->NVM->InitGBP());
  ASSERT_FALSE(calls.Calls.empty());
  EXPECT_EQ(calls.Calls.back().Entry, "InitGBPMode");
  EXPECT_EQ(calls.Calls.back().Args, std::vector<std::int64_t>{1});
}

// The serial devices a Windows library's ports lead to under Wine come from [Device]; a port
// not named keeps Wine's own mapping (an empty entry), and the save leaves the keys alone.
TEST_F(SettingsTest, DeviceKeysNameTheSerialDevicesOfTheFourPorts) {
  phone.SetSetting("Device", "COM1", "/dev/ttyACM0");
  phone.SetSetting("Device", "COM4", "/dev/ttyUSB1");
  auto m = Start();
  EXPECT_EQ(m->NVM->ComDevices(),
            (std::array<std::string, 4>{"/dev/ttyACM0", "", "", "/dev/ttyUSB1"}));
  m->FormClose();
  EXPECT_EQ(Saved("Device", "COM1"), "/dev/ttyACM0");
  EXPECT_EQ(Saved("Device", "COM2"), "<none>");
}

TEST_F(SettingsTest, SaveWritesTheListedKeysOnly) {
  phone.SetCatalogue({SimTelephone::Entry(2, 8, "x")});
  phone.SetSign(3, "Counter");
  auto m = Start();
  m->Bounds = {11, 22, 333, 444};
  m->ComboBox1Change(2);
  m->SetFWIndex(5);
  m->FormClose();
  EXPECT_EQ(Saved("Form", "Top"), "11");
  EXPECT_EQ(Saved("Form", "Left"), "22");
  EXPECT_EQ(Saved("Form", "Width"), "333");
  EXPECT_EQ(Saved("Form", "Height"), "444");
  EXPECT_EQ(Saved("Manager", "COM-Port"), "2");
  EXPECT_EQ(Saved("Manager", "UFIFFW"), "5");
  EXPECT_EQ(Saved("Manager", "CTEMode"), "0");
  EXPECT_EQ(Saved("Sections", "section1"), "520");
  EXPECT_EQ(Saved("Sign", "0x00000003"), "Counter");
}

TEST_F(SettingsTest, CloseWritesBoundsEvenWithoutACommand) {
  std::filesystem::remove(phone.SettingsPath());
  auto m = Start();
  m->FormClose();
  EXPECT_EQ(Saved("Form", "Width"), "330");
}

TEST_F(SettingsTest, OptionsCancelRestoresFirmwareAndCableMode) {
  phone.SetCatalogue({SimTelephone::Entry(2, 8, "x")});
  phone.SetSetting("Manager", "UFIFFW", "2");
  auto m = Start();
  m->Sections[1].Size = 99;  // as if scanned
  calls.Clear();
  ui.AnswerModal(TFormId::ExpertsForm, mrCancel, [&] {
    m->SetCTECB(true);
    m->SetFWIndex(6);
  });
  m->Button7Click();
  EXPECT_FALSE(m->Experts.CTECB);
  EXPECT_FALSE(m->NVM->CTEMode());
  EXPECT_EQ(m->NVM->LibraryFileName(), "gbp.dll");
  EXPECT_EQ(m->Experts.FWIndex, 2);
  EXPECT_EQ(m->Sections[1].Size, 0);  // unscanned again
  // cte_gbp.dll was loaded while the dialog was open, gbp.dll after it.
  ASSERT_GE(calls.Loads.size(), 2u);
  EXPECT_EQ(calls.Loads.front().first, "cte_gbp.dll");
  EXPECT_EQ(calls.Loads.back().first, "gbp.dll");
}

TEST_F(SettingsTest, OptionsOkKeepsTheChoices) {
  phone.SetCatalogue({SimTelephone::Entry(2, 8, "x")});
  auto m = Start();
  ui.AnswerModal(TFormId::ExpertsForm, mrOk, [&] {
    m->SetCTECB(true);
    m->SetFWIndex(4);
  });
  m->Button7Click();
  EXPECT_TRUE(m->Experts.CTECB);
  EXPECT_TRUE(m->NVM->CTEMode());
  EXPECT_EQ(m->Experts.FWIndex, 4);
  EXPECT_EQ(Saved("Manager", "CTEMode"), "1");
  EXPECT_EQ(Saved("Manager", "UFIFFW"), "4");
  // "Default" unticks the cable mode and switches back at once.
  m->ExpertsButton3Click();
  EXPECT_FALSE(m->NVM->CTEMode());
  EXPECT_TRUE(m->NVM->Loaded());
}

TEST_F(SettingsTest, TypedFirmwareTextCountsAndSelectsNothing) {
  auto m = Start();
  m->SetFWText("0x37BDD8 - z7 custom");
  EXPECT_EQ(m->Experts.FWIndex, -1);
  EXPECT_EQ(m->Experts.FWText, "0x37BDD8 - z7 custom");
  m->SetFWText("0x36A658 - J5/6 5.4.2/5");
  EXPECT_EQ(m->Experts.FWIndex, 5);
}

TEST_F(SettingsTest, MissingLibraryIsReportedOnceAtStartUp) {
  std::filesystem::remove(phone.Dir() / "gbp.dll");
  auto m = Start();
  ASSERT_EQ(ui.Boxes.size(), 1u);
  EXPECT_EQ(ui.Boxes[0], (test::TBox{"ERROR", "Unable to open gbp.dll"}));
  // Later reloads report each failure.
  ui.ClearRecords();
  m->SettingsLoad();
  EXPECT_EQ(ui.Boxes.size(), 1u);
}

TEST_F(SettingsTest, SelectionTextAndMenuFollowTheRow) {
  phone.SetCatalogue({SimTelephone::Entry(2, 16, "PRG3 library")});
  auto m = Start();
  m->DrawGrid1Click(1);
  EXPECT_EQ(ui.LastStatus(), "By default section 2-16 is used for PRG3 library");
  m->DrawGrid1MouseUpRight();
  EXPECT_TRUE(Has(m->ActionEnabled, TActionId::UploadAction));
  m->DrawGrid1Click(0);  // the title row: no section, nothing offered
  m->DrawGrid1MouseUpRight();
  EXPECT_TRUE(m->ActionEnabled.none());
}

// ---------------------------------------------------------------------------------------
// The settings file is edited, not regenerated, and a save that cannot happen is told.

using namespace std::string_literals;
using test::Utf16Le;
using Buf = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

using test::ReadText;
using test::WriteFile;

#if !defined(_WIN32)
// The files created in a folder and renamed into it while the watch lives.
class TFolderWatch {
 public:
  explicit TFolderWatch(const fs::path& dir) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    ::inotify_add_watch(fd_, dir.c_str(), IN_CREATE | IN_MOVED_TO);
  }
  ~TFolderWatch() { ::close(fd_); }
  std::map<std::string, int> Created, MovedIn;
  void Drain() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) return;
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        const std::string name = e->len ? e->name : "";
        ++((e->mask & IN_CREATE) ? Created : MovedIn)[name];
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
  }

 private:
  int fd_;
};
#endif

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

TEST_F(SettingsTest, SaveChangesTheValuesAndKeepsEveryOtherByte) {
  struct Case {
    const char* name;
    std::string before;
    int top;  // as read at start-up: the first occurrence
    std::string after;
  };
  const Case cases[] = {
      {"CommentsOddLinesDuplicates",
       "; my settings\r\n[Form]\r\nTop = 5\r\nthis line has no equals sign\r\nTop=6\r\n"
       "Left=7\r\n\r\n[Sections]\r\nsection1=0x0208\r\n[Sign]\r\n0x00000003=Counter ; kept\r\n"
       "[Manager]\r\nCOM-Port=1\r\n",
       5,
       "; my settings\r\n[Form]\r\nTop = 11\r\nthis line has no equals sign\r\nTop=6\r\n"
       "Left=22\r\nWidth=333\r\nHeight=444\r\n\r\n[Sections]\r\nsection1=0x0208\r\n[Sign]\r\n"
       "0x00000003=Counter ; kept\r\n[Manager]\r\nCOM-Port=2\r\nUFIFFW=5\r\nCTEMode=0\r\n"},
      {"LineFeedsOtherCaseNoFinalEnding", "[manager]\nctemode=1\n[form]\nHEIGHT=9\ntop=3", 3,
       "[manager]\nctemode=0\nCOM-Port=2\nUFIFFW=5\n[form]\nHEIGHT=444\ntop=11\nLeft=22\n"
       "Width=333"},
      {"NoFile", "", 20,
       "[Form]\r\nTop=11\r\nLeft=22\r\nWidth=333\r\nHeight=444\r\n[Manager]\r\nCOM-Port=2\r\n"
       "UFIFFW=5\r\nCTEMode=0\r\n"},
      // A CR LF file converted once more: each CR ends a line, and each line keeps its ending.
      {"CarriageReturnTwiceThenLineFeed",
       "[Form]\r\r\nTop=100\r\r\nLeft=\"7\"\r\r\n[Manager]\r\r\nCOM-Port=1\r\r\n", 100,
       "[Form]\r\r\nTop=11\r\r\nLeft=\"22\"\rWidth=333\rHeight=444\r\r\n[Manager]\r\r\n"
       "COM-Port=2\rUFIFFW=5\rCTEMode=0\r\r\n"},
      {"Utf16LittleEndian",
       Utf16Le(u"[Form]\r\nTop=100\r\n; Настройки\r\n[Manager]\r\nCTEMode=1\r\n"), 100,
       Utf16Le(u"[Form]\r\nTop=11\r\nLeft=22\r\nWidth=333\r\nHeight=444\r\n; Настройки\r\n"
               u"[Manager]\r\nCTEMode=0\r\nCOM-Port=2\r\nUFIFFW=5\r\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.before.empty()) {
      fs::remove(phone.SettingsPath());
    } else {
      WriteFile(phone.SettingsPath(), c.before);
    }
    auto m = Start();
    EXPECT_EQ(m->Bounds.Top, c.top);
    m->Bounds = {11, 22, 333, 444};
    m->ComboBox1Change(2);
    m->SetFWIndex(5);
    m->SetCTECB(false);
    const std::set<std::string> names = Names(phone.Dir());
#if !defined(_WIN32)
    TFolderWatch watch(phone.Dir());
#endif
    m->FormClose();
    EXPECT_EQ(ReadText(phone.SettingsPath()), c.after);
    EXPECT_TRUE(ui.Boxes.empty());
#if !defined(_WIN32)
    // One replacement for the seven keys; its temporary file is gone.
    watch.Drain();
    EXPECT_EQ(watch.MovedIn, (std::map<std::string, int>{{"zubmanager.INI", 1}}));
    ASSERT_EQ(watch.Created.size(), 1u);
    EXPECT_EQ(watch.Created.begin()->second, 1);
#endif
    std::set<std::string> expected = names;
    expected.insert("zubmanager.INI");
    EXPECT_EQ(Names(phone.Dir()), expected);
  }
}

// Permission bits and a file size limit: POSIX's.
#if !defined(_WIN32)
TEST_F(SettingsTest, ASaveThatCannotHappenIsToldAndTheCommandGoesOn) {
  const std::string text =
      "[Form]\r\nTop=5\r\n[Sections]\r\nsection1=520\r\n[Manager]\r\nCOM-Port=1\r\n";
  const std::string notText =
      "The settings file \"{path}\" is not a plain text file (it holds NUL bytes or is "
      "UTF-16). The settings cannot be saved; the file is left as it is.";
  const std::string failed = "The settings could not be saved. Cannot create file \"{path}\". ";
  struct Case {
    const char* name;
    std::string bytes;
    fs::perms perms;
    bool diskFull;      // the close writes to a full disk, later saves do not
    std::string box;    // the start of each box's text
    std::size_t boxes;  // in all: the close, the Options dialog (two saves), the upload prompt
    bool upload;        // a UFIF 2.0 upload runs through the prompt's save
  };
  const fs::perms rw = fs::perms::owner_read | fs::perms::owner_write;
  const fs::perms ro = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const Case cases[] = {
      {"NulByte", "; \0\r\n"s + text, rw, false, notText, 1, true},
      {"Utf16WithANulCharacter", "\xFF\xFE[\0F\0o\0r\0m\0]\0\0\0\r\0\n\0"s, rw, false, notText, 1,
       false},
      {"Utf16BigEndian", "\xFE\xFF\0[\0F\0o\0r\0m\0]\0\r\0\n"s, rw, false, notText, 1, false},
      {"ReadOnly", text, ro, false, failed + "Permission denied", 4, true},
      {"DiskFull", text + std::string(200, ';') + "\r\n", rw, true, failed + "File too large", 1,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimTelephone home;  // a new file: "told once" counts per file
    FakeInteraction face;
    home.PutSection(2, 8, Buf(100, 7));
    WriteFile(home.SettingsPath(), c.bytes);
    fs::permissions(home.SettingsPath(), c.perms);
    std::string box = c.box;
    box.replace(box.find("{path}"), 6, home.SettingsPath().string());

    TManager m(face, home.Options());
    m.FormShow();
    m.Bounds = {11, 22, 333, 444};
    {
      rlimit old{};
      ::getrlimit(RLIMIT_FSIZE, &old);
      rlimit full = old;
      if (c.diskFull) full.rlim_cur = 64;
      const auto oldSignal = ::signal(SIGXFSZ, SIG_IGN);
      ::setrlimit(RLIMIT_FSIZE, &full);
      m.FormClose();
      ::setrlimit(RLIMIT_FSIZE, &old);
      ::signal(SIGXFSZ, oldSignal);
    }
    EXPECT_EQ(ReadText(home.SettingsPath()), c.bytes);
    EXPECT_EQ(Names(home.Dir()).count("zubmanager.INI"), 1u);
    face.AnswerModal(TFormId::ExpertsForm, mrOk, [&] { m.SetFWIndex(3); });
    m.Run([&] { m.Button7Click(); });
    // The load after the dialog ran, from the file as it is.
    EXPECT_EQ(m.Experts.FWIndex, c.diskFull ? 3 : 0);
    if (c.upload) {
      ASSERT_EQ(m.RowCount(), 2);
      Buf program(400, 0x11);
      program[0] = program[1] = program[2] = 0, program[3] = 0x20;  // UFIF 2.0
      WriteFile(home.Dir() / "up.prg", std::string(program.begin(), program.end()));
      face.OpenAnswers.push_back((home.Dir() / "up.prg").string());
      face.AnswerModal(TFormId::OKBottomDlg, mrNo);
      m.Row = 1;
      m.Run([&] { ExecuteAction(m, TActionId::UploadAction); });
      EXPECT_EQ(home.Section(2, 8), program);
      EXPECT_EQ(face.LastStatus(), "Uploaded!");
      EXPECT_EQ(face.Boxes.back(), (test::TBox{"OK!", "Section uploaded sucsessfully!"}));
    }
    EXPECT_TRUE(face.Exceptions.empty());
    if (!c.diskFull) {
      EXPECT_EQ(ReadText(home.SettingsPath()), c.bytes);
    }
    const auto told = face.BoxesWithCaption("ERROR");
    EXPECT_EQ(told.size(), c.boxes);
    for (const auto& b : told) EXPECT_TRUE(b.Text.starts_with(box)) << b.Text;
  }
}
#endif

// Settings files written on Windows: the settings converted to CR LF a second time (or with
// bare CRs), with quoted values and a Ctrl-Z at the end, and a catalogue saved as "Unicode".
TEST_F(SettingsTest, FilesFromWindowsLoadAsWindowsReadsThem) {
  WriteFile(phone.Dir() / "SECTIONS.INI",
            Utf16Le(u"[0x0210]\r\nDescription=\"Camera photos\"\r\nMaxSize=2048\r\n"
                    u"[528]\r\nDescription=Фотографии\r\n[0x1201]\r\nDescription=Игры ★\r\n"));
  for (const std::string eol : {"\r\r\n", "\r"}) {
    SCOPED_TRACE(eol == "\r" ? "CR" : "CR CR LF");
    std::string settings;
    for (const char* line :
         {"[Form]", "Top=100", "Left=\"300\"", "[Sections]", "section1=\"0x0210\"", "section2=528",
          "section3='0x1201'", "[Manager]"})
      settings += line + eol;
    WriteFile(phone.SettingsPath(), settings + "COM-Port=3\x1A");
    ui.ClearRecords();
    auto m = Start();
    EXPECT_EQ(m->Bounds.Top, 100);
    EXPECT_EQ(m->Bounds.Left, 300);
    EXPECT_EQ(m->ComboBox1Index, 3);
    ASSERT_EQ(m->RowCount(), 4);
    const std::tuple<int, int, std::string, int> rows[] = {
        {2, 16, "Camera photos", 2048}, {2, 16, "Фотографии", 65535}, {18, 1, "Игры ★", 65535}};
    for (int r = 1; r < 4; ++r) {
      const auto& [section, subSection, description, maxSize] = rows[r - 1];
      EXPECT_EQ(m->Sections[r].Section, section) << r;
      EXPECT_EQ(m->Sections[r].SubSection, subSection) << r;
      EXPECT_EQ(m->Sections[r].Description, description) << r;
      EXPECT_EQ(m->Sections[r].MaxSize, maxSize) << r;
    }
    m->DrawGrid1Click(1);
    EXPECT_EQ(ui.LastStatus(), "By default section 2-16 is used for Camera photos");
    EXPECT_TRUE(ui.Boxes.empty());
  }
}

#if !defined(_WIN32)
// A save stopped before its rename leaves its temporary file beside the settings file; the
// next start removes it, and nothing else: not a file another copy of the program is saving
// now, nor any name that is not of that form.
TEST_F(SettingsTest, ALeftoverTemporaryFileOfASaveGoesAtTheNextStart) {
  std::string saveTemp;  // the name a real save gives its temporary file
  {
    auto m = Start();
    TFolderWatch watch(phone.Dir());
    m->FormClose();
    watch.Drain();
    ASSERT_EQ(watch.Created.size(), 1u);
    saveTemp = watch.Created.begin()->first;
  }
  enum TKind { kFile, kFolder, kLink };
  struct Case {
    std::string name;
    TKind kind;
    bool old;  // last written an hour ago, else just now
    bool removed;
  };
  const Case cases[] = {
      {saveTemp, kFile, true, true},
      {".zubmanager.INI.0123456789abcdef.tmp", kFile, true, true},
      {".zubmanager.INI.abcdefghijklmnop.tmp", kFile, false, false},
      {".zubmanager.INI.0123456789ABCDEF.tmp", kFile, true, false},
      {".zubmanager.INI.0123456789abcde.tmp", kFile, true, false},
      {".zubmanager.INI.0123456789abcdef.tmp.bak", kFile, true, false},
      {"zubmanager.INI.0123456789abcdef.tmp", kFile, true, false},
      {".SECTIONS.INI.0123456789abcdef.tmp", kFile, true, false},
      {".zubmanager.INI.qqqqqqqqqqqqqqqq.tmp", kFolder, true, false},
      {".zubmanager.INI.llllllllllllllll.tmp", kLink, true, false},
  };
  const auto hourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
  WriteFile(phone.Dir() / "linked.txt", "kept");
  fs::last_write_time(phone.Dir() / "linked.txt", hourAgo);
  for (const Case& c : cases) {
    const fs::path path = phone.Dir() / c.name;
    if (c.kind == kFile) WriteFile(path, "[Form]\r\nTop=");
    if (c.kind == kFolder) fs::create_directory(path);
    if (c.kind == kLink) fs::create_symlink("linked.txt", path);
    if (c.old && c.kind != kLink) fs::last_write_time(path, hourAgo);
  }
  auto m = Start();
  for (const Case& c : cases)
    EXPECT_EQ(fs::exists(fs::symlink_status(phone.Dir() / c.name)), !c.removed) << c.name;
  EXPECT_TRUE(fs::exists(phone.Dir() / "linked.txt"));
  EXPECT_TRUE(fs::exists(phone.SettingsPath()));
}
#endif

}  // namespace
}  // namespace zub
