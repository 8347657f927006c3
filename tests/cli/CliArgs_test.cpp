// The command line as zub parses it: what each accepted line means, and the sentence each
// refused one gets (they all end in exit status 2).
#include <gtest/gtest.h>

#include <sstream>

#include "CliArgs.h"

namespace zub::cli {
namespace {

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// The parsed line in one comparable text: the command, then only what was set.
std::string Describe(const TCliArgs& a) {
  std::string out = a.Command == TCliCommand::None ? "-" : CommandName(a.Command);
  if (a.Help) out += " help";
  if (a.Address) out += " at=" + a.Address->Text();
  if (!a.File.empty()) out += " file=" + a.File;
  if (!a.Dir.empty()) out += " dir=" + a.Dir;
  if (!a.Home.empty()) out += " home=" + a.Home;
  if (a.Port) out += " port=" + std::to_string(*a.Port);
  if (a.ServiceCable) out += " cte";
  if (a.Quiet) out += " quiet";
  if (a.Verbose) out += " verbose";
  if (!a.Log.empty()) out += " log=" + a.Log;
  if (a.Force) out += " force";
  if (a.Yes) out += " yes";
  if (a.Json) out += " json";
  if (a.NoVerify) out += " no-verify";
  if (a.All) out += " all";
  if (a.DryRun) out += " dry-run";
  for (const auto& o : a.Only) out += " only=" + o.Text();
  return out;
}

TEST(CliArgs, AcceptedLinesMeanWhatTheHelpSays) {
  const struct {
    const char* line;
    const char* meaning;
  } cases[] = {
      {"list", "list"},
      {"list --json", "list json"},
      {"--json list", "list json"},  // options may come before the command
      {"read 2-18 out.bin", "read at=2-18 file=out.bin"},
      {"read 0-0 -", "read at=0-0 file=-"},
      {"read 255-255 x", "read at=255-255 file=x"},
      {"write 17-3 a.bin --no-verify", "write at=17-3 file=a.bin no-verify"},
      {"erase 2-8", "erase at=2-8"},
      {"--home /h --port 3 --service-cable -q backup /b --all",
       "backup dir=/b home=/h port=3 cte quiet all"},
      {"--home=/h --port=4 verify /b", "verify dir=/b home=/h port=4"},
      {"restore /b --only 2-1,2-5 --only 17-1 --dry-run",
       "restore dir=/b dry-run only=2-1 only=2-5 only=17-1"},
      {"restore --only=2-1 /b", "restore dir=/b only=2-1"},
      {"read 2-1 -- -weird-name", "read at=2-1 file=-weird-name"},
      {"--help", "- help"},
      {"backup --help", "backup help"},  // help wins over missing operands
      {"-h restore", "restore help"},
      {"--log calls.txt -v write 2-8 big.bin --force --json",
       "write at=2-8 file=big.bin verbose log=calls.txt force json"},
      {"--log=c.txt erase 2-8 --yes", "erase at=2-8 log=c.txt yes"},
      {"restore /b --yes --json", "restore dir=/b yes json"},
      {"backup /b --json", "backup dir=/b json"},
      {"read 2-1 f --json", "read at=2-1 file=f json"},
  };
  for (const auto& c : cases) {
    const TParseResult r = ParseCliArgs(Words(c.line));
    ASSERT_TRUE(r.Args) << c.line << ": " << r.Error;
    EXPECT_EQ(Describe(*r.Args), c.meaning) << c.line;
  }
}

TEST(CliArgs, RefusedLinesSayWhy) {
  const struct {
    const char* line;
    const char* error;
  } cases[] = {
      {"", "no command given"},
      {"--quiet", "no command given"},
      {"frob", "unknown command 'frob'"},
      {"list --frob", "unknown option '--frob'"},
      {"list extra", "'list' takes no operands"},
      {"read 2-5", "'read' needs S-SS FILE"},
      {"read 2-5 a b", "'read' needs S-SS FILE"},
      {"erase", "'erase' needs S-SS"},
      {"backup", "'backup' needs DIR"},
      {"read 256-0 f", "'256-0' is not a section address S-SS (0-0 to 255-255)"},
      {"read 2-x f", "'2-x' is not a section address"},
      {"erase 2", "'2' is not a section address"},
      {"erase -2-5", "unknown option '-2-5'"},
      {"write 2-5 -", "'write' reads a file, not standard input"},
      {"list --all", "option --all does not apply to 'list'"},
      {"read 2-1 - --json", "--json and - cannot share standard output"},
      {"write 2-5 f --yes", "option --yes does not apply to 'write'"},
      {"erase 2-5 --force", "option --force does not apply to 'erase'"},
      {"list --log", "option --log needs a file"},
      {"verify /b --dry-run", "option --dry-run does not apply to 'verify'"},
      {"write 2-5 f --only 2-5", "option --only does not apply to 'write'"},
      {"list --json=1", "option --json takes no value"},
      {"--port 0 list", "option --port needs a port number 1 to 4"},
      {"--port 5 list", "option --port needs a port number 1 to 4"},
      {"--port COM1 list", "option --port needs a port number 1 to 4"},
      {"list --port", "option --port needs a port number 1 to 4"},
      {"list --home", "option --home needs a folder"},
      {"restore /b --only", "option --only needs a list of sections"},
      {"restore /b --only 2-1,,2-2", "--only: '' is not a section address S-SS"},
      {"restore /b --only 2-1,300-1", "--only: '300-1' is not a section address S-SS"},
  };
  for (const auto& c : cases) {
    const TParseResult r = ParseCliArgs(Words(c.line));
    EXPECT_FALSE(r.Args) << c.line;
    EXPECT_NE(r.Error.find(c.error), std::string::npos) << c.line << " -> " << r.Error;
  }
}

TEST(CliArgs, EveryCommandHasItsOwnHelp) {
  for (const auto command :
       {TCliCommand::List, TCliCommand::Read, TCliCommand::Write, TCliCommand::Erase,
        TCliCommand::Backup, TCliCommand::Verify, TCliCommand::Restore}) {
    const std::string name = CommandName(command);
    const std::string help = CommandHelp(command);
    EXPECT_TRUE(help.starts_with("Usage: zub [OPTIONS] " + name + " ")) << help;
    EXPECT_NE(GeneralHelp().find("  " + name + " "), std::string::npos) << name;
  }
}

TEST(CliArgs, EveryHelpFitsEightyColumnsAndShowsAnExample) {
  std::vector<std::pair<std::string, std::string>> helps = {{"zub --help", GeneralHelp()}};
  for (const auto command :
       {TCliCommand::List, TCliCommand::Read, TCliCommand::Write, TCliCommand::Erase,
        TCliCommand::Backup, TCliCommand::Verify, TCliCommand::Restore}) {
    const std::string name = CommandName(command);
    helps.emplace_back("zub " + name + " --help", CommandHelp(command));
    EXPECT_NE(helps.back().second.find("Example:\n  zub " + name + " "), std::string::npos) << name;
  }
  for (const auto& [which, help] : helps) {
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);)
      EXPECT_LE(line.size(), 80u) << which << ": " << line;
  }
}

