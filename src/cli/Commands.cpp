#include "Commands.h"

#include <iostream>

namespace zub::cli {

int RunCommand(const TCliArgs& args) {
  try {
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
    std::cout.flush();
    std::cerr << "zub: " << e.what() << "\n";
    return e.Status;
  } catch (const EInterrupted&) {
    std::cout.flush();
    std::cerr << "zub: stopped by Ctrl-C; the connection is closed and no file was left "
                 "half-written\n";
    return kExitInterrupted;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "zub: " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace zub::cli
