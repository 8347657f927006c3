// Who keeps the whole sections the tool moves: told of every whole section read from or
// written to the telephone, and asked before a section is overwritten or erased. The section
// engine tells it; the device component only carries it (TNVMSection::ContentObserver), so
// that every command that reaches the component reaches it too.
#pragma once

#include "base/Bytes.h"
#include "base/SectionAddress.h"

namespace zub {

class TNVMSection;

enum class TContentEvent {
  Read,     // the bytes are the section's whole content, as the telephone delivered it
  Written,  // the library took the bytes as the section's new content
  Erased,   // the section was cleared
};

class ISectionContentObserver {
 public:
  virtual ~ISectionContentObserver() = default;
  // On the open connection, before the section is written or erased.
  virtual void BeforeChange(TNVMSection& nvm, TSectionAddress a) = 0;
  virtual void OnContent(TNVMSection& nvm, TSectionAddress a, TContentEvent event, Bytes data) = 0;
  // A write or an erase failed: what the section holds now is not known.
  virtual void OnChangeFailed(TSectionAddress a) = 0;
};

}  // namespace zub
