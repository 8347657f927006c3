// The command line of zub: one row per command (its name, operands, options and help), the
// parser that turns argv into a TCliArgs, and the help texts. Pure: strings in, a value or an
// error sentence out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/SectionAddress.h"

namespace zub::cli {

enum class TCliCommand { None, List, Read, Write, Erase, Backup, Verify, Restore, History };

struct TCliArgs {
  TCliCommand Command = TCliCommand::None;
  bool Help = false;     // --help: the general help, or the command's when a command is given
  bool Version = false;  // --version

  // Options for every command.
  std::string Home;         // --home DIR; empty: the folders zubmanager uses (base/InstallPaths.h)
  std::optional<int> Port;  // --port 1..4 (COM1..COM4) for this run
  bool ServiceCable = false;
  bool Quiet = false;
  bool Verbose = false;  // -v: every device call on standard error, with the host's messages
  std::string Log;       // --log FILE: the same call lines into FILE

  // Options and operands of the commands.
  bool Json = false;                       // every command but read to standard output
  bool NoVerify = false;                   // write
  bool Force = false;                      // write: past the size limit
  bool Yes = false;                        // restore, erase: no question
  bool All = false;                        // backup
  bool DryRun = false;                     // restore
  std::vector<TSectionAddress> Only;       // restore --only
  std::optional<TSectionAddress> Address;  // read, write, erase, history
  std::optional<int> RestoreVersion;       // history --restore N
  bool Prune = false;                      // history --prune
  std::string File;                        // read (may be "-"), write
  std::string Dir;                         // backup, verify, restore
};

struct TParseResult {
  std::optional<TCliArgs> Args;
  std::string Error;  // a sentence for "zub: ...", when Args is absent
};

TParseResult ParseCliArgs(const std::vector<std::string>& argv);

// ZUB_HOME and ZUB_PORT (null when unset) as the defaults of --home and --port; the options
// win. Returns the sentence for "zub: ..." when ZUB_PORT is no port number, else empty.
std::string ApplyEnvironment(TCliArgs& args, const char* home, const char* port);

// Whether the words ask for JSON, for a command line that could not be parsed.
bool WantsJson(const std::vector<std::string>& argv);

// "zub --version": the program's name and version on one line.
std::string VersionText();
// "zub --help" and "zub COMMAND --help".
std::string GeneralHelp();
std::string CommandHelp(TCliCommand command);
const char* CommandName(TCliCommand command);

}  // namespace zub::cli
