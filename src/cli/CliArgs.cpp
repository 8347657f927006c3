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
  kRestore = 1u << 5,
  kPrune = 1u << 6,
};

struct TCommandRow {
  TCliCommand Id;
  const char* Name;
  const char* Operands;  // as the help shows them
  int OperandCount;
  unsigned Options;
  const char* Synopsis;  // after the name, in the help
  const char* Summary;   // one line
  const char* Details;   // the command's help
};

constexpr TCommandRow kCommands[] = {
    {TCliCommand::List, "list", "", 0, kJson, "[--json]",
     "scan every catalogue section as Full Refresh does",
     "Scans every row of the catalogue as \"Full Refresh\" does and prints one line per row:\n"
     "S-SS, kind, title, size, capacity (MaxSize), format label and LZO ratio.\n"
     "  --json   print an array of objects with the same fields instead\n"},
    {TCliCommand::Read, "read", "S-SS FILE", 2, 0, "S-SS FILE|-",
     "save a whole section into FILE (- for standard output)",
     "Saves the whole section, whatever its size, into FILE (\"-\" for standard output).\n"
     "The file is written whole or not at all; an empty section gives an empty file.\n"},
    {TCliCommand::Write, "write", "S-SS FILE", 2, kNoVerify, "S-SS FILE [--no-verify]",
     "write FILE's bytes into a section and compare them",
     "Writes FILE's bytes into the section as they are (no filler stripping, no conversion),\n"
     "then reads the section back and compares every byte: reports \"verified\" or the first\n"
     "differing offset.\n"
     "  --no-verify   skip the read-back; only the size the telephone reports is checked\n"},
    {TCliCommand::Erase, "erase", "S-SS", 1, 0, "S-SS",
     "erase a section and check that it reads as empty",
     "Erases the section and checks that it then reads as empty.\n"},
    {TCliCommand::Backup, "backup", "DIR", 1, kAll, "DIR [--all]",
     "copy every catalogue section into DIR, with a manifest",
     "Copies every catalogue section into S-SS.bin files of a new folder beside DIR, writes\n"
     "its manifest.ini last (tool version, date, cable type, port, and per section its size\n"
     "and SHA-256; empty and absent sections listed as such) and only then puts it in DIR's\n"
     "place: a backup that fails or is stopped leaves DIR as it was. DIR must be new, empty\n"
     "or an earlier backup. A section that cannot be read is reported, the backup goes on,\n"
     "and the exit status is 1; such a backup never replaces a complete one.\n"
     "  --all   every section that reports a size in 0-0 ... 255-255, not the catalogue\n"},
    {TCliCommand::Verify, "verify", "DIR", 1, 0, "DIR", "compare the telephone with a backup",
     "Reads each section of DIR/manifest.ini and reports it as same, differs, now empty or\n"
     "unreadable, with a summary. Exit status 0 only when every section is the same.\n"},
    {TCliCommand::Restore, "restore", "DIR", 1, kOnly | kDryRun,
     "DIR [--only S-SS,...] [--dry-run]", "write back the sections that differ from a backup",
     "Writes back every section whose content differs from the backup and erases the ones the\n"
     "manifest lists as empty or absent, each verified by reading it back. Sections the manifest\n"
     "does not list are never touched. A backup whose files do not match their SHA-256 is\n"
     "refused before anything is written.\n"
     "  --only S-SS,...   only these sections (each must be in the manifest)\n"
     "  --dry-run         print what would be done; reads only\n"},
    {TCliCommand::History, "history", "S-SS", 1, kRestore | kPrune, "S-SS [--restore N] | --prune",
     "list a section's earlier contents, or write one back",
     "Lists the versions of the section that the tool has kept, newest first: number, time\n"
     "(UTC), read or written, size, command, what the content is, cable and port.\n"
     "  --restore N   write version N back into the section and read it back to compare\n"
     "  --prune       apply the limits of [History] to the whole history now (no S-SS)\n"},
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
    {"--json", kJson}, {"--no-verify", kNoVerify}, {"--all", kAll},     {"--dry-run", kDryRun},
    {"--only", kOnly}, {"--restore", kRestore},    {"--prune", kPrune},
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
    const bool takesValue =
        name == "--home" || name == "--port" || name == "--only" || name == "--restore";
    if (!takesValue && inlineValue) return Fail("option " + name + " takes no value");

    if (name == "--help" || name == "-h") {
      args.Help = true;
    } else if (name == "--version") {
      args.Version = true;
    } else if (name == "--quiet" || name == "-q") {
      args.Quiet = true;
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

std::string GeneralHelp() {
  std::string out =
      "Usage: zub [OPTIONS] COMMAND [ARGUMENTS]\n"
      "\n"
      "Looks after the NVM sections of a ZUB telephone through the same device library,\n"
      "settings (zubmanager.INI) and catalogue (SECTIONS.INI) as ZUB Manager 3.\n"
      "\n"
      "Commands:\n";
  for (const auto& row : kCommands) {
    std::string line = std::string("  ") + row.Name + " " + row.Synopsis;
    line += line.size() < 38 ? std::string(38 - line.size(), ' ') : "\n" + std::string(38, ' ');
    out += line + row.Summary + "\n";
  }
  out +=
      "\n"
      "Options (any command):\n"
      "  --home DIR        folder of the settings, catalogue and device library\n"
      "                    (default: the folder of zub)\n"
      "  --port N          COM port 1 to 4 for this run (default: COM-Port of the settings)\n"
      "  --service-cable   use the service cable (cte_gbp.dll) for this run\n"
      "  --quiet           no progress on standard error\n"
      "  --help            this text; \"zub COMMAND --help\" describes one command\n"
      "  --version         the version of zub\n"
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
