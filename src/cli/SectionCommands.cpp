// zub read, write and erase: one section each, through the core's section engine.
#include <iostream>

#include "Commands.h"
#include "JsonOutput.h"
#include "Progress.h"
#include "base/FileIO.h"
#include "commands/LinkSpeed.h"
#include "commands/SectionEngine.h"
#include "commands/WriteLimit.h"

namespace zub::cli {
namespace {

std::string StateWord(const TSizeAnswer& sized) {
  switch (sized.State) {
    case TSizeState::Empty:
      return " (empty)";
    case TSizeState::Absent:
      return " (no such section: read as empty)";
    default:
      return "";
  }
}

const char* StateName(const TSizeAnswer& sized) {
  switch (sized.State) {
    case TSizeState::Empty:
      return "empty";
    case TSizeState::Absent:
      return "absent";
    default:
      return "present";
  }
}

// The start and end of a transfer are told on a terminal, as the progress bar would be.
TTransferNote Note(const TCliArgs& args) {
  return TTransferNote(!args.Quiet && StderrIsTerminal());
}

}  // namespace

int RunRead(const TCliArgs& args, TCliSession& session) {
  const TSectionAddress a = *args.Address;
  TSectionRead r;
  TTransferNote note = Note(args);
  {
    TSectionLink link(session.Core(), &StopFlag());
    if (!link) session.Fail(*link.OpenError());
    const TSizeAnswer sized = link.QuerySize(a);
    if (sized.HasData()) {
      const auto size = static_cast<std::uint64_t>(sized.Size);
      note.Begin("reading " + a.Text(), size, size, LinkSpeed(session.Core()));
    }
    r = link.ReadContent(sized);
  }
  if (r.Error) session.Fail(*r.Error, "cannot read section " + a.Text());
  note.End();
  const std::string what =
      a.Text() + ": " + std::to_string(r.Bytes.size()) + " bytes read" + StateWord(r.Sized);
  if (args.File == "-") {
    PrintBytes(r.Bytes);
    if (!args.Quiet) std::cerr << what << "\n";
    return kExitOk;
  }
  try {
    WriteFileAtomic(args.File, r.Bytes);
  } catch (const EFileError& e) {
    throw ECommandFailed(kExitFailed, e.what());
  }
  if (args.Json)
    PrintJson({{"command", "read"},
               {"exit", kExitOk},
               {"section", a.Text()},
               {"state", StateName(r.Sized)},
               {"bytes", r.Bytes.size()},
               {"file", args.File}});
  else
    PrintLine(what + " into " + args.File);
  return kExitOk;
}

int RunWrite(const TCliArgs& args, TCliSession& session) {
  const TSectionAddress a = *args.Address;
  const std::string address = a.Text();
  std::vector<std::uint8_t> data;
  try {
    data = ReadFileHead(args.File, kMaxSectionBytes + 1);
  } catch (const EFileError& e) {
    throw ECommandFailed(kExitFailed, e.what());
  }
  if (data.size() > kMaxSectionBytes)
    throw ECommandFailed(kExitFailed, args.File + " is larger than the " +
                                          std::to_string(kMaxSectionBytes >> 20) +
                                          " MiB a section may hold");
  if (!args.Force)
    if (const auto tooLarge = WriteTooLarge(session.Core(), a, data.size()))
      throw ECommandFailed(kExitUsage, args.File + ": " + *tooLarge +
                                           "; nothing was written (--force writes it all the "
                                           "same)");
  const std::string written = std::to_string(data.size()) + " bytes";
  TWriteCheck check;
  TTransferNote note = Note(args);
  {
    TSectionLink link(session.Core(), &StopFlag());
    if (!link) session.Fail(*link.OpenError());
    note.Begin(args.NoVerify ? "writing " + address : "writing and reading back " + address,
               data.size(), data.size() * (args.NoVerify ? 1 : 2), LinkSpeed(session.Core()));
    check = link.WriteAndCheck(a, data, !args.NoVerify);
  }
  // A write whose answer was lost is told as such: what the section holds is not known.
  if (check.Error)
    session.Fail(*check.Error,
                 check.Error->ContentUnknown() ? "" : "writing section " + address + " failed");
  note.End();
  if (check.DiffersAt && args.NoVerify)
    throw ECommandFailed(kExitFailed, "section " + address + " holds " +
                                          std::to_string(check.Held) + " bytes after writing " +
                                          written);
  if (check.DiffersAt)
    throw ECommandFailed(kExitFailed, "section " + address + " differs from " + args.File +
                                          " after writing: first difference at offset " +
                                          std::to_string(*check.DiffersAt) + " (wrote " + written +
                                          ", the telephone holds " + std::to_string(check.Held) +
                                          ")");
  if (args.Json)
    PrintJson({{"command", "write"},
               {"exit", kExitOk},
               {"section", address},
               {"bytes", data.size()},
               {"file", args.File},
               {"check", args.NoVerify ? "size" : "read-back"}});
  else
    PrintLine(address + ": " + written + " written, " +
              (args.NoVerify ? "size checked (not verified)" : "verified"));
  return kExitOk;
}

int RunErase(const TCliArgs& args, TCliSession& session) {
  const TSectionAddress a = *args.Address;
  std::optional<TStepError> error;
  std::int32_t held = 0;
  {
    TSectionLink link(session.Core(), &StopFlag());
    if (!link) session.Fail(*link.OpenError());
    if (!args.Yes) {
      // What the section holds now, for the question.
      const TSizeAnswer sized = link.QuerySize(a);
      if (sized.Error) session.Fail(*sized.Error, "cannot size section " + a.Text());
      held = sized.Size;
      const std::string plan =
          "zub: section " + a.Text() + " on " + session.LinkText() +
          (sized.HasData() ? " holds " + std::to_string(held) + " bytes" : " holds nothing") + "\n";
      if (!MayChange(args, session, plan, "Erase section " + a.Text() + "?"))
        throw ECommandFailed(kExitFailed, "not erased: the answer was not yes");
    }
    error = link.EraseAndCheck(a);
  }
  if (error)
    session.Fail(*error, error->ContentUnknown() ? "" : "section " + a.Text() + " was not erased");
  if (args.Json)
    PrintJson({{"command", "erase"}, {"exit", kExitOk}, {"section", a.Text()}, {"erased", true}});
  else
    PrintLine(a.Text() + ": erased, reads as empty");
  return kExitOk;
}

}  // namespace zub::cli
