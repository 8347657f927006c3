// Backups through the core: a backup never destroys the last good one (a run that fails, is
// stopped or loses the telephone leaves the folder as it was and no temporary folder), no file
// of an earlier backup survives that the new manifest does not list, the folder is never
// written through a link nor taken when it holds anything else, and no "no such section" is
// believed without asking again.
#include "commands/Backup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "commands/BackupFolder.h"
#include "commands/Restore.h"
#include "support/CommandFixture.h"

namespace zub::test {
namespace {

namespace fs = std::filesystem;

// Every name in the folder with its bytes ("->target" for a link).
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const auto name = it->path().filename().string();
    if (it->is_symlink())
      out[name] = "->" + fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      out[name] = "<folder>";
    else
      out[name] = ReadText(it->path());
  }
  return out;
}

// The names of the backup's own temporary and old folders beside it.
std::vector<std::string> Leftovers(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir.parent_path()))
    if (e.path().filename().string().starts_with("." + dir.filename().string() + ".zub-"))
      out.push_back(e.path().filename().string());
  return out;
}

// Stops the run when the given section has been stored.
class TStopAfter : public IRunObserver {
 public:
  TStopAfter(std::atomic<bool>& stop, TSectionAddress at) : stop_(stop), at_(at) {}
  void OnBackedUp(const TManifestEntry& e, const TRunProgress&) override {
    if (e.Address == at_) stop_ = true;
  }

 private:
  std::atomic<bool>& stop_;
  TSectionAddress at_;
};

// Falls silent when the backup starts asking again.
class TSilentAtCheck : public IRunObserver {
 public:
  explicit TSilentAtCheck(TLinkTiming& timing) : timing_(timing) {}
  void OnPhase(const TRunProgress& p) override {
    if (p.Phase == TRunPhase::Checking) timing_.Silent = true;
  }

 private:
  TLinkTiming& timing_;
};

class Backup : public CommandFixture<> {
 protected:
  Backup() {
    phone.SetCatalogue({SimTelephone::Entry(2, 1, "A"), SimTelephone::Entry(2, 5, "B"),
                        SimTelephone::Entry(2, 8, "C"), SimTelephone::Entry(2, 9, "D"),
                        SimTelephone::Entry(2, 12, "E")});
    phone.PutSection(2, 1, Pattern(100, 1));
    phone.PutSection(2, 5, Pattern(3000, 2));
    phone.PutSection(2, 8, "");  // empty
    phone.PutSection(2, 9, Pattern(500, 3));
    // 2-12 is absent
  }
  ~Backup() override { m.reset(); }  // the core goes before its timing

  fs::path Dir() const { return phone.Dir() / "bk"; }
  TBackupResult Run(const TRunControl& control = {}) {
    return RunBackup(*m, {Dir(), TBackupScope::Catalogue, "zub test"}, control);
  }
  // A complete backup to start from; the call log forgets it.
  std::map<std::string, std::string> GoodBackup() {
    const TBackupResult r = Run();
    EXPECT_FALSE(r.Failure) << r.Failure->Text;
    log.Clear();
    return Snapshot(Dir());
  }
  const TManifestEntry* Entry(const TBackupResult& r, TSectionAddress a) {
    for (const auto& e : r.Manifest.Entries)
      if (e.Address == a) return &e;
    return nullptr;
  }

  TLinkTiming timing;
};

TEST_F(Backup, StoresEverySectionAndPutsTheFolderInPlaceWithNothingLeftBeside) {
  Start(&timing);
  const TBackupResult r = Run();
  ASSERT_FALSE(r.Failure) << r.Failure->Text;
  EXPECT_EQ(r.Present, 3u);
  EXPECT_EQ(r.Empty, 1u);
  EXPECT_EQ(r.Absent, 1u);
  const auto files = Snapshot(Dir());
  EXPECT_EQ(files.size(), 4u);  // the three sections and the manifest
  EXPECT_EQ(files.at("2-5.bin"), ReadText(phone.PhoneDir() / "2-5.bin"));
  EXPECT_TRUE(Leftovers(Dir()).empty());
  ExpectClosed();
  ASSERT_TRUE(OpenBackup(Dir()).Backup);
}

