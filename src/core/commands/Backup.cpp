#include "commands/Backup.h"

#include <set>
#include <utility>
#include <vector>

#include "base/Convert.h"
#include "base/Sha256.h"
#include "commands/BackupFolder.h"
#include "commands/RunReport.h"
#include "device/GbpApi.h"

namespace zub {
namespace {

constexpr int kAllSections = 256 * 256;

// The catalogue's rows, each section once, as the telephone sees it (the low 8 bits).
std::vector<TSectionAddress> CatalogueSections(const TCoreState& m) {
  std::vector<TSectionAddress> out;
  std::set<TSectionAddress> seen;
  for (int r = 1; r < m.RowCount(); ++r) {
    const TSectionAddress a = m.Sections[static_cast<std::size_t>(r)].Address().OnTelephone();
    if (seen.insert(a).second) out.push_back(a);
  }
  return out;
}

// A section's first size answer, kept to be read and, when it said "none", asked again.
struct TSized {
  TSizeAnswer First;
};

class TBackupRun {
 public:
  TBackupRun(TCoreState& m, const TBackupRequest& request, const TRunControl& control)
      : m_(m), request_(request), control_(control), report_(control) {}

  TBackupResult Run() {
    r_.Dir = BackupFolderPath(request_.Dir);
    try {
      Work();
    } catch (const EFileError& e) {
      Fail({TFailureKind::Files, e.what()});
    }
    return std::move(r_);
  }

 private:
  void Fail(TStepError e) {
    if (!r_.Failure) r_.Failure = std::move(e);
  }

  void Work() {
    const std::vector<TSectionAddress> catalogue = CatalogueSections(m_);
    if (request_.Scope == TBackupScope::Catalogue && catalogue.empty())
      return Fail({TFailureKind::Invalid,
                   "the catalogue lists no section (no [Sections] in the settings file), so "
                   "there is nothing to back up"});
    RecoverBackupFolder(r_.Dir);
    const TTargetCheck target = CheckBackupTarget(r_.Dir);
    if (target.Refusal) return Fail({TFailureKind::Invalid, *target.Refusal});

    TManifest& manifest = r_.Manifest;
    manifest.Tool = request_.Tool;
    manifest.Date = UtcNowIso8601();
    manifest.Cable = m_.NVM->CTEMode() ? "service" : "data";
    manifest.Library = m_.NVM->LibraryFileName();
    manifest.Port = static_cast<int>(m_.NVM->COMPort()) + 1;
    manifest.Scope = request_.Scope == TBackupScope::All ? "all" : "catalogue";

    TSectionLink link(m_, control_.Stop);
    if (!link) return Fail(*link.OpenError());
    std::vector<TSized> sized;
    if (!Size(link, catalogue, sized)) return;
    if (sized.empty())
      return Fail({TFailureKind::Invalid,
                   "the telephone holds no section with data, so there is nothing to back up"});

    TNewBackupFolder folder(r_.Dir);
    if (!Read(link, folder, sized) || !Check(link, sized)) return;
    link.Close();

    if (r_.Unreadable && target.HoldsBackup)
      return Fail({TFailureKind::Refused, std::to_string(r_.Unreadable) +
                                              (r_.Unreadable == 1 ? " section" : " sections") +
                                              " could not be read, so the earlier backup in " +
                                              r_.Dir.string() + " was kept as it was"});
    const std::string text = ManifestText(manifest);
    folder.Add(kManifestName, std::vector<std::uint8_t>(text.begin(), text.end()));
    folder.PutInPlace();
  }

