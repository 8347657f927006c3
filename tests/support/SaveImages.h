// Builders for section images with save stores: records, the trailer, concatenation.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "base/Bytes.h"
#include "formats/Magic.h"
#include "formats/SaveSlot.h"
#include "support/TestFiles.h"

namespace zub::test {

// A save record (length twice, then data) whose data tell the items apart.
inline Buf Record(std::uint16_t n, std::uint8_t tag) {
  Buf b = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
           static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8)};
  for (std::size_t i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(tag + i * 13));
  return b;
}

// The store's trailer: its start, then the magic.
inline Buf Trailer(std::uint32_t start) {
  Buf b(8);
  store_u32le(b, 0, start);
  store_u32le(b, 4, SaveAreaMagic);
  return b;
}

// The data of that record, as a save-slot download writes it.
inline Buf Data(std::uint16_t n, std::uint8_t tag) {
  const Buf r = Record(n, tag);
  return Buf(r.begin() + 4, r.end());
}

inline Buf Cat(std::initializer_list<Buf> parts) {
  Buf out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace zub::test
