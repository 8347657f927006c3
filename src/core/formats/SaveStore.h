// The save-slot store that programs keep behind their image in a section.
//
// Trailer layout (L bytes):   0..S-1 program part | records | S (u32) | 7F 41 5A 53
// Bare layout (a save-slot file): records back to back, nothing before or after.
// Record: data length n (u16), n again (u16), n data bytes. The repeated length is what
// recognises a bare store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/Bytes.h"
#include "formats/Magic.h"
#include "formats/SaveSlot.h"

namespace zub {

inline constexpr std::size_t SaveTrailerSize = 8;
inline constexpr std::size_t SaveRecordHeaderSize = 4;

// Where a well-formed store lies in an image.
struct TSaveStoreBounds {
  std::size_t Start = 0;   // offset of the first record
  std::size_t Length = 0;  // bytes of records, without the trailer
  bool Trailer = false;    // false: a bare store
};

// The store of the image: the trailer layout when the image ends with SaveAreaMagic, else the
// bare layout when its first two 16-bit values are equal. A malformed store (store start
// negative or beyond L - 8, an empty area behind a trailer, a record running past the area)
// counts as none, so nothing outside the image is ever read.
std::optional<TSaveStoreBounds> FindSaveStore(Bytes image, std::vector<TSaveSlot>* slots = nullptr);

// Fills slots (only when a store is found) and returns their count; without a store returns 0
// with saveStart = L and saveLength = 0.
std::int32_t ParseSaveSlots(Bytes image, std::vector<TSaveSlot>& slots, std::int32_t& saveStart,
                            std::int32_t& saveLength);

// Rebuilds the store of a target image behind its program part of length S. Records are
// written at S + c, c counting the bytes written; Close adds the trailer when c > 0. The
// target grows as needed but never beyond the capacity: an addition that would pass it
// writes nothing, returns false and sets TooBig. The target is never shrunk; the new image is
// its first Length() bytes.
class TSaveAreaAssembler {
 public:
  static constexpr std::size_t DefaultCapacity = 65536;

  TSaveAreaAssembler(std::vector<std::uint8_t>& target, std::size_t programLength,
                     std::size_t capacity = DefaultCapacity);

  // An item of the target itself, as parsed from it. Items go in list order, so the data
  // move forward (or stay); overlapping moves are safe.
  bool AddFromSelf(const TSaveSlot& slot);
  // An item whose data lie at slot.Offset in another buffer.
  bool AddFrom(Bytes source, const TSaveSlot& slot);
  // Records already assembled elsewhere, copied as they are.
  bool AddBlock(Bytes records);
  // Writes the trailer when anything was written. Nothing can be added afterwards.
  bool Close();

  // The write counter c: the bytes written so far, the trailer included once closed.
  std::int32_t SaveLength() const { return static_cast<std::int32_t>(FCount); }
  std::size_t Length() const { return FStart + FCount; }
  bool TooBig() const { return FTooBig; }

 private:
  bool Reserve(std::size_t bytes);
  bool AddRecord(Bytes data);

  std::vector<std::uint8_t>& FTarget;
  std::size_t FStart;
  std::size_t FCapacity;
  std::size_t FCount = 0;
  bool FTooBig = false;
  bool FClosed = false;
};

// The bare save-slot file of the selected items: their records back to back.
std::vector<std::uint8_t> WriteSaveSlotFile(Bytes image, const std::vector<TSaveSlot>& slots);

}  // namespace zub
