// zub backup, verify and restore: the whole telephone (or the catalogue's part of it) against
// a backup folder of S-SS.bin files and their manifest.
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include "Commands.h"
#include "Manifest.h"
#include "Progress.h"
#include "SectionIO.h"
#include "base/Convert.h"
#include "base/FileIO.h"

#ifndef ZUB_VERSION
#define ZUB_VERSION "3"
#endif

namespace zub::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kAllSections = 256 * 256;

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The sections a catalogue backup covers: the catalogue's rows, each once, in order.
std::vector<TSectionAddress> CatalogueSections(TManager& m) {
  std::vector<TSectionAddress> out;
  std::set<std::pair<int, int>> seen;
  for (int r = 1; r < m.RowCount(); ++r) {
    const auto& row = m.Sections[static_cast<std::size_t>(r)];
    // Only the low 8 bits reach the telephone: that is the section the row stands for.
    const TSectionAddress a{row.Section & 255, row.SubSection & 255};
    if (seen.insert({a.Section, a.SubSection}).second) out.push_back(a);
  }
  return out;
}

// The manifest and the bytes of every section that held data, checked against the recorded
// size and SHA-256 before the telephone is touched.
struct TBackup {
  TManifest Manifest;
  std::map<std::size_t, std::vector<std::uint8_t>> Files;  // by entry index
  std::uint64_t Bytes = 0;
};

TBackup LoadBackup(const fs::path& dir) {
  TBackup b;
  std::string error;
  auto manifest = LoadManifest(dir, error);
  if (!manifest) throw ECommandFailed(kExitFailed, error);
  b.Manifest = std::move(*manifest);
  for (std::size_t i = 0; i < b.Manifest.Entries.size(); ++i) {
    const auto& e = b.Manifest.Entries[i];
    if (e.State != TSectionState::Present) continue;
    const fs::path file = dir / SectionFileName(e.Address);
    const auto damaged = [&](const std::string& why) {
      return ECommandFailed(kExitFailed, "the backup in " + dir.string() +
                                             " is damaged: " + file.filename().string() + " " +
                                             why + "; nothing was written to the telephone");
    };
    std::vector<std::uint8_t> bytes;
    try {
      bytes = ReadFileHead(file.string(), static_cast<std::size_t>(e.Size) + 1);
    } catch (const EFileError& ex) {
      throw damaged(std::string("cannot be read (") + ex.what() + ")");
    }
    if (bytes.size() != e.Size)
      throw damaged("does not hold the " + std::to_string(e.Size) + " bytes of its manifest");
    if (Sha256Hex(bytes) != e.Sha256) throw damaged("does not match its SHA-256");
    b.Bytes += bytes.size();
    b.Files[i] = std::move(bytes);
  }
  return b;
}

std::string Summary(const char* verb, std::size_t total,
                    const std::vector<std::pair<std::size_t, std::string>>& counts) {
  std::string out = std::string(verb) + ": " + Plural(total, "section", "sections");
  bool first = true;
  for (const auto& [n, word] : counts) {
    if (n == 0 && !first) continue;
    out += (first ? ": " : ", ") + std::to_string(n) + " " + word;
    first = false;
  }
  return out;
}

}  // namespace

