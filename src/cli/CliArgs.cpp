#include "CliArgs.h"

#include <algorithm>
#include <charconv>

namespace zub::cli {
namespace {

// Options that belong to one command or another; the rest apply to every command.
enum TCommandOption : unsigned {
  kJson = 1u << 0,
  kNoVerify = 1u << 1,
  kAll = 1u << 2,
  kDryRun = 1u << 3,
  kOnly = 1u << 4,
  kForce = 1u << 5,
  kYes = 1u << 6,
  kRestore = 1u << 7,
  kPrune = 1u << 8,
};

struct TCommandRow {
  TCliCommand Id;
  const char* Name;
  const char* Operands;  // as the help shows them
  int OperandCount;
  unsigned Options;
  const char* Synopsis;  // after the name, in the help
  const char* Summary;   // one line
  const char* Details;   // the command's help, lines of at most 80 columns
};

// Every help line fits 80 columns (a test holds every line of every help to it).
constexpr TCommandRow kCommands[] = {
    {TCliCommand::List, "list", "", 0, kJson, "[--json]",
     "scan every catalogue section as Full Refresh does",
     "Scans every row of the catalogue as \"Full Refresh\" does and prints one line per\n"
     "row: S-SS, kind, title, size, capacity (MaxSize), format label and LZO ratio.\n"
     "  --json   a JSON array instead, one object per row\n"
     "\n"
     "Example:\n"
     "  zub list --json\n"},
    {TCliCommand::Read, "read", "S-SS FILE", 2, kJson, "S-SS FILE|- [--json]",
     "save a whole section into FILE (- for standard output)",
     "Saves the whole section, whatever its size, into FILE (\"-\" for standard output).\n"
     "The file is written whole or not at all; an empty section gives an empty file.\n"
     "  --json   the result as a JSON object (not with -)\n"
     "\n"
     "Example:\n"
     "  zub read 2-3 chess.bin\n"},
    {TCliCommand::Write, "write", "S-SS FILE", 2, kNoVerify | kForce | kJson,
     "S-SS FILE [--no-verify] [--force] [--json]",
     "write FILE's bytes into a section and compare them",
     "Writes FILE's bytes into the section as they are (no filler stripping, no\n"
     "conversion), then reads the section back and compares every byte: reports\n"
     "\"verified\" or the first differing offset. A file larger than the catalogue's\n"
     "maximum for the section, or than 34,442 bytes, is refused.\n"
     "  --no-verify   skip the read-back; only the size the telephone reports is\n"
     "                checked\n"
     "  --force       write a file larger than those limits all the same\n"
     "  --json        the result as a JSON object\n"
     "\n"
     "Example:\n"
     "  zub write 2-8 samples/tetris-v2.prg\n"},
    {TCliCommand::Erase, "erase", "S-SS", 1, kYes | kJson, "S-SS [--yes] [--json]",
     "erase a section and check that it reads as empty",
     "Erases the section and checks that it then reads as empty. On a terminal it says\n"
     "what the section holds and asks first; otherwise it needs --yes.\n"
     "  --yes    erase without asking\n"
     "  --json   the result as a JSON object\n"
     "\n"
     "Example:\n"
     "  zub erase 2-8 --yes\n"},
    {TCliCommand::Backup, "backup", "DIR", 1, kAll | kJson, "DIR [--all] [--json]",
     "copy every catalogue section into DIR, with a manifest",
     "Copies every catalogue section into S-SS.bin files of a new folder beside DIR,\n"
     "writes its manifest.ini last (tool version, date, cable type, port, and per\n"
     "section its size and SHA-256; empty and absent sections listed as such) and only\n"
     "then puts it in DIR's place: a backup that fails or is stopped leaves DIR as it\n"
     "was. DIR must be new, empty or an earlier backup. A section that cannot be read\n"
     "is reported, the backup goes on, and the exit status is 1; such a backup never\n"
     "replaces a complete one.\n"
     "  --all    every section that reports a size in 0-0 ... 255-255, not only the\n"
     "           catalogue's\n"
     "  --json   the result as a JSON object\n"
     "\n"
     "Example:\n"
     "  zub backup ~/zub-backup\n"},
    {TCliCommand::Verify, "verify", "DIR", 1, kJson, "DIR [--json]",
     "compare the telephone with a backup",
     "Reads each section of DIR/manifest.ini and reports it as same, differs, now\n"
     "empty or unreadable, with a summary. Exit status 0 only when every section is\n"
     "the same.\n"
     "  --json   the result as a JSON object\n"
     "\n"
     "Example:\n"
     "  zub verify ~/zub-backup -q | grep -v ' same$'\n"},
    {TCliCommand::Restore, "restore", "DIR", 1, kOnly | kDryRun | kYes | kJson,
     "DIR [--only S-SS,...] [--dry-run] [--yes] [--json]",
     "write back the sections that differ from a backup",
     "Writes back every section whose content differs from the backup and erases the\n"
     "ones the manifest lists as empty or absent, each verified by reading it back.\n"
     "Sections the manifest does not list are never touched. A backup whose files do\n"
     "not match their SHA-256 is refused before anything is written. On a terminal it\n"
     "shows what it will write and erase and asks first; otherwise it needs --yes.\n"
     "  --only S-SS,...   only these sections (each must be in the manifest)\n"
     "  --dry-run         print what would be done; reads only\n"
     "  --yes             write and erase without asking\n"
     "  --json            the result as a JSON object\n"
     "\n"
     "Example:\n"
     "  zub restore ~/zub-backup --only 2-1,17-4\n"},
    {TCliCommand::History, "history", "S-SS", 1, kRestore | kPrune, "S-SS [--restore N] | --prune",
     "list a section's earlier contents, or write one back",
     "Lists the versions of the section that the tool has kept, newest first: number,\n"
     "time (UTC), read or written, size, command, what the content is, cable and port.\n"
     "  --restore N   write version N back into the section and read it back to\n"
     "                compare\n"
     "  --prune       apply the limits of [History] to the whole history now (no S-SS)\n"
     "\n"
     "Example:\n"
     "  zub history 2-3 --restore 2\n"},
};

const TCommandRow* FindCommand(std::string_view name) {
  for (const auto& row : kCommands)
    if (name == row.Name) return &row;
  return nullptr;
}

const TCommandRow* FindCommand(TCliCommand id) {
  for (const auto& row : kCommands)
    if (row.Id == id) return &row;
  return nullptr;
}

struct TOptionName {
  const char* Name;
  TCommandOption Bit;
};
constexpr TOptionName kCommandOptions[] = {
    {"--json", kJson},      {"--no-verify", kNoVerify}, {"--all", kAll},
    {"--dry-run", kDryRun}, {"--only", kOnly},          {"--force", kForce},
    {"--yes", kYes},        {"--restore", kRestore},    {"--prune", kPrune},
};

std::optional<int> ParseNumber(std::string_view text, int lo, int hi) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < lo || value > hi) return std::nullopt;
  return value;
}

