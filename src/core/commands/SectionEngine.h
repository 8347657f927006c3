// The section engine: the steps by which every command sizes, reads, writes and erases whole
// sections, and the connection they run on. Each step makes the device calls of one purpose
// and hands back what happened as a value: the bytes, or a TStepError that carries the device
// library's answer, so that each front end words and shows it as it likes (a box in the
// window, a line on standard error in zub). The window's commands (SectionIO.h, Scan.h) make
// their calls through the same steps as the backup, the restore and the command line.
//
// TSectionLink is the connection of one run, for work that goes through many sections (a
// scan, a backup, a restore, the command line's commands). Before every device call it looks
// at the run's stop flag, so a run can be stopped between two calls, and the connection is
// closed on every way out. It also keeps watch for a telephone that has fallen silent: the
// library answers -5 both for a section that does not exist and for a link that failed, but
// an absent section answers within milliseconds at any link speed. A size query that answers
// -5 after longer than kSilentAnswerAfter is followed by one probe, the size query of a
// section that answered a size earlier on the same connection; when the probe fails too the
// link is lost, and every later step of the run fails at once without a device call.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "base/SectionAddress.h"
#include "commands/CoreState.h"
#include "commands/DeviceActivity.h"
#include "device/GBPSession.h"

namespace zub {

// The largest section the tool reads or writes whole: far beyond any telephone's memory,
// small enough to hold in memory.
inline constexpr std::size_t kMaxSectionBytes = std::size_t{16} << 20;

// A size query that answers -5 after longer than this may come from a silent telephone.
inline constexpr std::chrono::milliseconds kSilentAnswerAfter{1000};

// What kind of failure ended a step, or a whole run (the last two are the runs' own).
enum class TFailureKind {
  Refused,       // the device library answered a failure code
  Inconsistent,  // its counts do not add up (a read longer or shorter than the size)
  TooLarge,      // more than kMaxSectionBytes
  Differs,       // the section does not hold what was written, or still holds data
  LinkLost,      // the telephone stopped answering
  Unreachable,   // the connection could not be opened
  Stopped,       // the run's stop flag was raised
  Files,         // a file or folder on the disk could not be read or written
  Invalid,       // the run cannot be carried out as asked (nothing to back up, a folder that
                 // is no backup, a damaged backup)
};

struct TStepError {
  TFailureKind Kind = TFailureKind::Refused;
  // What went wrong as the end of a sentence ("the device library answered -10 to the
  // read"); for Unreachable the component's own message ("GBP Error: No AT response!").
  std::string Text;
  std::int32_t Code = 0;  // the library's answer that caused it, where there is one
  // LinkLost: the call that lost it. A write or an erase that lost its answer may or may not
  // have changed the section: nobody can tell what it holds until it is read again.
  TDeviceCall Lost{};
  bool ContentUnknown() const {
    return Kind == TFailureKind::LinkLost &&
           (Lost.What == TDeviceActivity::Writing || Lost.What == TDeviceActivity::Erasing);
  }
};

// The error of a call that lost the link while it was doing `what` to section `a`: "the
// telephone stopped answering (section S-SS)".
TStepError LinkLostError(TSectionAddress a, TDeviceActivity what);

enum class TSizeState { Present, Empty, Absent, Failed };

// What a size query found.
struct TSizeAnswer {
  TSectionAddress Address;
  TSizeState State = TSizeState::Failed;
  std::int32_t Size = 0;            // Present: the section's size; otherwise 0
  std::int32_t Code = 0;            // the library's answer as it came
  std::optional<TStepError> Error;  // Failed: why
  bool HasData() const { return State == TSizeState::Present; }
};

// A whole section: its size answer and, when it held data, every byte of it.
struct TSectionRead {
  TSizeAnswer Sized;
  std::vector<std::uint8_t> Bytes;
  std::optional<TStepError> Error;  // the size query or the read failed; Bytes is empty
  bool HasData() const { return !Error && Sized.HasData(); }
};

// A write checked afterwards, by reading the section back or by its size.
struct TWriteCheck {
  std::optional<TStepError> Error;       // the write, or the check's own call, failed
  std::optional<std::size_t> DiffersAt;  // the section does not hold the bytes written
  std::size_t Held = 0;                  // the bytes the section holds afterwards
  bool ReadBack = true;                  // false: judged by the size only
  bool Ok() const { return !Error && !DiffersAt; }
  // The end of a sentence for a failed check: "the read-back differs at offset 100 (wrote
  // 5620 bytes, the telephone holds 100)", "it holds 100 bytes after writing 5620 bytes".
  std::string Text(std::size_t written) const;
};

// The steps on an open connection, without a watch: each selects the section itself.
// GetNVMFileSize once: Present (size 1..kMaxSectionBytes), Empty (0), Absent (-153, -5) or
// Failed (another negative answer, or a size beyond kMaxSectionBytes).
TSizeAnswer AskSize(TNVMSection& nvm, TSectionAddress a);
// One read into `buffer` (its size is the capacity): the library's answer; the buffer keeps
// what was delivered, a count beyond its size clamped to it. The component must already be
// pointed at the section.
std::int32_t ReadInto(TNVMSection& nvm, std::vector<std::uint8_t>& buffer);
// The whole of a section whose size is known: one read of size + 1 bytes (a section that grew
// since the size query fills the extra byte); a read that delivers other than `size` bytes
// is a failure, so a copy is never shortened.
TSectionRead ReadSized(TNVMSection& nvm, TSectionAddress a, std::int32_t size);
// WriteNVMFile with the bytes as they are: the library's answer.
std::int32_t WriteSection(TNVMSection& nvm, TSectionAddress a, Bytes data);
// ClearNVMFile: the library's answer, which tells nothing (the size afterwards does).
std::int32_t ClearSection(TNVMSection& nvm, TSectionAddress a);

// The first offset at which the two differ (the shorter one's length when one is a prefix
// of the other); nullopt when they are equal.
std::optional<std::size_t> FirstDifference(Bytes a, Bytes b);

class TSectionLink {
 public:
  // Opens the connection (the window's component shows its box when that fails, as always).
  // `stop`, when given, is looked at before every device call of the run.
  explicit TSectionLink(TCoreState& m, const std::atomic<bool>* stop = nullptr);
  ~TSectionLink() { Close(); }
  TSectionLink(const TSectionLink&) = delete;
  TSectionLink& operator=(const TSectionLink&) = delete;

