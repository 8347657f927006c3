#include "base/HistoryStore.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <signal.h>
#include <unistd.h>
#endif

#include "base/Convert.h"
#include "base/FileIO.h"
#include "base/Sha256.h"

namespace zub {
namespace {

namespace fs = std::filesystem;

constexpr const char* kIndexSuffix = ".index";
// An index longer than this is not one of ours.
constexpr std::size_t kMaxIndexBytes = std::size_t{4} << 20;
// The largest content kept: the largest section the tool reads whole (16 MiB) and more.
constexpr std::size_t kMaxContentBytes = std::size_t{32} << 20;

// Tabs and line ends would split the line.
std::string Field(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> out;
  std::size_t from = 0;
  for (;;) {
    const auto tab = line.find('\t', from);
    out.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
    if (tab == std::string::npos) return out;
    from = tab + 1;
  }
}

// "2026-12-09T04:37:00.123Z": digits where digits belong.
bool IsIndexTime(const std::string& t) {
  static const std::string shape = "dddd-dd-ddTdd:dd:dd.dddZ";
  if (t.size() != shape.size()) return false;
  for (std::size_t i = 0; i < t.size(); ++i)
    if (shape[i] == 'd' ? (t[i] < '0' || t[i] > '9') : t[i] != shape[i]) return false;
  return true;
}

bool IsLowerHash(const std::string& h) {
  return IsSha256Hex(h) &&
         std::none_of(h.begin(), h.end(), [](char c) { return c >= 'A' && c <= 'F'; });
}

// Replaces the file whole through a new file beside it and a rename, without waiting for the
// disk: a version lost to a power cut costs less than a wait in every command, and a content
// file cut short no longer hashes to its name, so it is found out when it is read.
void Replace(const fs::path& path, Bytes data) {
  static std::atomic<unsigned> serial{0};
  const fs::path temp = path.string() + ".new-" + std::to_string(static_cast<long>(::getpid())) +
                        "-" + std::to_string(serial++);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    if (!out.flush()) {
      std::error_code ignored;
      fs::remove(temp, ignored);
      throw EFileError("Cannot write file \"" + path.string() + "\"");
    }
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    throw EFileError("Cannot write file \"" + path.string() + "\"");
  }
}

// A new file of Replace's whose writer is gone (a program killed between the write and the
// rename): "NAME.new-PID-N" of a process that no longer runs, or an hour old where the
// system cannot tell.
bool Abandoned(const fs::directory_entry& e) {
  const std::string name = e.path().filename().string();
  const auto at = name.find(".new-");
  if (at == std::string::npos) return false;
#ifndef _WIN32
  long pid = 0;
  const char* first = name.data() + at + 5;
  const auto [end, error] = std::from_chars(first, name.data() + name.size(), pid);
  if (error == std::errc() && end != first && pid > 0)
    return pid != static_cast<long>(::getpid()) && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
           errno == ESRCH;
#endif
  std::error_code ec;
  const auto written = fs::last_write_time(e.path(), ec);
  return !ec && fs::file_time_type::clock::now() - written > std::chrono::hours(1);
}

void RemoveAbandoned(const fs::path& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ignored;
    if (Abandoned(*it)) fs::remove(it->path(), ignored);
  }
}

void Note(std::vector<std::string>& problems, const std::string& sentence) {
  problems.push_back(sentence);
}

}  // namespace

std::string HistoryIndexLine(const THistoryEntry& e) {
  return e.Time + "\t" + Field(e.Command) + "\t" +
         (e.Direction == THistoryDirection::Read ? "read" : "written") + "\t" +
         std::to_string(e.Size) + "\t" + e.Hash + "\t" + Field(e.Cable) + "\t" + Field(e.Port);
}

std::optional<THistoryEntry> ParseHistoryIndexLine(const std::string& line) {
  const auto f = SplitTabs(line);
  if (f.size() != 7 || !IsIndexTime(f[0]) || !IsLowerHash(f[4])) return std::nullopt;
  THistoryEntry e;
  e.Time = f[0];
  e.Command = f[1];
  if (f[2] == "read")
    e.Direction = THistoryDirection::Read;
  else if (f[2] == "written")
    e.Direction = THistoryDirection::Written;
  else
    return std::nullopt;
  const char* end = f[3].data() + f[3].size();
  const auto [p, ec] = std::from_chars(f[3].data(), end, e.Size);
  if (f[3].empty() || ec != std::errc() || p != end) return std::nullopt;
  e.Hash = f[4];
  e.Cable = f[5];
  e.Port = f[6];
  return e;
}

