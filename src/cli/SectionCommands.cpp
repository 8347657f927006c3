// zub read, write and erase: one section each, through the core's section engine.
#include <iostream>

#include "Commands.h"
#include "base/FileIO.h"
#include "commands/SectionEngine.h"

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

}  // namespace

int RunRead(const TCliArgs& args, TCliSession& session) {
  const TSectionAddress a = *args.Address;
  TSectionRead r;
  {
    TSectionLink link(session.Core(), &StopFlag());
    if (!link) session.Fail(*link.OpenError());
    r = link.ReadWhole(a);
  }
  if (r.Error) session.Fail(*r.Error, "cannot read section " + a.Text());
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
  const std::string written = std::to_string(data.size()) + " bytes";
  TWriteCheck check;
  {
    TSectionLink link(session.Core(), &StopFlag());
    if (!link) session.Fail(*link.OpenError());
    check = link.WriteAndCheck(a, data, !args.NoVerify);
  }
  // A write whose answer was lost is told as such: what the section holds is not known.
  if (check.Error)
    session.Fail(*check.Error,
                 check.Error->ContentUnknown() ? "" : "writing section " + address + " failed");
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
  PrintLine(address + ": " + written + " written, " +
            (args.NoVerify ? "size checked (not verified)" : "verified"));
  return kExitOk;
}

int RunErase(const TCliArgs& args, TCliSession& session) {
  const TSectionAddress a = *args.Address;
  std::optional<TStepError> error;
  {
    TSectionLink link(session.Core(), &StopFlag());
    if (!link) session.Fail(*link.OpenError());
    error = link.EraseAndCheck(a);
  }
  if (error)
    session.Fail(*error, error->ContentUnknown() ? "" : "section " + a.Text() + " was not erased");
  PrintLine(a.Text() + ": erased, reads as empty");
  return kExitOk;
}

}  // namespace zub::cli