  // False when the connection could not be opened; OpenError says why.
  explicit operator bool() const { return !FOpenError; }
  const std::optional<TStepError>& OpenError() const { return FOpenError; }
  // Ends the connection now (it ends by itself when the link goes).
  void Close();

  // Set once the telephone stopped answering; every step fails at once from then on.
  const std::optional<TStepError>& Lost() const { return FLost; }
  // The run's own stop flag, or a stop asked of the device component (the window's close).
  bool StopRequested() const { return (FStop && FStop->load()) || FCore.NVM->StopRequested(); }

  // The size query, watched (see above).
  TSizeAnswer QuerySize(TSectionAddress a);
  // Every byte of a section whose size `sized` gave; any other answer is handed back as it is.
  TSectionRead ReadContent(const TSizeAnswer& sized);
  TSectionRead ReadWhole(TSectionAddress a) { return ReadContent(QuerySize(a)); }
  // One read of up to buffer.size() bytes from the section's start (a scan's head).
  std::optional<TStepError> ReadPart(TSectionAddress a, std::vector<std::uint8_t>& buffer,
                                     std::int32_t* answer = nullptr);
  // Writes the bytes, then reads the whole section back and compares it; with `readBack`
  // false only the size the section reports afterwards is compared.
  TWriteCheck WriteAndCheck(TSectionAddress a, Bytes data, bool readBack = true);
  // Clears the section, then asks its size: it must read as empty or absent.
  std::optional<TStepError> EraseAndCheck(TSectionAddress a);
  // The size query of a section that answered a size earlier on this connection: nullopt
  // when it answers; otherwise why not (no such section yet, the stop flag, the link lost).
  // A failed probe marks the link lost.
  std::optional<TStepError> Probe();

 private:
  // Why no call may be made now (stopped, lost), or nullopt.
  std::optional<TStepError> Blocked() const;
  void MarkLost(TSectionAddress a, TDeviceActivity what);

  TCoreState& FCore;
  const std::atomic<bool>* FStop;
  std::optional<TGBPSession> FSession;
  std::optional<TStepError> FOpenError;
  std::optional<TStepError> FLost;
  std::optional<TSectionAddress> FAnswered;  // the last section that answered a size
};

}  // namespace zub
