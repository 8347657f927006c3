// A telephone in a temporary folder for tests that run the core against the simulator: the
// folder stands for the executable's. It holds a copy of the simulator built as gbp.dll (and
// cte_gbp.dll when built), gbp-sim.ini with the link, memory and fault settings, the sections
// as phone/S-SS.bin, the settings file zubmanager.INI and the catalogue SECTIONS.INI. The
// folder is removed again when the object goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "app/Manager.h"
#include "device/NVMSection.h"

namespace zub::test {

namespace fs = std::filesystem;

// A profile file as ordered sections of ordered keys, written whole on every change.
class TIniText {
 public:
  void Set(const std::string& section, const std::string& key, const std::string& value) {
    auto& keys = Section(section);
    for (auto& kv : keys)
      if (kv.first == key) {
        kv.second = value;
        return;
      }
    keys.emplace_back(key, value);
  }
  void Remove(const std::string& section, const std::string& key) {
    auto& keys = Section(section);
    std::erase_if(keys, [&](const auto& kv) { return kv.first == key; });
  }
  void ClearSection(const std::string& section) { Section(section).clear(); }
  std::string Text() const {
    std::string out;
    for (const auto& [name, keys] : sections_) {
      out += "[" + name + "]\n";
      for (const auto& [k, v] : keys) out += k + "=" + v + "\n";
    }
    return out;
  }

 private:
  std::vector<std::pair<std::string, std::string>>& Section(const std::string& name) {
    for (auto& s : sections_)
      if (s.first == name) return s.second;
    sections_.emplace_back(name, std::vector<std::pair<std::string, std::string>>{});
    return sections_.back().second;
  }
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections_;
};

// One catalogue entry: the key text as the settings file lists it ("0x0210", "528") and
// its SECTIONS.INI entry (no description: the entry is left out of SECTIONS.INI).
struct TCatalogueEntry {
  std::string Key;
  std::optional<std::string> Description;
  std::optional<int> MaxSize;
};

class SimTelephone {
 public:
  static constexpr const char* kSettingsName = "zubmanager.INI";

  SimTelephone() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const fs::path root = fs::path(ZUB_TEST_TMP);
    dir_ = root / ("phone-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    fs::create_directories(dir_ / "phone");
    const fs::path bin = fs::path(ZUB_BIN_DIR);
    if (!fs::exists(bin / "gbp.dll"))
      throw std::runtime_error("the simulator " + (bin / "gbp.dll").string() +
                               " is not built (target sim_gbp)");
    fs::copy_file(bin / "gbp.dll", dir_ / "gbp.dll");
    if (fs::exists(bin / "cte_gbp.dll")) fs::copy_file(bin / "cte_gbp.dll", dir_ / "cte_gbp.dll");
    // Every port answers unless a test says otherwise: the tool starts on COM2.
    sim_.Set("Link", "Ports", "1,2,3,4");
    sim_.Set("Memory", "Folder", "phone");
    WriteSim();
    WriteSettings();
    WriteCatalogue();
  }
  ~SimTelephone() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  SimTelephone(const SimTelephone&) = delete;
  SimTelephone& operator=(const SimTelephone&) = delete;

  const fs::path& Dir() const { return dir_; }
  fs::path PhoneDir() const { return dir_ / "phone"; }
  fs::path SettingsPath() const { return dir_ / kSettingsName; }

  TManagerOptions Options(INVMObserver* observer = nullptr) const {
    TManagerOptions o;
    o.HomeDir = dir_;
    o.SettingsPath = SettingsPath();
    o.Observer = observer;
    return o;
  }

