// IGbpLibrary: the six entry points of the device library, however the library is reached.
// One implementation calls a library loaded into the process (TInProcessLibrary), the other
// speaks to gbp-host.exe, which serves a 32-bit Windows library from a process of its own
// (THostedLibrary, in host/). TNVMSection holds one of them and calls it alike.
#pragma once

#include <cstdint>
#include <string>

namespace zub {

class IGbpLibrary {
 public:
  virtual ~IGbpLibrary() = default;

  // Makes the library ready for InitGBPMode: the host bridge starts its host when none runs.
  // False when it cannot. A `message` set is for the user: why it cannot (none when that was
  // told before), or, on success, what did not go as it should.
  virtual bool Prepare(std::string& message) = 0;

  virtual std::int32_t InitGBPMode(std::uint8_t port) = 0;
  virtual std::int32_t EndGBPMode() = 0;
  virtual std::int32_t ReadNVMFile(std::uint8_t section, std::uint8_t subSection, void* buffer,
                                   std::uint32_t length) = 0;
  virtual std::int32_t WriteNVMFile(std::uint8_t section, std::uint8_t subSection,
                                    const void* buffer, std::uint32_t length) = 0;
  virtual std::int32_t ClearNVMFile(std::uint8_t section, std::uint8_t subSection) = 0;
  virtual std::int32_t GetNVMFileSize(std::uint8_t section, std::uint8_t subSection) = 0;

  // True when the most recent call lost the link to the telephone: the connection is gone
  // with it.
  virtual bool LastCallLost() const = 0;
};

}  // namespace zub
