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

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace {

// The arguments after the program's name, as UTF-8 like every text of the program. Windows
// hands main its arguments in the system's narrow code page, which cannot hold every file
// name: the wide ones are taken instead.
std::vector<std::string> Arguments(int argc, char** argv) {
#if defined(_WIN32)
  (void)argc;
  (void)argv;
  std::vector<std::string> out;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; wide && i < count; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
    arg.resize(arg.size() - 1);  // the terminating NUL
    out.push_back(std::move(arg));
  }
  LocalFree(wide);
  // What zub writes is UTF-8; a console shows it as such.
  SetConsoleOutputCP(CP_UTF8);
  // And it writes the same bytes as on any other system: lines end in LF alone (which
  // consoles and editors show as line ends), and a section read to standard output goes out
  // untouched.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return out;
#else
  return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  zub::EnsureStandardDescriptors();
  using namespace zub::cli;
  const std::vector<std::string> words = Arguments(argc, argv);
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
