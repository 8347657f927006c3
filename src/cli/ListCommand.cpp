// zub list: "Full Refresh" on a command line, printed as a table or as JSON.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "Commands.h"
#include "commands/Scan.h"

namespace zub::cli {
namespace {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string JsonTextOrNull(const std::string& text) {
  return text.empty() ? "null" : JsonString(text);
}

// The width of a UTF-8 text in characters (continuation bytes take no column).
std::size_t Columns(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

}  // namespace

std::string ListText(const std::vector<TListRow>& rows) {
  const std::vector<std::string> header = {"S-SS", "KIND", "TITLE", "SIZE", "MAX", "FW", "LZO"};
  std::vector<std::vector<std::string>> cells{header};
  for (const auto& r : rows) {
    const auto orDash = [](const std::string& t) { return t.empty() ? std::string("-") : t; };
    cells.push_back({r.Address, r.Kind, orDash(r.Error.empty() ? r.Title : r.Error),
                     std::to_string(r.Size), std::to_string(r.Capacity), orDash(r.Format),
                     orDash(r.Lzo)});
  }
  std::vector<std::size_t> width(header.size(), 0);
  for (const auto& line : cells)
    for (std::size_t i = 0; i < line.size(); ++i) width[i] = std::max(width[i], Columns(line[i]));
  std::string out;
  for (const auto& line : cells) {
    std::string text;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const std::string pad(width[i] - Columns(line[i]), ' ');
      const bool number = i == 3 || i == 4;
      text += number ? pad + line[i] : line[i] + (i + 1 < line.size() ? pad : "");
      if (i + 1 < line.size()) text += "  ";
    }
    out += text + "\n";
  }
  return out;
}

std::string ListJson(const std::vector<TListRow>& rows) {
  std::string out = "[";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& r = rows[i];
    out += i ? ",\n " : "\n ";
    out += "{\"section\": " + JsonString(r.Address) + ", \"kind\": " + JsonString(r.Kind) +
           ", \"title\": " + JsonString(r.Title) + ", \"size\": " + std::to_string(r.Size) +
           ", \"capacity\": " + std::to_string(r.Capacity) +
           ", \"format\": " + JsonTextOrNull(r.Format) + ", \"lzo\": " + JsonTextOrNull(r.Lzo);
    if (!r.Error.empty()) out += ", \"error\": " + JsonString(r.Error);
    out += "}";
  }
  return out + (rows.empty() ? "]\n" : "\n]\n");
}

int RunList(const TCliArgs& args, TCliSession& session) {
  TManager& m = session.Core();
  std::vector<TListRow> rows;
  int status = kExitOk;
  std::optional<TStepError> lost;
  {
    TSectionLink link(m, &StopFlag());
    if (!link) session.Fail(*link.OpenError());
    for (int r = 1; r < m.RowCount(); ++r) {
      TSectInfo& row = m.Sections[static_cast<std::size_t>(r)];
      const TScanResult scan = ScanRow(m, row, &link);
      if (scan.Error && scan.Error->Kind == TFailureKind::Stopped) session.Fail(*scan.Error);
      if (link.Lost()) {
        // The rows not reached are not listed: nothing is known of them.
        lost = TStepError{TFailureKind::LinkLost,
                          "stopped at section " + row.Address().Text() +
                              ": the telephone stopped answering; the rows from there on "
                              "were not scanned"};
        break;
      }
      if (scan.Error) {
        std::cerr << "zub: " << scan.Error->Text << "\n";
        status = kExitFailed;
      }
      rows.push_back(ListRow(row, scan.Error ? scan.Error->Text : std::string()));
    }
  }
  if (rows.empty() && !lost && !args.Quiet)
    std::cerr << "zub: the catalogue is empty (no [Sections] in zubmanager.INI)\n";
  std::string text = args.Json ? ListJson(rows) : ListText(rows);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  PrintLine(text);
  if (lost) session.Fail(*lost);
  return status;
}

}  // namespace zub::cli
