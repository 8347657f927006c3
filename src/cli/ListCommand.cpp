// zub list: "Full Refresh" on a command line, printed as a table or as JSON.
#include <algorithm>
#include <iostream>

#include "Commands.h"
#include "JsonOutput.h"
#include "commands/Scan.h"

namespace zub::cli {
namespace {

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

// The list as JSON: an array of one object per row.
TJson ListJsonValue(const std::vector<TListRow>& rows) {
  TJson out = TJson::array();
  for (const auto& r : rows) {
    const auto textOrNull = [](const std::string& t) { return t.empty() ? TJson() : TJson(t); };
    TJson row = {{"section", r.Address},    {"kind", r.Kind},
                 {"title", r.Title},        {"size", r.Size},
                 {"capacity", r.Capacity},  {"format", textOrNull(r.Format)},
                 {"lzo", textOrNull(r.Lzo)}};
    if (!r.Error.empty()) row["error"] = r.Error;
    out.push_back(std::move(row));
  }
  return out;
}

std::string ListJson(const std::vector<TListRow>& rows) {
  return JsonText(ListJsonValue(rows)) + "\n";
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
  if (args.Json) {
    PrintJson(ListJsonValue(rows));
  } else {
    std::string text = ListText(rows);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    PrintLine(text);
  }
  if (lost) session.Fail(*lost);
  return status;
}

}  // namespace zub::cli
