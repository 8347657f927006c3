// The commands of zub. Each works on one session (settings, catalogue, device component) and
// runs the core's section engine, backup and restore on it; results go to standard output,
// progress and errors to standard error. Each returns the exit status.
#pragma once

#include <string>
#include <vector>

#include "CliArgs.h"
#include "CliSession.h"
#include "formats/GridCells.h"

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
int RunHistory(const TCliArgs& args, TCliSession& session);

// The list's two output formats, one line (or object) per row.
std::string ListText(const std::vector<TListRow>& rows);
std::string ListJson(const std::vector<TListRow>& rows);

// Before a restore writes or an erase erases: true when --yes was given or the user said yes
// on the terminal. Without a terminal and without --yes, raises ECommandFailed (exit 2).
bool MayChange(const TCliArgs& args, TCliSession& session, const std::string& plan,
               const std::string& question);
// Raises the refusal of a command that would change the telephone without a terminal to ask
// on and without --yes; nothing when it may go on to ask or needs no question.
void RefuseUnasked(const TCliArgs& args);

}  // namespace zub::cli