TParseResult Fail(std::string error) {
  return {std::nullopt, std::move(error)};
}

}  // namespace

const char* CommandName(TCliCommand command) {
  const TCommandRow* row = FindCommand(command);
  return row ? row->Name : "";
}

TParseResult ParseCliArgs(const std::vector<std::string>& argv) {
  TCliArgs args;
  unsigned given = 0;
  std::string onlyText;
  std::vector<std::string> operands;
  const TCommandRow* command = nullptr;
  bool optionsEnd = false;

  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    const bool isOption = !optionsEnd && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      if (!command) {
        command = FindCommand(arg);
        if (!command) return Fail("unknown command '" + arg + "'");
        args.Command = command->Id;
      } else {
        operands.push_back(arg);
      }
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    // "--name=value" or "--name value" for the options that take a value.
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 < argv.size()) return argv[++i];
      return std::nullopt;
    };
    const bool takesValue = name == "--home" || name == "--port" || name == "--only" ||
                            name == "--log" || name == "--restore";
    if (!takesValue && inlineValue) return Fail("option " + name + " takes no value");

    if (name == "--help" || name == "-h") {
      args.Help = true;
    } else if (name == "--version") {
      args.Version = true;
    } else if (name == "--quiet" || name == "-q") {
      args.Quiet = true;
    } else if (name == "--verbose" || name == "-v") {
      args.Verbose = true;
    } else if (name == "--log") {
      const auto v = value();
      if (!v || v->empty()) return Fail("option --log needs a file");
      args.Log = *v;
    } else if (name == "--service-cable") {
      args.ServiceCable = true;
    } else if (name == "--home") {
      const auto v = value();
      if (!v || v->empty()) return Fail("option --home needs a folder");
      args.Home = *v;
    } else if (name == "--port") {
      const auto v = value();
      const auto port = v ? ParseNumber(*v, 1, 4) : std::nullopt;
      if (!port) return Fail("option --port needs a port number 1 to 4");
      args.Port = port;
    } else {
      const TOptionName* option = nullptr;
      for (const auto& o : kCommandOptions)
        if (name == o.Name) option = &o;
      if (!option) return Fail("unknown option '" + name + "'");
      given |= option->Bit;
      if (option->Bit == kOnly) {
        const auto v = value();
        if (!v || v->empty()) return Fail("option --only needs a list of sections S-SS,...");
        onlyText = onlyText.empty() ? *v : onlyText + "," + *v;
      }
      if (option->Bit == kRestore) {
        const auto v = value();
        args.RestoreVersion = v ? ParseNumber(*v, 1, 1 << 30) : std::nullopt;
        if (!args.RestoreVersion) return Fail("option --restore needs a version number");
      }
    }
  }

  if (args.Help || args.Version) return {args, {}};
  if (!command) return Fail("no command given");
  for (const auto& o : kCommandOptions)
    if ((given & o.Bit) && !(command->Options & o.Bit))
      return Fail(std::string("option ") + o.Name + " does not apply to '" + command->Name + "'");
  if ((given & kPrune) && (given & kRestore))
    return Fail("--prune and --restore exclude each other");
  // "history --prune" works on every section: it takes none.
  const int operandCount = (given & kPrune) ? 0 : command->OperandCount;
  args.Prune = given & kPrune;
  if (static_cast<int>(operands.size()) != operandCount) {
    if (operandCount == 0) return Fail(std::string("'") + command->Name + "' takes no operands");
    return Fail(std::string("'") + command->Name + "' needs " + command->Operands);
  }

  args.Json = given & kJson;
  args.NoVerify = given & kNoVerify;
  args.All = given & kAll;
  args.DryRun = given & kDryRun;
  args.Force = given & kForce;
  args.Yes = given & kYes;
  switch (command->Id) {
    case TCliCommand::Read:
    case TCliCommand::Write:
    case TCliCommand::Erase:
    case TCliCommand::History:
      if (operands.empty()) break;
      args.Address = ParseSectionAddress(operands[0]);
      if (!args.Address)
        return Fail("'" + operands[0] + "' is not a section address S-SS (0-0 to 255-255)");
      if (operands.size() > 1) args.File = operands[1];
      if (command->Id == TCliCommand::Write && args.File == "-")
        return Fail("'write' reads a file, not standard input");
      if (args.Json && args.File == "-")
        return Fail("--json and - cannot share standard output: read into a FILE");
      break;
    case TCliCommand::Backup:
    case TCliCommand::Verify:
    case TCliCommand::Restore:
      args.Dir = operands[0];
      break;
    default:
      break;
  }
  for (std::size_t start = 0; !onlyText.empty() && start <= onlyText.size();) {
    const auto comma = std::min(onlyText.find(',', start), onlyText.size());
    const std::string item = onlyText.substr(start, comma - start);
    const auto address = ParseSectionAddress(item);
    if (!address) return Fail("--only: '" + item + "' is not a section address S-SS");
    args.Only.push_back(*address);
    start = comma + 1;
  }
  return {args, {}};
}

