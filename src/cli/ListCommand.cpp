// zub list: "Full Refresh" on a command line, printed as a table or as JSON.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "Commands.h"
#include "base/Cp1251.h"
#include "formats/GridCells.h"
#include "commands/Scan.h"

namespace zub::cli {
namespace {

const char* KindName(std::int32_t kind) {
  switch (kind) {
    case skEmpty:
      return "empty";
    case skProgram:
      return "program";
    case skGIF:
      return "gif";
    case skData:
      return "data";
    default:
      return "unknown";
  }
}

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

TListRow ListRow(const TSectInfo& row, const std::string& error) {
  TListRow out;
  out.Address = SectionAddress(row.Section, row.SubSection);
  out.Kind = error.empty() ? KindName(row.Kind) : "error";
  out.Title = Cp1251ToUtf8(row.Title);
  out.Size = row.Size;
  out.Capacity = row.MaxSize;
  if (row.Kind == skProgram && error.empty()) out.Format = FirmwareLabel(row.Format);
  if (row.Compression == 1 && error.empty()) out.Lzo = LzoText(row.Size, row.UnpackedSize);
  out.Error = error;
  return out;
}

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
  {
    TConnection connection(session);
    for (int r = 1; r < m.RowCount(); ++r) {
      StopIfInterrupted();
      TSectInfo& row = m.Sections[static_cast<std::size_t>(r)];
      std::string error;
      if (ScanSection(m, row) < 0) {
        error = session.UI().TakeMessages();
        std::cerr << "zub: " << error << "\n";
        status = kExitFailed;
      }
      rows.push_back(ListRow(row, error));
    }
  }
  if (rows.empty() && !args.Quiet)
    std::cerr << "zub: the catalogue is empty (no [Sections] in zubmanager.INI)\n";
  std::cout << (args.Json ? ListJson(rows) : ListText(rows));
  return status;
}

}  // namespace zub::cli
