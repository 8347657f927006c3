// zub: the command line of ZUB Manager 3. "zub --help" lists the commands.
#include <iostream>
#include <string>
#include <vector>

#include "CliArgs.h"
#include "CliSession.h"
#include "Commands.h"
#include "base/StdDescriptors.h"

int main(int argc, char** argv) {
  zub::EnsureStandardDescriptors();
  using namespace zub::cli;
  MarkStart();
  const TParseResult parsed = ParseCliArgs(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.Args) {
    std::cerr << "zub: " << parsed.Error << "\nTry \"zub --help\".\n";
    return kExitUsage;
  }
  const TCliArgs& args = *parsed.Args;
  if (args.Version && !args.Help) {
    std::cout << VersionText();
    return kExitOk;
  }
  if (args.Help) {
    std::cout << (args.Command == TCliCommand::None ? GeneralHelp() : CommandHelp(args.Command));
    return kExitOk;
  }
  InstallInterruptHandler();
  return RunCommand(args);
}