  // Sections of the telephone.
  static std::string SectionFile(int section, int subSection) {
    return std::to_string(section) + "-" + std::to_string(subSection) + ".bin";
  }
  void PutSection(int section, int subSection, std::span<const std::uint8_t> bytes) {
    std::ofstream out(PhoneDir() / SectionFile(section, subSection),
                      std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write section file");
  }
  void PutSection(int section, int subSection, std::string_view bytes) {
    PutSection(section, subSection,
               std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             bytes.size()));
  }
  std::optional<std::vector<std::uint8_t>> Section(int section, int subSection) const {
    std::ifstream in(PhoneDir() / SectionFile(section, subSection), std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
  void RemoveSection(int section, int subSection) {
    std::error_code ec;
    fs::remove(PhoneDir() / SectionFile(section, subSection), ec);
  }

  // gbp-sim.ini: [Link] Ports, Answer, InitResult, Baud, MaxTransfer; [Memory] Folder,
  // Capacity; [Faults] SizeError, ReadError ("2-5:-10 3-1:-7"), WriteKeep, ClearFails.
  void SetSim(const std::string& section, const std::string& key, const std::string& value) {
    sim_.Set(section, key, value);
    WriteSim();
  }
  void SetFault(const std::string& key, const std::string& value) { SetSim("Faults", key, value); }

  // zubmanager.INI.
  void SetSetting(const std::string& section, const std::string& key, const std::string& value) {
    settings_.Set(section, key, value);
    WriteSettings();
  }
  void SetSign(std::uint32_t first, const std::string& name) {
    char key[16];
    std::snprintf(key, sizeof key, "0x%08X", first);
    SetSetting("Sign", key, name);
  }

  // The [Sections] list of zubmanager.INI and SECTIONS.INI together.
  void SetCatalogue(const std::vector<TCatalogueEntry>& entries) {
    settings_.ClearSection("Sections");
    catalogue_ = TIniText();
    int n = 1;
    for (const auto& e : entries) {
      settings_.Set("Sections", "section" + std::to_string(n++), e.Key);
      if (e.Description) catalogue_.Set(e.Key, "Description", *e.Description);
      if (e.MaxSize) catalogue_.Set(e.Key, "MaxSize", std::to_string(*e.MaxSize));
    }
    WriteSettings();
    WriteCatalogue();
  }
  // Catalogue entries for S-SS addresses, keyed in decimal (S * 256 + SS).
  static TCatalogueEntry Entry(int section, int subSection, std::string description) {
    return {std::to_string(section * 256 + subSection), std::move(description), std::nullopt};
  }

 private:
  void Write(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + file.string());
  }
  void WriteSim() { Write(dir_ / "gbp-sim.ini", sim_.Text()); }
  void WriteSettings() { Write(SettingsPath(), settings_.Text()); }
  void WriteCatalogue() { Write(dir_ / "SECTIONS.INI", catalogue_.Text()); }

  fs::path dir_;
  TIniText sim_;
  TIniText settings_;
  TIniText catalogue_;
};

// Records every device library call that the component makes.
class CallLog : public INVMObserver {
 public:
  struct TCall {
    std::string Entry;
    std::vector<std::int64_t> Args;
    std::int32_t Result = 0;
  };
  std::vector<TCall> Calls;
  std::vector<std::pair<std::string, bool>> Loads;

  void OnLibraryLoad(const std::string& fileName, bool ok) override {
    Loads.emplace_back(fileName, ok);
  }
  void OnLibraryCall(std::string_view entry, const std::vector<std::int64_t>& args, bool,
                     std::int32_t result) override {
    Calls.push_back({std::string(entry), args, result});
  }
  int Count(std::string_view entry) const {
    int n = 0;
    for (const auto& c : Calls) n += c.Entry == entry;
    return n;
  }
  void Clear() {
    Calls.clear();
    Loads.clear();
  }
  // The last call of `entry`, or null.
  const TCall* Last(std::string_view entry) const {
    for (auto it = Calls.rbegin(); it != Calls.rend(); ++it)
      if (it->Entry == entry) return &*it;
    return nullptr;
  }
  // How many reads asked for `length` bytes (65536: a whole buffer, 128: a scan's head).
  int Reads(std::int64_t length) const {
    int n = 0;
    for (const auto& c : Calls) n += c.Entry == "ReadNVMFile" && c.Args.at(2) == length;
    return n;
  }
  // The entries called, in order.
  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (const auto& c : Calls) out.push_back(c.Entry);
    return out;
  }
  // Every call so far in the form of Call() below.
  std::vector<std::string> Seen() const;
};

// "GetNVMFileSize(2,5)": the entry and the numbers handed over. The port of InitGBPMode is
// left out: the tests that compare these are about how many calls go where.
inline std::string Call(const std::string& entry, const std::vector<std::int64_t>& args = {}) {
  std::string s = entry + "(";
  for (std::size_t i = 0; i < args.size(); ++i) s += (i ? "," : "") + std::to_string(args[i]);
  return s + ")";
}

inline std::vector<std::string> CallLog::Seen() const {
  std::vector<std::string> out;
  for (const auto& c : Calls)
    out.push_back(c.Entry == "InitGBPMode" ? Call(c.Entry) : Call(c.Entry, c.Args));
  return out;
}

}  // namespace zub::test