int RunBackup(const TCliArgs& args, TCliSession& session) {
  const fs::path dir = args.Dir;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir, ec))
    throw ECommandFailed(kExitFailed, "cannot create the folder " + dir.string());
  // An earlier manifest would vouch for files about to be replaced: it goes first, and the new
  // one comes last.
  fs::remove(dir / kManifestName, ec);
  if (ec) throw ECommandFailed(kExitFailed, "cannot replace " + (dir / kManifestName).string());

  TManifest manifest;
  manifest.Tool = std::string("zub ") + ZUB_VERSION;
  manifest.Date = UtcNowIso8601();
  manifest.Cable = session.ServiceCable() ? "service" : "data";
  manifest.Library = session.NVM().LibraryFileName();
  manifest.Port = session.Port();
  manifest.Scope = args.All ? "all" : "catalogue";

  TProgress progress(std::cerr, "backup", !args.Quiet, StderrIsTerminal());
  TNVMSection& nvm = session.NVM();
  std::size_t present = 0, empty = 0, absent = 0, unreadable = 0;
  std::uint64_t bytes = 0;
  {
    TConnection connection(session);
    std::vector<std::pair<TSectionAddress, TSectionRead>> sized;
    if (args.All) {
      for (int key = 0; key < kAllSections; ++key) {
        progress.Step("probing", static_cast<std::size_t>(key), kAllSections);
        const TSectionAddress a{key >> 8, key & 255};
        TSectionRead q = QuerySize(nvm, a);
        if (q.State == TReadState::Present || q.State == TReadState::Failed)
          sized.emplace_back(a, std::move(q));
      }
    } else {
      for (const auto& a : CatalogueSections(session.Core()))
        sized.emplace_back(a, QuerySize(nvm, a));
    }
    std::uint64_t total = 0;
    for (const auto& [a, q] : sized) total += static_cast<std::uint64_t>(q.Size);
    progress.Begin(sized.size(), total);

    for (auto& [a, q] : sized) {
      TManifestEntry e;
      e.Address = a;
      const TSectionRead r = ReadContent(nvm, a, std::move(q));
      std::string what;
      switch (r.State) {
        case TReadState::Present: {
          const fs::path file = dir / SectionFileName(a);
          try {
            WriteFileAtomic(file.string(), r.Bytes);
          } catch (const EFileError& ex) {
            throw ECommandFailed(kExitFailed, ex.what());
          }
          e.State = TSectionState::Present;
          e.Size = r.Bytes.size();
          e.Sha256 = Sha256Hex(r.Bytes);
          ++present;
          bytes += e.Size;
          what = std::to_string(e.Size) + " bytes";
          break;
        }
        case TReadState::Empty:
          e.State = TSectionState::Empty;
          ++empty;
          what = "empty";
          break;
        case TReadState::Absent:
          e.State = TSectionState::Absent;
          ++absent;
          what = "absent";
          break;
        case TReadState::Failed:
          e.State = TSectionState::Unreadable;
          e.Error = r.Error;
          ++unreadable;
          what = "unreadable";
          progress.Note("zub: cannot read section " + AddressText(a) + ": " + r.Error);
          break;
      }
      progress.Done(AddressText(a), r.Bytes.size(), what);
      manifest.Entries.push_back(std::move(e));
    }
  }
  try {
    const std::string text = ManifestText(manifest);
    WriteFileAtomic((dir / kManifestName).string(),
                    Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  } catch (const EFileError& ex) {
    throw ECommandFailed(kExitFailed, ex.what());
  }
  progress.Finish();
  std::cout << Summary("backup", manifest.Entries.size(),
                       {{present, "with data (" + std::to_string(bytes) + " bytes)"},
                        {empty, "empty"},
                        {absent, "absent"},
                        {unreadable, "unreadable"}})
            << " -> " << dir.string() << "\n";
  return unreadable ? kExitFailed : kExitOk;
}

int RunVerify(const TCliArgs& args, TCliSession& session) {
  const TBackup backup = LoadBackup(args.Dir);
  const auto& entries = backup.Manifest.Entries;
  TProgress progress(std::cerr, "verify", !args.Quiet, StderrIsTerminal());
  TNVMSection& nvm = session.NVM();
  std::size_t same = 0, differ = 0, nowEmpty = 0, unreadable = 0, notBackedUp = 0;
  {
    TConnection connection(session);
    progress.Begin(entries.size(), backup.Bytes);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const auto& e = entries[i];
      std::string outcome;
      std::size_t moved = 0;
      if (e.State == TSectionState::Unreadable) {
        outcome = "not in the backup (it could not be read then)";
        ++notBackedUp;
      } else {
        const TSectionRead q = QuerySize(nvm, e.Address);
        const bool backupHasData = e.State == TSectionState::Present;
        if (q.State == TReadState::Failed) {
          outcome = "unreadable: " + q.Error;
          ++unreadable;
        } else if (!backupHasData) {
          if (q.HasData()) {
            outcome = "differs: the telephone holds " + std::to_string(q.Size) +
                      " bytes, the backup none";
            ++differ;
          } else {
            outcome = "same";
            ++same;
          }
        } else if (!q.HasData()) {
          outcome = "now empty";
          ++nowEmpty;
        } else if (static_cast<std::uint64_t>(q.Size) != e.Size) {
          outcome = "differs: the telephone holds " + std::to_string(q.Size) +
                    " bytes, the backup " + std::to_string(e.Size);
          ++differ;
        } else {
          const TSectionRead r = ReadContent(nvm, e.Address, q);
          moved = r.Bytes.size();
          if (r.State == TReadState::Failed) {
            outcome = "unreadable: " + r.Error;
            ++unreadable;
          } else if (const auto at = FirstDifference(backup.Files.at(i), r.Bytes)) {
            outcome = "differs at offset " + std::to_string(*at);
            ++differ;
          } else {
            outcome = "same";
            ++same;
          }
        }
      }
      std::cout << AddressText(e.Address) << " " << outcome << "\n";
      progress.Done(AddressText(e.Address), moved, outcome);
    }
  }
  progress.Finish();
  std::cout << Summary("verify", entries.size(),
                       {{same, "same"},
                        {differ, "differ"},
                        {nowEmpty, "now empty"},
                        {unreadable, "unreadable"},
                        {notBackedUp, "not in the backup"}})
            << "\n";
  return same == entries.size() ? kExitOk : kExitFailed;
}

