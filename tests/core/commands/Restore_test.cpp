// Backups read back through the core: a damaged or hostile backup folder is refused before
// any device call (a link where a section file should be, an entry beyond what a section may
// hold, a file of another size, read without ever holding a whole oversized file), and a
// restore stopped half-way touches nothing after the stop.
#include "commands/Restore.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/CommandFixture.h"

namespace zub::test {
namespace {

namespace fs = std::filesystem;

class Restore : public CommandFixture<> {
 public:  // the cases' damage reaches them
  Restore() {
    phone.SetCatalogue({SimTelephone::Entry(2, 1, "A"), SimTelephone::Entry(2, 5, "B"),
                        SimTelephone::Entry(2, 9, "C")});
    phone.PutSection(2, 1, Pattern(100, 1));
    phone.PutSection(2, 5, Pattern(3000, 2));
    phone.PutSection(2, 9, Pattern(500, 3));
    Start();
    const TBackupResult r = RunBackup(*m, {Dir(), TBackupScope::Catalogue, "zub test"});
    EXPECT_FALSE(r.Failure) << r.Failure->Text;
    log.Clear();
  }
  fs::path Dir() const { return phone.Dir() / "bk"; }
  // The manifest with one line replaced.
  void EditManifest(const std::string& from, const std::string& to) {
    std::string text = ReadText(Dir() / "manifest.ini");
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    WriteFile(Dir() / "manifest.ini", text);
  }
};

TEST_F(Restore, ADamagedOrHostileBackupIsRefusedBeforeAnyDeviceCall) {
  if (!LinksPossible(phone.Dir())) GTEST_SKIP() << "this system makes no symbolic links";
  const struct {
    const char* name;
    std::function<void(Restore&)> damage;
    const char* refusal;
  } cases[] = {
      {"a section file that is a link to a file of the same bytes",
       [](Restore& t) {
         WriteFile(t.phone.Dir() / "same.bin", Pattern(100, 1));
         fs::remove(t.Dir() / "2-1.bin");
         fs::create_symlink(t.phone.Dir() / "same.bin", t.Dir() / "2-1.bin");
       },
       "2-1.bin cannot be read (Cannot open file"},
      {"a section file that is a folder",
       [](Restore& t) {
         fs::remove(t.Dir() / "2-1.bin");
         fs::create_directory(t.Dir() / "2-1.bin");
       },
       "2-1.bin cannot be read"},
      {"an entry of 1 GiB", [](Restore& t) { t.EditManifest("Size=100\n", "Size=1073741824\n"); },
       "2-1 has the size 1073741824, more than the 16 MiB a section may hold"},
      {"a file of 1 GiB behind an entry of 100 bytes",
       [](Restore& t) { fs::resize_file(t.Dir() / "2-1.bin", std::uintmax_t{1} << 30); },
       "2-1.bin does not hold the 100 bytes of its manifest"},
      {"a gap in the numbering", [](Restore& t) { t.EditManifest("section2=2-5\n", ""); },
       "section2 is missing, but section3 follows"},
      {"other bytes than the SHA-256 says",
       [](Restore& t) { WriteFile(t.Dir() / "2-5.bin", Pattern(3000, 7)); },
       "2-5.bin does not match its SHA-256"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.damage(*this);

    const TOpenedBackup opened = OpenBackup(Dir());

    ASSERT_TRUE(opened.Failure);
    EXPECT_EQ(opened.Failure->Kind, TFailureKind::Invalid);
    EXPECT_NE(opened.Failure->Text.find("is damaged: "), std::string::npos);
    EXPECT_NE(opened.Failure->Text.find(c.refusal), std::string::npos) << opened.Failure->Text;
    EXPECT_TRUE(log.Calls.empty());
    // A fresh backup for the next case.
    fs::remove_all(Dir());
    ASSERT_FALSE(RunBackup(*m, {Dir(), TBackupScope::Catalogue, "zub test"}).Failure);
    log.Clear();
  }
}

TEST_F(Restore, AStoppedRestoreWritesNothingAfterTheStop) {
  phone.PutSection(2, 1, Pattern(100, 8));
  phone.PutSection(2, 9, Pattern(500, 8));
  const TOpenedBackup opened = OpenBackup(Dir());
  ASSERT_TRUE(opened.Backup);
  const TCompareResult plan = CompareWithBackup(*m, *opened.Backup);
  ASSERT_FALSE(plan.Failure);
  EXPECT_EQ(plan.Differ, 2u);
  EXPECT_EQ(plan.Same, 1u);

  std::atomic<bool> stop{false};
  class TStopAfterFirst : public IRunObserver {
   public:
    explicit TStopAfterFirst(std::atomic<bool>& stop) : stop_(stop) {}
    void OnRestored(const TRestoreOutcome&, const TRunProgress&) override { stop_ = true; }

   private:
    std::atomic<bool>& stop_;
  } stopper(stop);
  const TRestoreResult done = RunRestore(*m, *opened.Backup, plan, {&stopper, &stop});

  ASSERT_TRUE(done.Failure);
  EXPECT_EQ(done.Failure->Kind, TFailureKind::Stopped);
  EXPECT_EQ(done.Written, 1u);
  EXPECT_EQ(phone.Section(2, 1), Pattern(100, 1));  // restored before the stop
  EXPECT_EQ(phone.Section(2, 9), Pattern(500, 8));  // never touched
  EXPECT_EQ(log.Count("WriteNVMFile"), 1);
  ExpectClosed();
}

}  // namespace
}  // namespace zub::test