std::string HistoryTimeNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
  return buf;
}

fs::path THistoryStore::IndexPath(TSectionAddress a) const {
  return folder_ / (a.Text() + kIndexSuffix);
}

fs::path THistoryStore::ObjectPath(const std::string& hash) const {
  return folder_ / "objects" / hash;
}

THistoryStore::TIndex THistoryStore::Load(TSectionAddress a,
                                          std::vector<std::string>& problems) const {
  TIndex index;
  index.Address = a;
  const fs::path path = IndexPath(a);
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) return index;
  std::string text;
  try {
    text = ReadTextFile(path.string(), kMaxIndexBytes);
  } catch (const std::exception& e) {
    Note(problems, "The history index " + path.string() + " cannot be read: " + e.what());
    return index;
  }
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    TLine l{ParseHistoryIndexLine(line), line};
    if (!l.Entry)
      Note(problems, "Line " + std::to_string(number) + " of the history index " + path.string() +
                         " is damaged and was skipped");
    index.Lines.push_back(std::move(l));
  }
  return index;
}

void THistoryStore::Save(const TIndex& index, std::vector<std::string>& problems) const {
  std::string text;
  for (const TLine& l : index.Lines) text += (l.Entry ? HistoryIndexLine(*l.Entry) : l.Raw) + "\n";
  try {
    Replace(IndexPath(index.Address),
            Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  } catch (const std::exception& e) {
    Note(problems, std::string("The history index cannot be written: ") + e.what());
  }
}

void THistoryStore::KeepNewest(TIndex& index, std::size_t versions) {
  versions = std::max<std::size_t>(versions, 1);
  std::size_t count = 0;
  for (const TLine& l : index.Lines) count += l.Entry ? 1 : 0;
  for (auto it = index.Lines.begin(); count > versions && it != index.Lines.end();) {
    if (!it->Entry) {
      ++it;
      continue;
    }
    it = index.Lines.erase(it);
    --count;
    index.Changed = true;
  }
}

std::vector<TSectionAddress> THistoryStore::Sections() const {
  std::vector<TSectionAddress> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.ends_with(kIndexSuffix)) continue;
    if (auto a =
            ParseSectionAddress(name.substr(0, name.size() - std::string(kIndexSuffix).size())))
      out.push_back(*a);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<THistoryStore::TIndex> THistoryStore::LoadAll(
    std::vector<std::string>& problems) const {
  std::vector<TIndex> all;
  for (TSectionAddress a : Sections()) all.push_back(Load(a, problems));
  return all;
}

void THistoryStore::Enforce(std::vector<TIndex>& all, const THistoryLimits& limits,
                            std::vector<std::string>& problems) {
  for (TIndex& index : all) KeepNewest(index, limits.Versions);
  RemoveAbandoned(folder_);
  RemoveAbandoned(folder_ / "objects");

  // What every content file weighs, and how many versions name it.
  std::map<std::string, std::uint64_t> sizes;
  std::map<std::string, int> named;
  std::error_code ec;
  for (fs::directory_iterator it(folder_ / "objects", ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!IsLowerHash(name)) continue;
    std::error_code sizeError;
    const auto size = fs::file_size(it->path(), sizeError);
    sizes[name] = sizeError ? 0 : size;
  }
  for (const TIndex& index : all)
    for (const TLine& l : index.Lines)
      if (l.Entry) ++named[l.Entry->Hash];
  std::uint64_t total = 0;
  for (const auto& [hash, size] : sizes)
    if (named.count(hash)) total += size;

  // The oldest version first, whichever section it belongs to; never a section's last.
  while (total > limits.MaxBytes) {
    TIndex* from = nullptr;
    std::size_t at = 0;
    for (TIndex& index : all) {
      std::size_t last = index.Lines.size();
      for (std::size_t i = 0; i < index.Lines.size(); ++i)
        if (index.Lines[i].Entry) last = i;
      for (std::size_t i = 0; i < last; ++i) {
        if (!index.Lines[i].Entry) continue;
        if (!from || index.Lines[i].Entry->Time < from->Lines[at].Entry->Time) {
          from = &index;
          at = i;
        }
        break;  // a section's first version is its oldest
      }
    }
    if (!from) break;
    const std::string hash = from->Lines[at].Entry->Hash;
    from->Lines.erase(from->Lines.begin() + static_cast<std::ptrdiff_t>(at));
    from->Changed = true;
    if (--named[hash] == 0 && sizes.count(hash)) total -= sizes[hash];
  }

  for (TIndex& index : all)
    if (index.Changed) {
      Save(index, problems);
      index.Changed = false;
    }
  for (const auto& [hash, size] : sizes) {
    if (named[hash] > 0) continue;
    std::error_code removeError;
    fs::remove(ObjectPath(hash), removeError);
    if (removeError)
      Note(problems, "The history file " + ObjectPath(hash).string() +
                         " cannot be removed: " + removeError.message());
  }
  total_ = total;
}

std::string THistoryStore::Add(TSectionAddress a, THistoryEntry e, Bytes data,
                               const THistoryLimits& limits, std::vector<std::string>& problems) {
  e.Hash = Sha256Hex(data);
  if (data.size() > kMaxContentBytes) return e.Hash;
  e.Size = data.size();
  TIndex index = Load(a, problems);
  for (auto it = index.Lines.rbegin(); it != index.Lines.rend(); ++it)
    if (it->Entry) {
      if (it->Entry->Hash == e.Hash) return e.Hash;  // the section's last version already
      break;
    }

  std::error_code ec;
  fs::create_directories(folder_ / "objects", ec);
  if (ec) {
    Note(problems, "The history folder " + folder_.string() + " cannot be made: " + ec.message());
    return e.Hash;
  }
  const fs::path object = ObjectPath(e.Hash);
  const bool added = !fs::exists(object, ec);
  if (added) {
    try {
      Replace(object, data);
    } catch (const std::exception& x) {
      Note(problems, std::string("A version cannot be kept in the history: ") + x.what());
      return e.Hash;
    }
  }
  index.Lines.push_back({e, HistoryIndexLine(e)});
  // The first version of a run counts what the folder holds; later ones only add to it. A
  // section past its own limit drops its oldest versions here; their content files, which
  // another section may share, go at the next full pass (the size limit, a prune, the first
  // version of the next run), which reads every index.
  if (total_ && added) *total_ += data.size();
  if (total_ && *total_ <= limits.MaxBytes) {
    KeepNewest(index, limits.Versions);
    Save(index, problems);
    return e.Hash;
  }
  std::vector<TIndex> all = LoadAll(problems);
  std::erase_if(all, [&](const TIndex& i) { return i.Address == a; });
  all.push_back(std::move(index));
  all.back().Changed = true;
  Enforce(all, limits, problems);
  return e.Hash;
}

std::vector<THistoryEntry> THistoryStore::List(TSectionAddress a,
                                               std::vector<std::string>& problems) const {
  std::vector<THistoryEntry> out;
  for (const TLine& l : Load(a, problems).Lines)
    if (l.Entry) out.push_back(*l.Entry);
  return out;
}

std::optional<std::vector<std::uint8_t>> THistoryStore::Content(
    const std::string& hash, std::vector<std::string>& problems) const {
  const fs::path path = ObjectPath(hash);
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) {
    Note(problems, "The history file " + path.string() + " is missing");
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  try {
    bytes = ReadFileHead(path.string(), kMaxContentBytes + 1);
  } catch (const std::exception& e) {
    Note(problems, "The history file " + path.string() + " cannot be read: " + e.what());
    return std::nullopt;
  }
  if (Sha256Hex(bytes) != hash) {
    Note(problems, "The history file " + path.string() + " is damaged (its SHA-256 differs)");
    return std::nullopt;
  }
  return bytes;
}

std::optional<std::vector<std::uint8_t>> THistoryStore::ContentHead(
    const THistoryEntry& e, std::size_t n, std::vector<std::string>& problems) const {
  const fs::path path = ObjectPath(e.Hash);
  std::error_code ec;
  const bool regular = fs::is_regular_file(fs::symlink_status(path, ec));
  const auto size = regular ? fs::file_size(path, ec) : 0;
  if (!regular || ec || size != e.Size) {
    Note(problems, "The history file " + path.string() +
                       (regular ? " is damaged (its size differs)" : " is missing"));
    return std::nullopt;
  }
  try {
    return ReadFileHead(path.string(), n);
  } catch (const std::exception& x) {
    Note(problems, "The history file " + path.string() + " cannot be read: " + x.what());
    return std::nullopt;
  }
}

void THistoryStore::Prune(const THistoryLimits& limits, std::vector<std::string>& problems) {
  std::vector<TIndex> all = LoadAll(problems);
  Enforce(all, limits, problems);
}

}  // namespace zub