std::string VersionText() {
  return std::string("zub ") + ZUB_VERSION + "\n";
}

std::string ApplyEnvironment(TCliArgs& args, const char* home, const char* port) {
  if (args.Home.empty() && home) args.Home = home;
  if (!args.Port && port && *port) {
    args.Port = ParseNumber(port, 1, 4);
    if (!args.Port)
      return std::string("ZUB_PORT is '") + port + "'; it must be a port number 1 to 4";
  }
  return {};
}

bool WantsJson(const std::vector<std::string>& argv) {
  for (const auto& arg : argv) {
    if (arg == "--") return false;
    if (arg == "--json") return true;
  }
  return false;
}

std::string GeneralHelp() {
  std::string out =
      "Usage: zub [OPTIONS] COMMAND [ARGUMENTS]\n"
      "\n"
      "Looks after the NVM sections of a ZUB telephone through the same device library,\n"
      "settings (zubmanager.INI) and catalogue (SECTIONS.INI) as ZUB Manager 3.\n"
      "\n"
      "Commands:\n";
  for (const auto& row : kCommands) {
    std::string name = row.Name;
    out += "  " + name + std::string(10 - name.size(), ' ') + row.Summary + "\n";
  }
  out +=
      "\n"
      "Options (any command):\n"
      "  --home DIR        folder of the settings, catalogue and device library\n"
      "                    (default: $ZUB_HOME, else where zubmanager keeps them)\n"
      "  --port N          COM port 1 to 4 for this run (default: $ZUB_PORT, else the\n"
      "                    COM-Port of the settings)\n"
      "  --service-cable   use the service cable (cte_gbp.dll) for this run\n"
      "  --quiet, -q       no progress on standard error\n"
      "  --verbose, -v     every device call on standard error (entry point, arguments,\n"
      "                    result, time taken), with the messages of gbp-host.exe and\n"
      "                    Wine\n"
      "  --log FILE        the same call lines into FILE\n"
      "  --help            this text; \"zub COMMAND --help\" describes one command\n"
      "  --version         the version of zub\n"
      "\n"
      "Examples:\n"
      "  zub list\n"
      "  zub backup ~/zub-backup && zub verify ~/zub-backup\n"
      "  zub --port 2 -v read 2-3 chess.bin\n"
      "\n"
      "Exit status: 0 done; 1 the work failed, in whole or in part; 2 bad usage; 3 the\n"
      "telephone could not be reached (device library missing or connection refused);\n"
      "130 stopped by Ctrl-C.\n";
  return out;
}
std::string CommandHelp(TCliCommand command) {
  const TCommandRow* row = FindCommand(command);
  if (!row) return GeneralHelp();
  return std::string("Usage: zub [OPTIONS] ") + row->Name + " " + row->Synopsis + "\n\n" +
         row->Details + "\nSee \"zub --help\" for the options of every command.\n";
}

}  // namespace zub::cli
