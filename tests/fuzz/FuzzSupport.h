// Shared pieces of the fuzz targets and their seed generator: the check that aborts, a reader
// that takes structured values off the front of the fuzz input (and the writer the seed
// generator uses to lay inputs out the same way), and a builder of well-formed save stores
// from a compact description, so that short inputs reach large, valid images.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Bytes.h"
#include "formats/Magic.h"
#include "formats/SaveSlot.h"

namespace zub::fuzz {

// Aborts with a message: a violated property is a finding, whatever the build type.
[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}

#define ZUB_CHECK(cond)                                        \
  do {                                                         \
    if (!(cond)) ::zub::fuzz::Fail(__FILE__, __LINE__, #cond); \
  } while (0)

// Where targets that go through files keep them: memory-backed when the system has such a
// folder (rewriting a file on disk thousands of times a second waits on the disk), else the
// temporary folder.
inline std::filesystem::path ScratchDir() {
  std::error_code ec;
  if (std::filesystem::is_directory("/dev/shm", ec)) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

// Values taken off the front of the input; an exhausted input yields zeros and empty ranges.
class TFuzzInput {
 public:
  TFuzzInput(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const std::uint8_t b = rest_.front();
    rest_ = rest_.subspan(1);
    return b;
  }
  std::uint16_t U16() {
    const std::uint16_t lo = Byte();
    return static_cast<std::uint16_t>(lo | (Byte() << 8));
  }
  std::uint32_t U32() {
    const std::uint32_t lo = U16();
    return lo | (static_cast<std::uint32_t>(U16()) << 16);
  }
  Bytes Take(std::size_t n) {
    n = std::min(n, rest_.size());
    const Bytes out = rest_.first(n);
    rest_ = rest_.subspan(n);
    return out;
  }
  // A range preceded by its 16-bit length.
  Bytes Chunk() { return Take(U16()); }
  Bytes Rest() { return Take(rest_.size()); }
  std::string Text(std::size_t n) {
    const Bytes b = Take(n);
    return std::string(b.begin(), b.end());
  }
  std::size_t Remaining() const { return rest_.size(); }

 private:
  Bytes rest_;
};

// Lays out inputs the way TFuzzInput reads them.
class TFuzzWriter {
 public:
  TFuzzWriter& Byte(std::uint8_t v) {
    out_.push_back(v);
    return *this;
  }
  TFuzzWriter& U16(std::uint16_t v) { return Byte(static_cast<std::uint8_t>(v)).Byte(v >> 8); }
  TFuzzWriter& U32(std::uint32_t v) {
    return U16(static_cast<std::uint16_t>(v)).U16(static_cast<std::uint16_t>(v >> 16));
  }
  TFuzzWriter& Raw(Bytes b) {
    out_.insert(out_.end(), b.begin(), b.end());
    return *this;
  }
  TFuzzWriter& Raw(std::string_view s) {
    out_.insert(out_.end(), s.begin(), s.end());
    return *this;
  }
  TFuzzWriter& Chunk(Bytes b) {
    const std::size_t n = std::min<std::size_t>(b.size(), 0xFFFF);
    U16(static_cast<std::uint16_t>(n));
    return Raw(b.first(n));
  }
  const std::vector<std::uint8_t>& Data() const { return out_; }

 private:
  std::vector<std::uint8_t> out_;
};

// A store description: how many items, their sizes, and whether the store is bare.
//   Byte  flags     bit 0: bare (no program part, no trailer); bit 1: 16-bit item sizes
//   Byte  count     items, count % 17
//   Byte or U16 × count     item sizes
// Item i is filled with bytes (i * 31 + k) & 0xFF, so moved items can be told apart. Most
// stores are small (8-bit sizes), so that most inputs run fast; 16-bit sizes reach the stores
// that fill a buffer.
struct TStoreShape {
  bool Bare = false;
  std::vector<std::uint16_t> Sizes;
};

inline TStoreShape ReadStoreShape(TFuzzInput& in) {
  TStoreShape shape;
  const std::uint8_t flags = in.Byte();
  shape.Bare = (flags & 1) != 0;
  const int count = in.Byte() % 17;
  for (int i = 0; i < count; ++i) shape.Sizes.push_back((flags & 2) ? in.U16() : in.Byte());
  return shape;
}

inline void WriteStoreShape(TFuzzWriter& w, const TStoreShape& shape) {
  const bool wide = std::ranges::any_of(shape.Sizes, [](std::uint16_t s) { return s > 255; });
  w.Byte(static_cast<std::uint8_t>((shape.Bare ? 1 : 0) | (wide ? 2 : 0)))
      .Byte(static_cast<std::uint8_t>(shape.Sizes.size()));
  for (auto s : shape.Sizes) {
    if (wide)
      w.U16(s);
    else
      w.Byte(static_cast<std::uint8_t>(s));
  }
}

// The records of the shape behind the program part, with the trailer; a bare store drops the
// program part. An empty shape gives the program part alone. Only the first `limit` bytes are
// made (what a read into a buffer of that size delivers): a short description can ask for a
// megabyte, and filling it byte by byte would cost more than everything the target checks.
inline std::vector<std::uint8_t> BuildStore(Bytes programPart, const TStoreShape& shape,
                                            std::size_t limit = SIZE_MAX) {
  const bool trailer = !shape.Bare && !shape.Sizes.empty();
  std::size_t total = shape.Bare ? 0 : programPart.size();
  for (auto n : shape.Sizes) total += 4 + std::size_t{n};
  if (trailer) total += 8;
  std::vector<std::uint8_t> image(std::min(total, limit));
  std::size_t at = 0;
  // Copies what still fits and moves on by the whole length.
  const auto put = [&](const std::uint8_t* from, std::size_t n) {
    if (at < image.size()) std::copy_n(from, std::min(n, image.size() - at), image.begin() + at);
    at += n;
  };
  if (!shape.Bare) put(programPart.data(), programPart.size());
  const std::size_t start = at;
  // Byte k of item i is (i * 31 + k) & 0xFF: runs of a doubled ramp.
  static const auto ramp = [] {
    std::array<std::uint8_t, 512> r{};
    for (std::size_t k = 0; k < r.size(); ++k) r[k] = static_cast<std::uint8_t>(k);
    return r;
  }();
  for (std::size_t i = 0; i < shape.Sizes.size() && at < image.size(); ++i) {
    const std::uint16_t n = shape.Sizes[i];
    const std::uint8_t header[4] = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                                    static_cast<std::uint8_t>(n),
                                    static_cast<std::uint8_t>(n >> 8)};
    put(header, 4);
    for (std::size_t k = 0; k < n; k += 256)
      put(ramp.data() + ((i * 31 + k) & 0xFF), std::min<std::size_t>(256, n - k));
  }
  if (trailer) {
    std::uint8_t tail[8];
    store_u32le(tail, 0, static_cast<std::uint32_t>(start));
    store_u32le(tail, 4, SaveAreaMagic);
    at = total - 8;
    put(tail, 8);
  }
  return image;
}

// One save item as the checks compare them: its bytes.
using TItem = std::vector<std::uint8_t>;

// The item's bytes in the image, which must hold them.
inline Bytes ItemView(Bytes image, const TSaveSlot& slot) {
  ZUB_CHECK(slot.Offset >= 0);
  ZUB_CHECK(FitsAt(image.size(), static_cast<std::size_t>(slot.Offset), slot.Size));
  return image.subspan(static_cast<std::size_t>(slot.Offset), slot.Size);
}

inline TItem ItemBytes(Bytes image, const TSaveSlot& slot) {
  const Bytes view = ItemView(image, slot);
  return TItem(view.begin(), view.end());
}

// Whether two lists of items hold the same bytes, in the same order.
inline bool SameItems(const std::vector<Bytes>& a, const std::vector<Bytes>& b) {
  return std::ranges::equal(a, b, [](Bytes x, Bytes y) { return std::ranges::equal(x, y); });
}

// Selection bit i of a 32-bit mask, repeating for lists longer than 32.
inline bool Picked(std::uint32_t mask, std::size_t i) {
  return ((mask >> (i % 32)) & 1u) != 0;
}

}  // namespace zub::fuzz
