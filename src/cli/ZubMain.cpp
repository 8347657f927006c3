// zub: the command line of ZUB Manager 3. "zub --help" lists the commands.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "CliArgs.h"
#include "CliSession.h"
#include "Commands.h"
#include "JsonOutput.h"
#include "base/StdDescriptors.h"

int main(int argc, char** argv) {
  zub::EnsureStandardDescriptors();
  using namespace zub::cli;
  const std::vector<std::string> words(argv + 1, argv + argc);
  TParseResult parsed = ParseCliArgs(words);
  if (parsed.Args && !parsed.Args->Help && !parsed.Args->Version)
    parsed.Error = ApplyEnvironment(*parsed.Args, std::getenv("ZUB_HOME"), std::getenv("ZUB_PORT"));
  if (!parsed.Error.empty()) {
    std::cerr << "zub: " << parsed.Error << "\nTry \"zub --help\".\n";
    if (WantsJson(words)) std::cout << JsonText(ErrorJson({}, kExitUsage, parsed.Error)) << "\n";
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