int RunRestore(const TCliArgs& args, TCliSession& session) {
  const TBackup backup = LoadBackup(args.Dir);
  const auto& entries = backup.Manifest.Entries;
  std::vector<std::size_t> chosen;
  if (args.Only.empty()) {
    for (std::size_t i = 0; i < entries.size(); ++i) chosen.push_back(i);
  } else {
    for (const auto& a : args.Only) {
      std::size_t i = 0;
      while (i < entries.size() && !(entries[i].Address == a)) ++i;
      if (i == entries.size())
        throw ECommandFailed(kExitUsage, "section " + AddressText(a) +
                                             " is not in the backup's manifest; restore touches "
                                             "only the sections it lists");
      if (std::find(chosen.begin(), chosen.end(), i) == chosen.end()) chosen.push_back(i);
    }
  }

  TProgress progress(std::cerr, args.DryRun ? "restore (dry run)" : "restore", !args.Quiet,
                     StderrIsTerminal());
  TNVMSection& nvm = session.NVM();
  std::size_t same = 0, written = 0, erased = 0, failed = 0, skipped = 0;
  std::uint64_t compareBytes = 0;
  for (const std::size_t i : chosen)
    if (backup.Files.contains(i)) compareBytes += backup.Files.at(i).size();
  {
    TConnection connection(session);
    progress.Begin(chosen.size(), compareBytes);
    for (const std::size_t i : chosen) {
      const auto& e = entries[i];
      const std::string address = AddressText(e.Address);
      std::size_t moved = 0;
      std::string outcome;
      if (e.State == TSectionState::Unreadable) {
        outcome = "skipped: not in the backup (it could not be read then)";
        ++skipped;
        std::cout << address << " " << outcome << "\n";
        progress.Done(address, 0, outcome);
        continue;
      }
      // What the telephone holds now decides: the same content needs nothing.
      const bool wantData = e.State == TSectionState::Present;
      const TSectionRead q = QuerySize(nvm, e.Address);
      std::string reason;
      if (q.State == TReadState::Failed) {
        reason = "unreadable: " + q.Error;
      } else if (!wantData) {
        if (q.HasData()) reason = "the telephone holds " + std::to_string(q.Size) + " bytes";
      } else if (!q.HasData()) {
        reason = "the telephone's section is empty";
      } else if (static_cast<std::uint64_t>(q.Size) != e.Size) {
        reason = "the telephone holds " + std::to_string(q.Size) + " bytes";
      } else {
        const TSectionRead r = ReadContent(nvm, e.Address, q);
        moved += r.Bytes.size();
        if (r.State == TReadState::Failed)
          reason = "unreadable: " + r.Error;
        else if (const auto at = FirstDifference(backup.Files.at(i), r.Bytes))
          reason = "differs at offset " + std::to_string(*at);
      }

      if (reason.empty()) {
        outcome = "same";
        ++same;
      } else if (args.DryRun) {
        outcome = (wantData ? "would write " + std::to_string(e.Size) + " bytes ("
                            : std::string("would erase (")) +
                  reason + ")";
        ++(wantData ? written : erased);
      } else if (wantData) {
        const auto& bytes = backup.Files.at(i);
        std::optional<std::string> error = WriteSection(nvm, e.Address, bytes);
        moved += bytes.size();
        if (!error) {
          const TSectionRead back = ReadWholeSection(nvm, e.Address);
          moved += back.Bytes.size();
          if (back.State == TReadState::Failed)
            error = "it cannot be read back: " + back.Error;
          else if (const auto at = FirstDifference(bytes, back.Bytes))
            error = "the read-back differs at offset " + std::to_string(*at) + " (wrote " +
                    std::to_string(bytes.size()) + " bytes, the telephone holds " +
                    std::to_string(back.Bytes.size()) + ")";
        }
        if (error) {
          outcome = "failed";
          ++failed;
          progress.Note("zub: section " + address + " was not restored: " + *error);
        } else {
          outcome = "written " + std::to_string(bytes.size()) + " bytes, verified (" + reason + ")";
          ++written;
        }
      } else {
        if (const auto error = EraseSection(nvm, e.Address)) {
          outcome = "failed";
          ++failed;
          progress.Note("zub: section " + address + " was not erased: " + *error);
        } else {
          outcome = "erased, reads as empty (" + reason + ")";
          ++erased;
        }
      }
      std::cout << address << " " << outcome << "\n";
      progress.Done(address, moved, outcome);
    }
  }
  progress.Finish();
  if (args.DryRun) {
    std::cout << Summary("restore --dry-run", chosen.size(),
                         {{same, "same"},
                          {written, "to write"},
                          {erased, "to erase"},
                          {skipped, "not in the backup"}})
              << "\n";
    return skipped ? kExitFailed : kExitOk;
  }
  std::cout << Summary("restore", chosen.size(),
                       {{same, "same"},
                        {written, "written"},
                        {erased, "erased"},
                        {failed, "failed"},
                        {skipped, "not in the backup"}})
            << "\n";
  return failed || skipped ? kExitFailed : kExitOk;
}

}  // namespace zub::cli