  // The size of every section in scope: the catalogue's, or for All those that hold data or
  // whose size cannot be read.
  bool Size(TSectionLink& link, const std::vector<TSectionAddress>& catalogue,
            std::vector<TSized>& sized) {
    const bool all = request_.Scope == TBackupScope::All;
    const std::size_t count = all ? kAllSections : catalogue.size();
    report_.Phase(TRunPhase::Sizing, count, 0);
    for (std::size_t i = 0; i < count; ++i) {
      const TSectionAddress a = all ? TSectionAddress{static_cast<std::int32_t>(i >> 8),
                                                      static_cast<std::int32_t>(i & 255)}
                                    : catalogue[i];
      TSizeAnswer q = link.QuerySize(a);
      if (Halted(q.Error)) {
        Fail(*q.Error);
        return false;
      }
      report_.Done(0);
      if (all && !q.HasData() && q.State != TSizeState::Failed) continue;
      sized.push_back({std::move(q)});
    }
    return true;
  }

  bool Read(TSectionLink& link, TNewBackupFolder& folder, const std::vector<TSized>& sized) {
    std::uint64_t total = 0;
    for (const auto& s : sized) total += static_cast<std::uint64_t>(s.First.Size);
    report_.Phase(TRunPhase::Reading, sized.size(), total);
    for (const auto& s : sized) {
      TManifestEntry e;
      e.Address = s.First.Address;
      TSectionRead read = link.ReadContent(s.First);
      if (Halted(read.Error)) {
        Fail(*read.Error);
        return false;
      }
      if (read.Error) {
        e.State = TBackupState::Unreadable;
        e.Error = read.Error->Text;
        ++r_.Unreadable;
      } else if (read.Sized.HasData()) {
        e.State = TBackupState::Present;
        e.Size = read.Bytes.size();
        e.Sha256 = Sha256Hex(read.Bytes);
        folder.Add(SectionFileName(e.Address), std::move(read.Bytes));
        ++r_.Present;
        r_.Bytes += e.Size;
      } else if (read.Sized.State == TSizeState::Empty) {
        e.State = TBackupState::Empty;
        ++r_.Empty;
      } else {
        e.State = TBackupState::Absent;
        ++r_.Absent;
      }
      r_.Manifest.Entries.push_back(e);
      report_.Done(static_cast<std::uint64_t>(s.First.Size));
      report_.BackedUp(e);
    }
    return true;
  }

  // The sections that answered -5 or 0, asked again between two probes: recorded as they are
  // only when they answer the same again while the telephone answers.
  bool Check(TSectionLink& link, const std::vector<TSized>& sized) {
    std::vector<const TSized*> doubtful;
    for (const auto& s : sized)
      if (s.First.Code == gbp::kNoSectionAlt || s.First.Code == 0) doubtful.push_back(&s);
    const bool all = request_.Scope == TBackupScope::All;
    if (doubtful.empty() && !all) return true;
    report_.Phase(TRunPhase::Checking, doubtful.size(), 0);
    if (auto e = link.Probe()) return Failed(*e);
    for (const TSized* s : doubtful) {
      const TSizeAnswer again = link.QuerySize(s->First.Address);
      if (Halted(again.Error)) return Failed(*again.Error);
      if (again.Code != s->First.Code)
        return Failed(
            {TFailureKind::Inconsistent, "section " + s->First.Address.Text() + " answered " +
                                             std::to_string(s->First.Code) + " and, asked again, " +
                                             std::to_string(again.Code) +
                                             ": the telephone's answers cannot be trusted"});
      report_.Done(0);
    }
    if (!doubtful.empty())
      if (auto e = link.Probe()) return Failed(*e);
    return true;
  }

  bool Failed(TStepError e) {
    Fail(std::move(e));
    return false;
  }

  TCoreState& m_;
  const TBackupRequest& request_;
  const TRunControl& control_;
  TReporter report_;
  TBackupResult r_;
};

}  // namespace

const char* PhaseName(TRunPhase phase) {
  switch (phase) {
    case TRunPhase::Sizing:
      return "sizing";
    case TRunPhase::Reading:
      return "reading";
    case TRunPhase::Checking:
      return "checking";
    case TRunPhase::Comparing:
      return "comparing";
    case TRunPhase::Writing:
      return "writing";
  }
  return "";
}

TBackupResult RunBackup(TCoreState& m, const TBackupRequest& request, const TRunControl& control) {
  return TBackupRun(m, request, control).Run();
}

}  // namespace zub