TEST(CliArgs, EnvironmentGivesTheDefaultsAndTheOptionsWin) {
  const struct {
    const char* line;
    const char* home;  // ZUB_HOME, null: unset
    const char* port;  // ZUB_PORT
    const char* meaning;
    const char* error;
  } cases[] = {
      {"list", "/env", "3", "list home=/env port=3", ""},
      {"--home /opt --port 2 list", "/env", "3", "list home=/opt port=2", ""},
      {"list", nullptr, nullptr, "list", ""},
      {"list", "", "", "list", ""},                           // set but empty: as if unset
      {"--port 1 list", nullptr, "COM9", "list port=1", ""},  // the option wins, unread
      {"list", nullptr, "5", "", "ZUB_PORT is '5'; it must be a port number 1 to 4"},
      {"list", nullptr, "COM1", "", "ZUB_PORT is 'COM1'"},
  };
  for (const auto& c : cases) {
    TParseResult r = ParseCliArgs(Words(c.line));
    ASSERT_TRUE(r.Args) << c.line;
    const std::string error = ApplyEnvironment(*r.Args, c.home, c.port);
    if (*c.error) {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.line << " -> " << error;
    } else {
      EXPECT_EQ(error, "") << c.line;
      EXPECT_EQ(Describe(*r.Args), c.meaning) << c.line;
    }
  }
}

}  // namespace
}  // namespace zub::cli
