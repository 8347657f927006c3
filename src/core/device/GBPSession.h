// TGBPSession: one command's connection to the telephone. Opening it calls InitGBP; the
// session that opened the connection ends it (EndGBP) when it goes, on every path, early
// returns and exceptions included. A session made while the connection is already open (a
// step inside a command that holds one) uses that connection and leaves it open.
#pragma once

#include "device/NVMSection.h"

namespace zub {

class TGBPSession {
 public:
  explicit TGBPSession(TNVMSection& nvm) : nvm_(nvm), owner_(!nvm.PortOpen()) {
    open_ = nvm_.InitGBP();
  }

  // A step that works on the caller's connection: opens it when it is not open yet, and
  // never ends it.
  static TGBPSession Join(TNVMSection& nvm) { return TGBPSession(nvm, false, true); }

  // A session whose section operations open the connection when they need it; it ends the
  // connection when it goes, whether or not the opening succeeded.
  static TGBPSession OnDemand(TNVMSection& nvm) { return TGBPSession(nvm, true, false); }
  ~TGBPSession() { Close(); }
  TGBPSession(const TGBPSession&) = delete;
  TGBPSession& operator=(const TGBPSession&) = delete;

  // False when the connection could not be opened (the component has shown its message).
  explicit operator bool() const { return open_; }

  // Ends the connection now, before the command asks the user something.
  void Close() {
    if ((open_ || onDemand_) && owner_) nvm_.EndGBP();
    open_ = false;
    onDemand_ = false;
  }

  // Points the component at a section for the next operations.
  void Select(std::int32_t section, std::int32_t subSection) {
    nvm_.SetSect(section);
    nvm_.SetSSect(subSection);
  }

 private:
  TGBPSession(TNVMSection& nvm, bool onDemand, bool open)
      : nvm_(nvm), owner_(onDemand), onDemand_(onDemand) {
    open_ = open ? nvm_.InitGBP() : true;
  }

  TNVMSection& nvm_;
  bool owner_;
  bool onDemand_ = false;
  bool open_ = false;
};

}  // namespace zub
