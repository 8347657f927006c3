// The compressors of the fuzz targets that build LZO images. The tool's own (LZO1X-999) spends
// most of its time preparing its dictionary, whatever the input, and would hold a target to a
// few thousand inputs a second; the targets take the fast LZO1X-1, which writes the same
// stream format, and the tool's own on inputs that ask for it.
#pragma once

#include <lzo/lzo1x.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "FuzzSupport.h"
#include "formats/LzoImage.h"

namespace zub::fuzz {

inline std::optional<std::vector<std::uint8_t>> CompressLZO1X1(Bytes input) {
  static const bool ready = lzo_init() == LZO_E_OK;
  ZUB_CHECK(ready);
  static std::vector<lzo_align_t> work((LZO1X_1_MEM_COMPRESS + sizeof(lzo_align_t) - 1) /
                                       sizeof(lzo_align_t));
  std::vector<std::uint8_t> out(input.size() + input.size() / 16 + 64 + 3);
  static const std::uint8_t kNothing = 0;
  lzo_uint packed = 0;
  if (lzo1x_1_compress(input.empty() ? &kNothing : input.data(), input.size(), out.data(), &packed,
                       work.data()) != LZO_E_OK)
    return std::nullopt;
  out.resize(packed);
  return out;
}

// The tool's compressor when `own`, else the fast one.
inline TLZOCompressor Compressor(bool own) {
  return own ? TLZOCompressor(CompressLZO1X999) : TLZOCompressor(CompressLZO1X1);
}

}  // namespace zub::fuzz
