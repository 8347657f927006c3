#include "formats/SaveStore.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>

namespace zub {
namespace {

// The records of the area [start, end), which must fill it exactly.
bool WalkRecords(Bytes image, std::size_t start, std::size_t end, std::vector<TSaveSlot>& found) {
  std::size_t p = start;
  do {
    if (!FitsAt(end, p, SaveRecordHeaderSize)) return false;
    const std::uint16_t n = *load_u16le(image, p);
    const std::size_t data = p + SaveRecordHeaderSize;
    if (!FitsAt(end, data, n)) return false;
    found.push_back({static_cast<std::int32_t>(data), n, true});
    p = data + n;
  } while (p < end);
  return true;
}

// The data of a slot inside a buffer of `size` bytes, or out_of_range: slots always come from
// a parse of that very buffer, so anything else is a fault of the caller.
std::size_t CheckedSlotOffset(std::size_t size, const TSaveSlot& slot) {
  if (slot.Offset < 0 || !FitsAt(size, static_cast<std::size_t>(slot.Offset), slot.Size)) {
    throw std::out_of_range("save slot lies outside its buffer");
  }
  return static_cast<std::size_t>(slot.Offset);
}

bool Overlaps(Bytes a, const std::vector<std::uint8_t>& b) {
  if (a.empty() || b.empty()) return false;
  const auto* aBegin = a.data();
  const auto* bBegin = b.data();
  return std::less<>{}(aBegin, bBegin + b.size()) && std::less<>{}(bBegin, aBegin + a.size());
}

}  // namespace

std::optional<TSaveStoreBounds> FindSaveStore(Bytes image, std::vector<TSaveSlot>* slots) {
  const std::size_t length = image.size();
  if (length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return std::nullopt;
  }

  TSaveStoreBounds bounds;
  if (length >= SaveTrailerSize && load_u32le(image, length - 4) == SaveAreaMagic) {
    const auto start = static_cast<std::int32_t>(*load_u32le(image, length - SaveTrailerSize));
    // A negative start, or one that leaves no room for a record, is not a store we wrote.
    if (start < 0 || static_cast<std::size_t>(start) >= length - SaveTrailerSize) {
      return std::nullopt;
    }
    bounds.Start = static_cast<std::size_t>(start);
    bounds.Length = length - SaveTrailerSize - bounds.Start;
    bounds.Trailer = true;
  } else if (length >= 4 && load_u16le(image, 0) == load_u16le(image, 2)) {
    bounds.Length = length;
  } else {
    return std::nullopt;
  }

  std::vector<TSaveSlot> found;
  if (!WalkRecords(image, bounds.Start, bounds.Start + bounds.Length, found)) return std::nullopt;
  if (slots) *slots = std::move(found);
  return bounds;
}

std::int32_t ParseSaveSlots(Bytes image, std::vector<TSaveSlot>& slots, std::int32_t& saveStart,
                            std::int32_t& saveLength) {
  std::vector<TSaveSlot> found;
  const auto bounds = FindSaveStore(image, &found);
  if (!bounds) {
    saveStart = static_cast<std::int32_t>(
        std::min<std::size_t>(image.size(), std::numeric_limits<std::int32_t>::max()));
    saveLength = 0;
    return 0;
  }
  slots = std::move(found);
  saveStart = static_cast<std::int32_t>(bounds->Start);
  saveLength = static_cast<std::int32_t>(bounds->Length);
  return static_cast<std::int32_t>(slots.size());
}

TSaveAreaAssembler::TSaveAreaAssembler(std::vector<std::uint8_t>& target, std::size_t programLength,
                                       std::size_t capacity)
    : FTarget(target), FStart(programLength), FCapacity(capacity) {
  if (programLength > target.size()) {
    throw std::out_of_range("program part is longer than its buffer");
  }
  FTooBig = programLength > capacity;
}

bool TSaveAreaAssembler::Reserve(std::size_t bytes) {
  if (FClosed) throw std::logic_error("save store already closed");
  if (FTooBig || bytes > FCapacity - FStart - FCount) {
    FTooBig = true;
    return false;
  }
  const std::size_t end = FStart + FCount + bytes;
  if (FTarget.size() < end) FTarget.resize(end);
  return true;
}

bool TSaveAreaAssembler::AddFromSelf(const TSaveSlot& slot) {
  const std::size_t source = CheckedSlotOffset(FTarget.size(), slot);
  if (!Reserve(SaveRecordHeaderSize + slot.Size)) return false;
  const std::size_t record = FStart + FCount;
  // Data first: the record header may cover bytes of the item's old place.
  if (slot.Size > 0) {
    std::memmove(FTarget.data() + record + SaveRecordHeaderSize, FTarget.data() + source,
                 slot.Size);
  }
  store_u16le(FTarget, record, slot.Size);
  store_u16le(FTarget, record + 2, slot.Size);
  FCount += SaveRecordHeaderSize + slot.Size;
  return true;
}

bool TSaveAreaAssembler::AddFrom(Bytes source, const TSaveSlot& slot) {
  const std::size_t offset = CheckedSlotOffset(source.size(), slot);
  const Bytes data = source.subspan(offset, slot.Size);
  // Growing the target would move bytes that the source still points at.
  if (Overlaps(data, FTarget)) {
    const std::vector<std::uint8_t> copy(data.begin(), data.end());
    return AddRecord(copy);
  }
  return AddRecord(data);
}

bool TSaveAreaAssembler::AddRecord(Bytes data) {
  if (!Reserve(SaveRecordHeaderSize + data.size())) return false;
  const std::size_t record = FStart + FCount;
  const auto n = static_cast<std::uint16_t>(data.size());
  store_u16le(FTarget, record, n);
  store_u16le(FTarget, record + 2, n);
  if (!data.empty()) std::memcpy(FTarget.data() + record + SaveRecordHeaderSize, data.data(), n);
  FCount += SaveRecordHeaderSize + data.size();
  return true;
}

bool TSaveAreaAssembler::AddBlock(Bytes records) {
  if (Overlaps(records, FTarget)) {
    const std::vector<std::uint8_t> copy(records.begin(), records.end());
    return AddBlock(copy);
  }
  if (!Reserve(records.size())) return false;
  if (!records.empty()) {
    std::memcpy(FTarget.data() + FStart + FCount, records.data(), records.size());
  }
  FCount += records.size();
  return true;
}

bool TSaveAreaAssembler::Close() {
  if (FClosed) return true;
  if (FCount == 0) {
    FClosed = true;
    return true;
  }
  if (!Reserve(SaveTrailerSize)) return false;
  const std::size_t trailer = FStart + FCount;
  store_u32le(FTarget, trailer, static_cast<std::uint32_t>(FStart));
  store_u32le(FTarget, trailer + 4, SaveAreaMagic);
  FCount += SaveTrailerSize;
  FClosed = true;
  return true;
}

std::vector<std::uint8_t> WriteSaveSlotFile(Bytes image, const std::vector<TSaveSlot>& slots) {
  std::vector<std::uint8_t> file;
  for (const auto& slot : slots) {
    if (!slot.Selected) continue;
    const std::size_t offset = CheckedSlotOffset(image.size(), slot);
    const std::size_t record = file.size();
    file.resize(record + SaveRecordHeaderSize + slot.Size);
    store_u16le(file, record, slot.Size);
    store_u16le(file, record + 2, slot.Size);
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), slot.Size,
                file.begin() + static_cast<std::ptrdiff_t>(record + SaveRecordHeaderSize));
  }
  return file;
}

}  // namespace zub
