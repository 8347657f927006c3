#include "Commands.h"

#include <iostream>

#include "JsonOutput.h"
#include "Progress.h"

namespace zub::cli {
namespace {

bool AsksFirst(const TCliArgs& args) {
  return !args.Yes && ((args.Command == TCliCommand::Restore && !args.DryRun) ||
                       args.Command == TCliCommand::Erase);
}

// The failure's sentence on standard error, and with --json its object on standard output
// (unless the command printed its result already).
int Report(const TCliArgs& args, int status, const std::string& sentence) {
  std::cout.flush();
  if (!sentence.empty()) std::cerr << "zub: " << sentence << "\n";
  if (args.Json && !JsonPrinted()) {
    try {
      PrintJson(ErrorJson(CommandName(args.Command), status, sentence));
    } catch (const ECommandFailed&) {
      // Standard output is gone: the sentence on standard error says it all.
    }
  }
  return status;
}

}  // namespace

void RefuseUnasked(const TCliArgs& args) {
  if (!AsksFirst(args) || AskingIsPossible()) return;
  const std::string name = CommandName(args.Command);
  throw ECommandFailed(kExitUsage, name +
                                       " changes the telephone and asks first, but there is "
                                       "no terminal to ask on; add --yes to " +
                                       name + " without asking");
}

bool MayChange(const TCliArgs& args, TCliSession& session, const std::string& plan,
               const std::string& question) {
  if (args.Yes) return true;
  std::cerr << plan;
  const bool yes = session.UI().Confirm("zub", question);
  // Ctrl-C at the question ends the read of the answer: a stop, not a "no".
  if (!yes && StopFlag().load()) throw EInterrupted();
  return yes;
}

int RunCommand(const TCliArgs& args) {
  try {
    RefuseUnasked(args);
    TCliSession session(args);
    session.Core().History.SetCommand(std::string("zub ") + CommandName(args.Command));
    switch (args.Command) {
      case TCliCommand::List:
        return RunList(args, session);
      case TCliCommand::Read:
        return RunRead(args, session);
      case TCliCommand::Write:
        return RunWrite(args, session);
      case TCliCommand::Erase:
        return RunErase(args, session);
      case TCliCommand::Backup:
        return RunBackup(args, session);
      case TCliCommand::Verify:
        return RunVerify(args, session);
      case TCliCommand::Restore:
        return RunRestore(args, session);
      case TCliCommand::History:
        return RunHistory(args, session);
      case TCliCommand::None:
        break;
    }
    return kExitUsage;
  } catch (const ECommandFailed& e) {
    return Report(args, e.Status, e.what());
  } catch (const EInterrupted& e) {
    if (*e.what()) std::cerr << "zub: " << e.what() << "\n";
    return Report(args, kExitInterrupted,
                  "stopped by Ctrl-C; the connection is closed and no file was left "
                  "half-written");
  } catch (const std::exception& e) {
    return Report(args, kExitFailed, e.what());
  }
}

}  // namespace zub::cli
