// The commands of zub. Each works on one session (settings, catalogue, device component) and
// opens the connection for as long as it talks to the telephone; results go to standard
// output, progress and errors to standard error. Each returns the exit status.
#pragma once

#include <string>
#include <vector>

#include "CliArgs.h"
#include "CliSession.h"
#include "formats/SectInfo.h"

namespace zub::cli {

// Parses nothing: runs the parsed command line, turning every failure into its exit status
// and a "zub: " sentence on standard error.
int RunCommand(const TCliArgs& args);

int RunList(const TCliArgs& args, TCliSession& session);
int RunRead(const TCliArgs& args, TCliSession& session);
int RunWrite(const TCliArgs& args, TCliSession& session);
int RunErase(const TCliArgs& args, TCliSession& session);
int RunBackup(const TCliArgs& args, TCliSession& session);
int RunVerify(const TCliArgs& args, TCliSession& session);
int RunRestore(const TCliArgs& args, TCliSession& session);

// One line of "zub list": what the grid shows of a scanned row, as texts (UTF-8).
struct TListRow {
  std::string Address;
  std::string Kind;  // "empty", "program", "gif", "data"; "error" when the scan failed
  std::string Title;
  std::int32_t Size = 0;
  std::int32_t Capacity = 0;  // the catalogue's MaxSize
  std::string Format;         // the FW column's label, programs only
  std::string Lzo;            // "LZO(40.0%)" for compressed images
  std::string Error;          // why the scan failed
};

TListRow ListRow(const TSectInfo& row, const std::string& error);
std::string ListText(const std::vector<TListRow>& rows);
std::string ListJson(const std::vector<TListRow>& rows);

}  // namespace zub::cli