TEST_F(Backup, ARunThatEndsHalfWayLeavesThePreviousBackupAndNoTemporaryFolder) {
  const struct {
    const char* name;
    const char* readFault;
    bool stopAfter21;
    bool silentFrom29;
    TFailureKind kind;
    const char* text;
  } cases[] = {
      {"stopped after the first section", "", true, false, TFailureKind::Stopped, "stopped"},
      {"a read error", "2-5:-10", false, false, TFailureKind::Refused,
       "1 section could not be read, so the earlier backup in"},
      {"the telephone falls silent", "", false, true, TFailureKind::LinkLost,
       "the telephone stopped answering (section 2-9)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(&timing);
    const auto before = GoodBackup();
    phone.PutSection(2, 1, Pattern(120, 9));  // the telephone changed since
    phone.SetFault("ReadError", c.readFault);
    timing.SilentFrom = c.silentFrom29 ? std::optional<TSectionAddress>({2, 9}) : std::nullopt;
    std::atomic<bool> stop{false};
    TStopAfter stopper(stop, {2, 1});

    const TBackupResult r = Run({c.stopAfter21 ? &stopper : nullptr, &stop});

    ASSERT_TRUE(r.Failure);
    EXPECT_EQ(r.Failure->Kind, c.kind);
    EXPECT_NE(r.Failure->Text.find(c.text), std::string::npos) << r.Failure->Text;
    EXPECT_EQ(Snapshot(Dir()), before);
    EXPECT_TRUE(Leftovers(Dir()).empty());
    ExpectClosed();
    m.reset();
    timing = TLinkTiming();
    phone.SetFault("ReadError", "");
  }
}

TEST_F(Backup, BelievesNoMinusFiveOrZeroWithoutAskingAgainBetweenTwoProbes) {
  Start(&timing);
  const auto before = GoodBackup();
  m.reset();
  const TSectionAddress a29{2, 9};
  const struct {
    const char* name;
    const char* sizeFault;
    bool slow29, silentFrom29, noneOnce29, silentAtCheck;
    std::optional<TBackupState> state29;  // nullopt: the backup fails
    int asked29;                          // size queries of 2-9
  } cases[] = {
      {"-5 at once, and again: absent", "2-9:-5", false, false, false, false, TBackupState::Absent,
       2},
      {"-5 after two seconds, the probe answers: absent", "2-9:-5", true, false, false, false,
       TBackupState::Absent, 2},
      {"-5 after two seconds, the probe silent: failed", "", false, true, false, false, {}, 1},
      {"-5 once, then a size: failed", "", false, false, true, false, {}, 2},
      {"silent when asked again: failed", "2-9:-5", false, false, false, true, {}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    phone.SetFault("SizeError", c.sizeFault);
    timing = TLinkTiming();
    if (c.slow29) timing.Slow = {a29};
    if (c.silentFrom29) timing.SilentFrom = a29;
    if (c.noneOnce29) timing.NoneOnce = {a29};
    Start(&timing);
    TSilentAtCheck silencer(timing);

    const TBackupResult r = Run({c.silentAtCheck ? &silencer : nullptr, nullptr});

    int asked = 0;
    for (const auto& call : log.Calls)
      asked += call.Entry == "GetNVMFileSize" && call.Args == std::vector<std::int64_t>{2, 9};
    EXPECT_EQ(asked, c.asked29);
    if (c.state29) {
      ASSERT_FALSE(r.Failure) << r.Failure->Text;
      ASSERT_TRUE(Entry(r, a29));
      EXPECT_EQ(Entry(r, a29)->State, *c.state29);
      EXPECT_EQ(Entry(r, {2, 8})->State, TBackupState::Empty);  // 0, asked again: still 0
      EXPECT_FALSE(Snapshot(Dir()).contains("2-9.bin"));
    } else {
      ASSERT_TRUE(r.Failure);
      EXPECT_EQ(Snapshot(Dir()), before);
    }
    EXPECT_TRUE(Leftovers(Dir()).empty());
    ExpectClosed();
    m.reset();
    log.Clear();
    // The next case starts from the good backup again.
    fs::remove_all(Dir());
    fs::create_directory(Dir());
    for (const auto& [name, bytes] : before) WriteFile(Dir() / name, bytes);
  }
}

TEST_F(Backup, KeepsNoFileThatTheNewManifestDoesNotList) {
  Start(&timing);
  GoodBackup();
  phone.RemoveSection(2, 9);
  const TBackupResult r = Run();
  ASSERT_FALSE(r.Failure) << r.Failure->Text;
  const auto files = Snapshot(Dir());
  EXPECT_FALSE(files.contains("2-9.bin"));
  EXPECT_EQ(files.size(), 3u);  // 2-1, 2-5 and the manifest
}

TEST_F(Backup, ATargetThatHoldsAnythingButABackupOfOursIsRefusedBeforeAnyDeviceCall) {
  if (!LinksPossible(phone.Dir())) GTEST_SKIP() << "this system makes no symbolic links";
  const fs::path outside = phone.Dir() / "precious.txt";
  const struct {
    const char* name;
    std::function<void(const fs::path&)> plant;
    const char* refusal;
  } cases[] = {
      {"a link among the section files",
       [&](const fs::path& dir) {
         fs::remove(dir / "2-1.bin");
         fs::create_symlink(outside, dir / "2-1.bin");
       },
       "holds 2-1.bin, a link"},
      {"a file the backup did not write",
       [](const fs::path& dir) { WriteFile(dir / "notes.txt", std::string("mine")); },
       "holds notes.txt, which the backup did not write"},
      {"a folder inside", [](const fs::path& dir) { fs::create_directory(dir / "2-7.bin"); },
       "holds 2-7.bin, which the backup did not write"},
      {"files but no manifest", [](const fs::path& dir) { fs::remove(dir / "manifest.ini"); },
       "holds files but no manifest.ini of a backup"},
      {"a manifest that is a link",
       [&](const fs::path& dir) {
         fs::rename(dir / "manifest.ini", phone.Dir() / "m.ini");
         fs::create_symlink(phone.Dir() / "m.ini", dir / "manifest.ini");
       },
       "holds files but no manifest.ini of a backup"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(outside, std::string("keep me"));
    Start(&timing);
    GoodBackup();
    c.plant(Dir());
    const auto before = Snapshot(Dir());

    const TBackupResult r = Run();

    ASSERT_TRUE(r.Failure);
    EXPECT_EQ(r.Failure->Kind, TFailureKind::Invalid);
    EXPECT_NE(r.Failure->Text.find(c.refusal), std::string::npos) << r.Failure->Text;
    EXPECT_TRUE(log.Calls.empty());
    EXPECT_EQ(Snapshot(Dir()), before);
    EXPECT_EQ(ReadText(outside), "keep me");
    EXPECT_TRUE(Leftovers(Dir()).empty());
    m.reset();
    fs::remove_all(Dir());
  }
}

TEST_F(Backup, AnEmptyCatalogueIsAFailureThatChangesNothing) {
  Start(&timing);
  const auto before = GoodBackup();
  phone.SetCatalogue({});
  m.reset();
  Start(&timing);
  const TBackupResult r = Run();
  ASSERT_TRUE(r.Failure);
  EXPECT_EQ(r.Failure->Kind, TFailureKind::Invalid);
  EXPECT_NE(r.Failure->Text.find("the catalogue lists no section"), std::string::npos);
  EXPECT_TRUE(log.Calls.empty());
  EXPECT_EQ(Snapshot(Dir()), before);
}

TEST_F(Backup, ASwapCutShortIsFinishedOrUndoneByTheNextRun) {
  Start(&timing);
  const auto good = GoodBackup();
  const fs::path old = phone.Dir() / ".bk.zub-old-abc123";
  const fs::path temp = phone.Dir() / ".bk.zub-tmp-def456";
  // Cut short between the two renames: the old backup aside, none in place, a new one unfinished.
  fs::rename(Dir(), old);
  fs::create_directory(temp);
  WriteFile(temp / "2-1.bin", std::string("half"));
  const TOpenedBackup opened = OpenBackup(Dir());
  ASSERT_TRUE(opened.Backup) << opened.Failure->Text;
  EXPECT_EQ(Snapshot(Dir()), good);
  EXPECT_TRUE(Leftovers(Dir()).empty());

  // Cut short after the new one was in place: the old one beside it is removed.
  fs::create_directory(old);
  WriteFile(old / "manifest.ini", std::string("[Backup]\nTool=zub\n"));
  ASSERT_TRUE(OpenBackup(Dir()).Backup);
  EXPECT_TRUE(Leftovers(Dir()).empty());
  EXPECT_TRUE(log.Calls.empty());
}

TEST_F(Backup, AFolderNamedThroughALinkGetsTheBackupAndTheLinkStays) {
  if (!LinksPossible(phone.Dir())) GTEST_SKIP() << "this system makes no symbolic links";
  Start(&timing);
  fs::create_directory(phone.Dir() / "real");
  fs::create_directory_symlink(phone.Dir() / "real", Dir());
  const TBackupResult r = Run();
  ASSERT_FALSE(r.Failure) << r.Failure->Text;
  EXPECT_TRUE(fs::is_symlink(Dir()));
  EXPECT_TRUE(fs::exists(phone.Dir() / "real" / "manifest.ini"));
  EXPECT_TRUE(Leftovers(phone.Dir() / "real").empty());
}

}  // namespace
}  // namespace zub::test
