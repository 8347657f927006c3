// The tool's end of gbp-host.exe (see HostChannel.h): the calls on top of the platform's child
// process.
#include "device/host/HostChannel.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <span>

namespace zub {

using hostproto::TEntry;
using hostproto::TReadStatus;
using hostproto::TReply;
using hostproto::TRequest;
using hostproto::TStatus;

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

THostChannel::THostChannel() = default;

THostChannel::~THostChannel() {
  Stop();
}

bool THostChannel::Start(const THostCommand& command, std::string* error) {
  return Launch(command, error) && AwaitHello(std::nullopt, error) == THelloWait::Ready;
}

bool THostChannel::Launch(const THostCommand& command, std::string* error) {
  Stop();
  command_ = command;
  haveCommand_ = true;
  std::string why;
  auto child = MakeChildProcess();
  if (!child->Spawn(command, why)) {
    if (error) *error = why;
    return false;
  }
  starting_ = std::move(child);
  helloHave_ = 0;
  helloDeadline_.reset();
  if (command.helloTimeoutMs > 0)
    helloDeadline_ = Clock::now() + std::chrono::milliseconds(command.helloTimeoutMs);
  return true;
}

THostChannel::THelloWait THostChannel::AwaitHello(std::optional<Clock::time_point> until,
                                                  std::string* error) {
  if (child_) return THelloWait::Ready;
  if (!starting_) {
    if (error) *error = "the device library host was not started";
    return THelloWait::Failed;
  }
  const bool early = until && (!helloDeadline_ || *until < *helloDeadline_);
  {
    // The hello is taken in pieces as they come, so a wait that ends early loses nothing.
    const TInterruptibleWait interruptible;
    starting_->SetDeadline(early ? until : helloDeadline_);
    while (helloHave_ < helloBytes_.size()) {
      const std::size_t n = starting_->ReadSome(std::span(helloBytes_).subspan(helloHave_));
      if (n == 0) break;
      helloHave_ += n;
    }
    starting_->SetDeadline(std::nullopt);
  }
  THelloWait outcome = THelloWait::Ready;
  hostproto::THello hello;
  if (helloHave_ < helloBytes_.size()) {
    const bool cutShort = starting_->CutShort();
    // Only the caller's own limit passing leaves the host to go on; an interruption does not.
    if (early && cutShort && Clock::now() >= *until) return THelloWait::Pending;
    outcome = cutShort ? THelloWait::Failed : THelloWait::Ended;
    if (error) *error = "the device library host ended or did not answer";
  } else {
    hostproto::TMemorySource source(helloBytes_);
    if (hostproto::ReadHello(source, hello) != TReadStatus::Ok) {
      outcome = THelloWait::Failed;
      if (error) *error = "the device library host answered with something else than its hello";
    }
  }
  if (outcome != THelloWait::Ready) {
    starting_->Kill();
    starting_.reset();
    return outcome;
  }
  hello_ = hello;
  child_ = std::move(starting_);
  return THelloWait::Ready;
}

bool THostChannel::EnsureRunning(std::string* error) {
  if (Running()) return true;
  if (!haveCommand_) {
    if (error) *error = "no device library host was started before";
    return false;
  }
  const THostCommand command = command_;
  return Start(command, error);
}

void THostChannel::Stop() {
  if (child_) child_->Finish(kEndGraceMs);
  if (starting_) starting_->Finish(kEndGraceMs);
  child_.reset();
  starting_.reset();
  hello_ = {};
}

bool THostChannel::Running() const {
  return child_ != nullptr;
}

long THostChannel::ChildId() const {
  if (child_) return child_->Id();
  return starting_ ? starting_->Id() : 0;
}

std::chrono::milliseconds THostChannel::CallTimeLimit(std::chrono::milliseconds allowance,
                                                      std::uint64_t bytes) {
  const std::uint64_t linkMs = bytes * kBitsPerByte * 1000 / kLinkBitsPerSecond;
  return allowance + std::chrono::milliseconds(static_cast<std::int64_t>(linkMs));
}

std::int32_t THostChannel::LoseLink() {
  lost_ = true;
  if (child_) {
    // A host cut short may still be in the library's call: its input closes, so it ends the
    // library's connection and goes; one that failed by itself goes at once.
    if (child_->CutShort())
      child_->Finish(kEndGraceMs);
    else
      child_->Kill();
  }
  child_.reset();
  hello_ = {};
  return kCommError;
}

std::int32_t THostChannel::Call(const TRequest& request, const void* writeData, void* readBuffer) {
  lost_ = false;
  if (!child_) {
    lost_ = true;
    return kCommError;
  }
  if (!hello_.Has(request.entry)) return kNotServed;
  const bool moves = request.entry == TEntry::ReadNVMFile || request.entry == TEntry::WriteNVMFile;
  const TInterruptibleWait interruptible;
  child_->SetDeadline(Clock::now() + CallTimeLimit(allowance_, moves ? request.length : 0));
  const auto head = hostproto::EncodeRequest(request);
  bool sent = child_->WriteAll(head.data(), head.size());
  if (sent && request.entry == TEntry::WriteNVMFile && request.length)
    sent = child_->WriteAll(static_cast<const std::uint8_t*>(writeData), request.length);
  if (!sent) return LoseLink();
  TReply reply;
  const std::size_t capacity = request.entry == TEntry::ReadNVMFile ? request.length : 0;
  const std::span<std::uint8_t> into(static_cast<std::uint8_t*>(readBuffer), capacity);
  if (hostproto::ReadReply(*child_, request, reply, into) != TReadStatus::Ok) return LoseLink();
  child_->SetDeadline(std::nullopt);
  switch (reply.status) {
    case TStatus::Called:
      return reply.result;
    case TStatus::Missing:
      return kNotServed;
    case TStatus::NoMemory:
      return -6;  // the library's own "no memory"
  }
  return kCommError;
}

std::int32_t THostChannel::InitGBPMode(std::uint8_t port) {
  TRequest r;
  r.entry = TEntry::InitGBPMode;
  r.port = port;
  return Call(r, nullptr, nullptr);
}

std::int32_t THostChannel::EndGBPMode() {
  TRequest r;
  r.entry = TEntry::EndGBPMode;
  return Call(r, nullptr, nullptr);
}

std::int32_t THostChannel::ReadNVMFile(std::uint8_t section, std::uint8_t subSection, void* buffer,
                                       std::uint32_t length) {
  if (length && !buffer) return -7;  // as the library answers a missing buffer
  TRequest r;
  r.entry = TEntry::ReadNVMFile;
  r.section = section;
  r.subSection = subSection;
  r.length = length;
  return Call(r, nullptr, buffer);
}

std::int32_t THostChannel::WriteNVMFile(std::uint8_t section, std::uint8_t subSection,
                                        const void* buffer, std::uint32_t length) {
  if (length && !buffer) return -7;
  TRequest r;
  r.entry = TEntry::WriteNVMFile;
  r.section = section;
  r.subSection = subSection;
  r.length = length;
  return Call(r, buffer, nullptr);
}

std::int32_t THostChannel::ClearNVMFile(std::uint8_t section, std::uint8_t subSection) {
  TRequest r;
  r.entry = TEntry::ClearNVMFile;
  r.section = section;
  r.subSection = subSection;
  return Call(r, nullptr, nullptr);
}

std::int32_t THostChannel::GetNVMFileSize(std::uint8_t section, std::uint8_t subSection) {
  TRequest r;
  r.entry = TEntry::GetNVMFileSize;
  r.section = section;
  r.subSection = subSection;
  return Call(r, nullptr, nullptr);
}

void AbortHostedCall() noexcept {
  InterruptChildWaits();
}

}  // namespace zub
