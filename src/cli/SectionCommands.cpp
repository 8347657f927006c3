// zub read, write and erase: one section each, on one connection.
#include <cstdio>
#include <iostream>

#include "Commands.h"
#include "SectionIO.h"
#include "base/Convert.h"
#include "base/FileIO.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace zub::cli {
namespace {

std::string StateWord(TReadState state) {
  switch (state) {
    case TReadState::Empty:
      return " (empty)";
    case TReadState::Absent:
      return " (no such section: read as empty)";
    default:
      return "";
  }
}

void WriteStandardOutput(Bytes data) {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::cout.write(reinterpret_cast<const char*>(data.data()),
                  static_cast<std::streamsize>(data.size()));
  std::cout.flush();
  if (!std::cout) throw ECommandFailed(kExitFailed, "standard output could not be written");
}

}  // namespace

int RunRead(const TCliArgs& args, TCliSession& session) {
  const TSectionAddress a = *args.Address;
  TSectionRead r;
  {
    TConnection connection(session);
    r = ReadWholeSection(session.NVM(), a);
  }
  if (r.State == TReadState::Failed)
    throw ECommandFailed(kExitFailed, "cannot read section " + AddressText(a) + ": " + r.Error);
  const std::string what =
      AddressText(a) + ": " + std::to_string(r.Bytes.size()) + " bytes read" + StateWord(r.State);
  if (args.File == "-") {
    WriteStandardOutput(r.Bytes);
    if (!args.Quiet) std::cerr << what << "\n";
    return kExitOk;
  }
  try {
    WriteFileAtomic(args.File, r.Bytes);
  } catch (const EFileError& e) {
    throw ECommandFailed(kExitFailed, e.what());
  }
  std::cout << what << " into " << args.File << "\n";
  return kExitOk;
}

int RunWrite(const TCliArgs& args, TCliSession& session) {
  const TSectionAddress a = *args.Address;
  const std::string address = AddressText(a);
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
  {
    TConnection connection(session);
    if (const auto error = WriteSection(session.NVM(), a, data))
      throw ECommandFailed(kExitFailed, "writing section " + address + " failed: " + *error);
    if (args.NoVerify) {
      const TSectionRead q = QuerySize(session.NVM(), a);
      if (q.State == TReadState::Failed)
        throw ECommandFailed(kExitFailed, "section " + address + " was written, but " + q.Error);
      if (static_cast<std::size_t>(q.Size) != data.size())
        throw ECommandFailed(kExitFailed, "section " + address + " holds " +
                                              std::to_string(q.Size) + " bytes after writing " +
                                              written);
      std::cout << address << ": " << written << " written, size checked (not verified)\n";
      return kExitOk;
    }
    const TSectionRead back = ReadWholeSection(session.NVM(), a);
    if (back.State == TReadState::Failed)
      throw ECommandFailed(kExitFailed, "section " + address +
                                            " was written but cannot be read back: " + back.Error);
    if (const auto at = FirstDifference(data, back.Bytes))
      throw ECommandFailed(kExitFailed, "section " + address + " differs from " + args.File +
                                            " after writing: first difference at offset " +
                                            std::to_string(*at) + " (wrote " + written +
                                            ", the telephone holds " +
                                            std::to_string(back.Bytes.size()) + ")");
  }
  std::cout << address << ": " << written << " written, verified\n";
  return kExitOk;
}

int RunErase(const TCliArgs& args, TCliSession& session) {
  const TSectionAddress a = *args.Address;
  {
    TConnection connection(session);
    if (const auto error = EraseSection(session.NVM(), a))
      throw ECommandFailed(kExitFailed, "section " + AddressText(a) + " was not erased: " + *error);
  }
  std::cout << AddressText(a) << ": erased, reads as empty\n";
  return kExitOk;
}

}  // namespace zub::cli
