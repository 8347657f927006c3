#include "commands/SectionEngine.h"

#include <algorithm>

#include "device/GbpApi.h"

namespace zub {
namespace {

void Select(TNVMSection& nvm, TSectionAddress a) {
  nvm.SetSect(a.Section);
  nvm.SetSSect(a.SubSection);
}

TStepError Answered(std::int32_t code, const char* what) {
  return {TFailureKind::Refused,
          "the device library answered " + std::to_string(code) + " to " + what, code};
}

// The history hears of every whole section that passes here (device/SectionContentObserver.h).
void Tell(TNVMSection& nvm, TSectionAddress a, TContentEvent event, Bytes data, bool done) {
  ISectionContentObserver* o = nvm.ContentObserver();
  if (!o) return;
  if (done)
    o->OnContent(nvm, a, event, data);
  else
    o->OnChangeFailed(a);
}

void BeforeChange(TNVMSection& nvm, TSectionAddress a) {
  if (ISectionContentObserver* o = nvm.ContentObserver()) o->BeforeChange(nvm, a);
}

std::string MiB(std::size_t bytes) {
  return std::to_string(bytes >> 20) + " MiB";
}

}  // namespace

// A call whose link was lost answered -5 for no section of the telephone: its answer is no
// answer at all, whatever the number says.
TStepError LinkLostError(TSectionAddress a, TDeviceActivity what) {
  TStepError e{TFailureKind::LinkLost, "the telephone stopped answering (section " + a.Text() + ")",
               gbp::kNoSectionAlt};
  e.Lost = {what, a};
  return e;
}

std::string TWriteCheck::Text(std::size_t written) const {
  if (Error) return Error->Text;
  if (!DiffersAt) return {};
  if (!ReadBack)
    return "it holds " + std::to_string(Held) + " bytes after writing " + std::to_string(written) +
           " bytes";
  return "the read-back differs at offset " + std::to_string(*DiffersAt) + " (wrote " +
         std::to_string(written) + " bytes, the telephone holds " + std::to_string(Held) + ")";
}

TSizeAnswer AskSize(TNVMSection& nvm, TSectionAddress a) {
  Select(nvm, a);
  TSizeAnswer r;
  r.Address = a;
  {
    const TDeviceActivityScope sizing(TDeviceActivity::Sizing, a);
    r.Code = nvm.GetSize();
  }
  if (nvm.LinkLost()) {
    r.Error = LinkLostError(a, TDeviceActivity::Sizing);
  } else if (r.Code == gbp::kNoSection || r.Code == gbp::kNoSectionAlt) {
    r.State = TSizeState::Absent;
  } else if (r.Code == 0) {
    r.State = TSizeState::Empty;
  } else if (r.Code < 0) {
    r.Error = Answered(r.Code, "the size query");
  } else if (static_cast<std::size_t>(r.Code) > kMaxSectionBytes) {
    r.Error = TStepError{TFailureKind::TooLarge,
                         "it reports " + std::to_string(r.Code) + " bytes, more than the " +
                             MiB(kMaxSectionBytes) + " a section may hold",
                         r.Code};
  } else {
    r.State = TSizeState::Present;
    r.Size = r.Code;
  }
  return r;
}

std::int32_t ReadInto(TNVMSection& nvm, std::vector<std::uint8_t>& buffer) {
  const TDeviceActivityScope reading(TDeviceActivity::Reading, {nvm.Section(), nvm.SubSection()});
  const std::int32_t n = nvm.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  // A library that claims more than the buffer holds still delivered at most the buffer.
  buffer.resize(n < 0 ? 0 : std::min(static_cast<std::size_t>(n), buffer.size()));
  return n;
}

TSectionRead ReadSized(TNVMSection& nvm, TSectionAddress a, std::int32_t size) {
  TSectionRead r;
  r.Sized.Address = a;
  r.Sized.Code = size;
  r.Sized.Size = size;
  r.Sized.State = size == 0 ? TSizeState::Empty : TSizeState::Present;
  const auto expected = static_cast<std::size_t>(std::max(size, 0));
  if (expected > kMaxSectionBytes) {
    r.Error = TStepError{TFailureKind::TooLarge,
                         "it reports " + std::to_string(size) + " bytes, more than the " +
                             MiB(kMaxSectionBytes) + " a section may hold",
                         size};
    return r;
  }
  Select(nvm, a);
  // One byte more than the size: a section that grew since the size query fills it.
  r.Bytes.assign(expected + 1, 0);
  const std::int32_t n = ReadInto(nvm, r.Bytes);
  if (nvm.LinkLost()) {
    r.Error = LinkLostError(a, TDeviceActivity::Reading);
  } else if (n < 0) {
    r.Error = Answered(n, "the read");
  } else if (r.Bytes.size() != expected) {
    const std::size_t delivered = r.Bytes.size();
    r.Error =
        TStepError{TFailureKind::Inconsistent,
                   delivered > expected ? "it holds more than the " + std::to_string(expected) +
                                              " bytes its size query reported"
                                        : "the telephone delivered " + std::to_string(delivered) +
                                              " of its " + std::to_string(expected) + " bytes",
                   n};
  }
  if (r.Error)
    r.Bytes.clear();
  else
    Tell(nvm, a, TContentEvent::Read, r.Bytes, true);
  return r;
}

std::int32_t WriteSection(TNVMSection& nvm, TSectionAddress a, Bytes data) {
  BeforeChange(nvm, a);
  Select(nvm, a);
  const TDeviceActivityScope writing(TDeviceActivity::Writing, a);
  const std::int32_t w = nvm.Write(data.data(), static_cast<std::uint32_t>(data.size()));
  Tell(nvm, a, TContentEvent::Written, data, w >= 0 && !nvm.LinkLost());
  return w;
}

std::int32_t ClearSection(TNVMSection& nvm, TSectionAddress a) {
  BeforeChange(nvm, a);
  Select(nvm, a);
  const TDeviceActivityScope erasing(TDeviceActivity::Erasing, a);
  const std::int32_t c = nvm.Clear();
  Tell(nvm, a, TContentEvent::Erased, {}, !nvm.LinkLost());
  return c;
}

std::optional<std::size_t> FirstDifference(Bytes a, Bytes b) {
  const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  if (ia == a.end() && ib == b.end()) return std::nullopt;
  return static_cast<std::size_t>(ia - a.begin());
}

TSectionLink::TSectionLink(TCoreState& m, const std::atomic<bool>* stop) : FCore(m), FStop(stop) {
  if (StopRequested()) {
    FOpenError = TStepError{TFailureKind::Stopped, "stopped before the connection was opened"};
    return;
  }
  FCore.ForgetDeviceMessage();
  {
    const TDeviceActivityScope opening(TDeviceActivity::Opening);
    FSession.emplace(*FCore.NVM);
  }
  if (!*FSession) {
    const std::string& said = FCore.LastDeviceMessage();
    FOpenError = TStepError{TFailureKind::Unreachable,
                            said.empty() ? "the connection could not be opened" : said};
    FSession.reset();
  }
}

void TSectionLink::Close() {
  if (!FSession) return;
  const TDeviceActivityScope closing(TDeviceActivity::Closing);
  FSession.reset();
}

std::optional<TStepError> TSectionLink::Blocked() const {
  if (FLost) return FLost;
  if (StopRequested()) return TStepError{TFailureKind::Stopped, "stopped"};
  if (!FSession) return TStepError{TFailureKind::Unreachable, "the connection is closed"};
  return std::nullopt;
}

void TSectionLink::MarkLost(TSectionAddress a, TDeviceActivity what) {
  FLost = LinkLostError(a, what);
}

TSizeAnswer TSectionLink::QuerySize(TSectionAddress a) {
  if (auto blocked = Blocked()) {
    TSizeAnswer r;
    r.Address = a;
    r.Error = std::move(blocked);
    return r;
  }
  const auto start = FCore.Now();
  TSizeAnswer r = AskSize(*FCore.NVM, a);
  if (FCore.NVM->LinkLost()) {
    MarkLost(a, TDeviceActivity::Sizing);
    return r;
  }
  const bool slow = FCore.Now() - start > kSilentAnswerAfter;
  if (r.Code == gbp::kNoSectionAlt && slow) {
    if (auto failed = Probe()) {
      // The -5 was no answer: the telephone did not answer the probe either.
      if (failed->Kind == TFailureKind::LinkLost) MarkLost(a, TDeviceActivity::Sizing);
      r.State = TSizeState::Failed;
      r.Error = FLost ? FLost : failed;
      return r;
    }
  }
  if (r.Code >= 0) FAnswered = a;
  return r;
}

std::optional<TStepError> TSectionLink::Probe() {
  if (auto blocked = Blocked()) return blocked;
  if (!FAnswered) {
    // Nothing on this connection has answered yet: nothing shows that the telephone listens.
    FLost =
        TStepError{TFailureKind::LinkLost, "the telephone stopped answering", gbp::kNoSectionAlt};
    return FLost;
  }
  const TSectionAddress target = *FAnswered;
  // A lost link answers -5, never a size.
  if (AskSize(*FCore.NVM, target).Code >= 0) return std::nullopt;
  FLost = TStepError{TFailureKind::LinkLost, "the telephone stopped answering", gbp::kNoSectionAlt};
  FLost->Lost = {TDeviceActivity::Sizing, target};
  return FLost;
}

TSectionRead TSectionLink::ReadContent(const TSizeAnswer& sized) {
  if (sized.Error || !sized.HasData()) {
    TSectionRead r;
    r.Sized = sized;
    r.Error = sized.Error;
    return r;
  }
  if (auto blocked = Blocked()) {
    TSectionRead r;
    r.Sized = sized;
    r.Error = std::move(blocked);
    return r;
  }
  TSectionRead r = ReadSized(*FCore.NVM, sized.Address, sized.Size);
  r.Sized = sized;
  if (r.Error && r.Error->Kind == TFailureKind::LinkLost) FLost = r.Error;
  return r;
}

std::optional<TStepError> TSectionLink::ReadPart(TSectionAddress a,
                                                 std::vector<std::uint8_t>& buffer,
                                                 std::int32_t* answer) {
  if (auto blocked = Blocked()) {
    buffer.clear();
    return blocked;
  }
  Select(*FCore.NVM, a);
  const std::int32_t n = ReadInto(*FCore.NVM, buffer);
  if (answer) *answer = n;
  if (FCore.NVM->LinkLost()) {
    MarkLost(a, TDeviceActivity::Reading);
    return FLost;
  }
  if (n < 0) return Answered(n, "the read");
  return std::nullopt;
}

TWriteCheck TSectionLink::WriteAndCheck(TSectionAddress a, Bytes data, bool readBack) {
  TWriteCheck check;
  check.ReadBack = readBack;
  if (auto blocked = Blocked()) {
    check.Error = std::move(blocked);
    return check;
  }
  if (data.size() > kMaxSectionBytes) {
    check.Error = TStepError{TFailureKind::TooLarge,
                             std::to_string(data.size()) + " bytes are more than the " +
                                 MiB(kMaxSectionBytes) + " a section may hold"};
    return check;
  }
  const std::int32_t w = WriteSection(*FCore.NVM, a, data);
  if (FCore.NVM->LinkLost()) {
    MarkLost(a, TDeviceActivity::Writing);
    check.Error = FLost;
    return check;
  }
  if (w < 0) {
    check.Error = Answered(w, "the write");
    return check;
  }
  if (!readBack) {
    const TSizeAnswer after = QuerySize(a);
    if (after.Error) {
      check.Error = after.Error;
      check.Error->Text = "it was written, but " + check.Error->Text;
      return check;
    }
    check.Held = static_cast<std::size_t>(after.Size);
    if (check.Held != data.size()) check.DiffersAt = std::min(check.Held, data.size());
    return check;
  }
  const TSectionRead back = ReadWhole(a);
  if (back.Error) {
    check.Error = back.Error;
    check.Error->Text = "it cannot be read back: " + check.Error->Text;
    return check;
  }
  check.Held = back.Bytes.size();
  check.DiffersAt = FirstDifference(data, back.Bytes);
  return check;
}

std::optional<TStepError> TSectionLink::EraseAndCheck(TSectionAddress a) {
  if (auto blocked = Blocked()) return blocked;
  ClearSection(*FCore.NVM, a);  // the library's answer means nothing; the size afterwards tells
  if (FCore.NVM->LinkLost()) {
    MarkLost(a, TDeviceActivity::Erasing);
    return FLost;
  }
  const TSizeAnswer after = QuerySize(a);
  if (after.State == TSizeState::Empty || after.State == TSizeState::Absent) return std::nullopt;
  if (after.HasData())
    return TStepError{TFailureKind::Differs,
                      "it still holds " + std::to_string(after.Size) + " bytes after erasing"};
  TStepError e = *after.Error;
  if (e.Kind != TFailureKind::Stopped && e.Kind != TFailureKind::LinkLost)
    e.Text += " after erasing";
  return e;
}

}  // namespace zub
