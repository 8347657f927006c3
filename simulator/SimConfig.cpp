#include "SimConfig.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

namespace zub::sim {

namespace {

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// "section/key" (both lower case) -> value with any inline "; comment" removed. A key that
// appears twice keeps its last value.
using TIniValues = std::map<std::string, std::string>;

TIniValues ParseIni(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  TIniValues values;
  std::string section;
  while (!text.empty()) {
    const auto eol = text.find('\n');
    std::string_view line = Trim(text.substr(0, eol));
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const auto close = line.find(']');
      section =
          close == std::string_view::npos ? std::string() : Lower(Trim(line.substr(1, close - 1)));
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view value = line.substr(eq + 1);
    value = Trim(value.substr(0, value.find(';')));
    values[section + "/" + Lower(Trim(line.substr(0, eq)))] = std::string(value);
  }
  return values;
}

// The whole text must be the number.
template <typename T>
std::optional<T> ParseNumber(std::string_view text) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

// Items separated by commas and/or blanks.
std::vector<std::string_view> SplitList(std::string_view text) {
  std::vector<std::string_view> items;
  const auto separator = [](char c) { return c == ',' || c == ' ' || c == '\t'; };
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && separator(text[i])) ++i;
    std::size_t j = i;
    while (j < text.size() && !separator(text[j])) ++j;
    if (j > i) items.push_back(text.substr(i, j - i));
    i = j;
  }
  return items;
}

// A list whose every item parses; one bad item makes the whole list malformed, so a typo
// never switches on half of the faults meant.
template <typename T, typename Parse>
std::optional<std::vector<T>> ParseList(std::string_view text, Parse parse) {
  std::vector<T> out;
  for (const auto item : SplitList(text)) {
    auto v = parse(item);
    if (!v) return std::nullopt;
    out.push_back(*v);
  }
  return out;
}

// "S-SS:number".
template <typename T>
std::optional<std::pair<TSectionKey, T>> ParseKeyed(std::string_view item) {
  const auto colon = item.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto key = ParseSectionKey(item.substr(0, colon));
  const auto value = ParseNumber<T>(item.substr(colon + 1));
  if (!key || !value) return std::nullopt;
  return std::pair{*key, *value};
}

template <typename T>
std::map<TSectionKey, T> ParseKeyedMap(const std::string& text) {
  const auto list = ParseList<std::pair<TSectionKey, T>>(text, ParseKeyed<T>);
  if (!list) return {};
  return std::map<TSectionKey, T>(list->begin(), list->end());
}

// "K:CODE" with a negative CODE, "K:die", "K:hang" or "K:kill-tool"; K from 1.
std::optional<std::pair<std::uint64_t, TCallFault>> ParseCallFault(std::string_view item) {
  const auto colon = item.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const auto call = ParseNumber<std::uint64_t>(item.substr(0, colon));
  if (!call || *call == 0) return std::nullopt;
  const std::string_view what = item.substr(colon + 1);
  TCallFault fault;
  if (what == "die") {
    fault.kind = TCallFault::TKind::Die;
  } else if (what == "hang") {
    fault.kind = TCallFault::TKind::Hang;
  } else if (what == "kill-tool") {
    fault.kind = TCallFault::TKind::KillTool;
  } else if (const auto code = ParseNumber<std::int32_t>(what); code && *code < 0) {
    fault.code = *code;
  } else {
    return std::nullopt;
  }
  return std::pair{*call, fault};
}

}  // namespace

std::optional<TSectionKey> ParseSectionKey(std::string_view text) {
  const auto dash = text.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const auto s = ParseNumber<unsigned>(text.substr(0, dash));
  const auto ss = ParseNumber<unsigned>(text.substr(dash + 1));
  if (!s || !ss || *s > 255 || *ss > 255) return std::nullopt;
  return MakeSectionKey(static_cast<std::uint8_t>(*s), static_cast<std::uint8_t>(*ss));
}

TSimConfig ParseSimConfig(std::string_view text, bool serviceCable) {
  const TIniValues ini = ParseIni(text);
  // An empty value counts as absent.
  const auto get = [&](const char* key) -> std::optional<std::string> {
    const auto it = ini.find(key);
    if (it == ini.end() || it->second.empty()) return std::nullopt;
    return it->second;
  };

  TSimConfig c;
  if (serviceCable) {
    c.maxTransfer = kServiceCableMaxTransfer;
    c.baud = kServiceCableBaud;
  }
  if (const auto v = get("link/ports")) {
    const auto ports = ParseList<int>(*v, [](std::string_view item) -> std::optional<int> {
      const auto n = ParseNumber<int>(item);
      if (!n || *n < 0 || *n > 255) return std::nullopt;
      return n;
    });
    if (ports && !ports->empty()) c.ports = *ports;
  }
  if (const auto v = get("link/answer")) {
    if (const auto n = ParseNumber<int>(*v)) c.answer = *n != 0;
  }
  if (const auto v = get("link/initresult")) c.initResult = ParseNumber<std::int32_t>(*v);
  if (const auto v = get("link/baud")) c.baud = ParseNumber<std::uint64_t>(*v).value_or(c.baud);
  if (const auto v = get("link/maxtransfer")) {
    c.maxTransfer = ParseNumber<std::uint64_t>(*v).value_or(c.maxTransfer);
  }
  if (const auto v = get("memory/folder")) c.folder = std::filesystem::path(*v);
  if (const auto v = get("memory/capacity")) {
    c.capacity = ParseNumber<std::uint64_t>(*v).value_or(0);
  }
  if (const auto v = get("faults/readerror")) c.readError = ParseKeyedMap<std::int32_t>(*v);
  if (const auto v = get("faults/sizeerror")) c.sizeError = ParseKeyedMap<std::int32_t>(*v);
  if (const auto v = get("faults/writekeep")) c.writeKeep = ParseKeyedMap<std::uint64_t>(*v);
  if (const auto v = get("faults/writefail")) c.writeFail = ParseKeyedMap<std::int32_t>(*v);
  if (const auto v = get("faults/clearfails")) {
    if (const auto keys = ParseList<TSectionKey>(*v, ParseSectionKey)) {
      c.clearFails = std::set<TSectionKey>(keys->begin(), keys->end());
    }
  }
  if (const auto v = get("faults/failcall")) {
    if (const auto list = ParseList<std::pair<std::uint64_t, TCallFault>>(*v, ParseCallFault))
      c.failCall = std::map<std::uint64_t, TCallFault>(list->begin(), list->end());
  }
  return c;
}

TSimConfig LoadSimConfig(const std::filesystem::path& iniFile, bool serviceCable) {
  std::string text;
  if (std::ifstream in(iniFile, std::ios::binary); in) {
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  TSimConfig c = ParseSimConfig(text, serviceCable);
  if (c.folder.is_relative()) c.folder = iniFile.parent_path() / c.folder;
  return c;
}

}  // namespace zub::sim
