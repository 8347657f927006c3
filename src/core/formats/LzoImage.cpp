#include "formats/LzoImage.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <array>
#include <string>

#include "base/Convert.h"
#include "formats/SaveStore.h"
#include "formats/Ufif.h"

namespace zub {
namespace {

struct THeaderFields {
  std::array<std::uint8_t, TLZOHeader::NameSize> Name{};
  std::uint32_t Format = 0;
  std::uint32_t IconCode = DefaultIconCode;
};

// The name bytes at offset; bytes beyond the input read as 0.
void CopyName(Bytes input, std::size_t offset,
              std::array<std::uint8_t, TLZOHeader::NameSize>& name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    name[i] = FitsAt(input.size(), offset + i, 1) ? input[offset + i] : 0;
  }
}

// Anything that is neither ELF nor UFIF keeps Format 0, which no reader takes for a program.
THeaderFields HeaderFields(Bytes input, const std::function<std::uint32_t()>& askIcon) {
  THeaderFields fields;
  const auto first = load_u32le(input, 0);
  if (first == ElfMagic) {
    const std::size_t image = EmbeddedImageOffset(input);
    fields.Format = u32le_or0(input, image);
    CopyName(input, image + 4, fields.Name);
    fields.IconCode = u32le_or0(input, image + 20);
  } else if (first && (*first >> 24) == 0x20) {
    fields.Format = *first;
    CopyName(input, 4, fields.Name);
    fields.IconCode = askIcon ? askIcon() : DefaultIconCode;
  }
  return fields;
}

}  // namespace

std::uint32_t IconCodeFromCaption(std::string_view caption) {
  if (auto v = TryStrToInt("0x" + std::string(caption))) return static_cast<std::uint32_t>(*v);
  return DefaultIconCode;
}

std::optional<std::vector<std::uint8_t>> CompressLZO1X999(Bytes input) {
  if (lzo_init() != LZO_E_OK) return std::nullopt;
  std::vector<lzo_align_t> work((LZO1X_999_MEM_COMPRESS + sizeof(lzo_align_t) - 1) /
                                sizeof(lzo_align_t));
  // The worst case of LZO1X for incompressible input.
  std::vector<std::uint8_t> out(input.size() + input.size() / 16 + 64 + 3);
  static const std::uint8_t kNothing = 0;
  lzo_uint packed = 0;
  const int result = lzo1x_999_compress(input.empty() ? &kNothing : input.data(), input.size(),
                                        out.data(), &packed, work.data());
  if (result != LZO_E_OK || packed > out.size()) return std::nullopt;
  out.resize(packed);
  return out;
}

std::size_t BuildLZOImage(std::vector<std::uint8_t>& buffer, std::size_t n,
                          const std::function<std::uint32_t()>& askIcon,
                          const TLZOCompressor& compress) {
  n = std::min(n, buffer.size());
  const Bytes input(buffer.data(), n);

  // The save store behind the program travels along uncompressed.
  std::size_t tail = 0;
  if (const auto store = FindSaveStore(input); store && store->Trailer) tail = n - store->Start;
  const std::size_t program = n - tail;

  const THeaderFields fields = HeaderFields(input, askIcon);
  const auto packed = compress(input.first(program));
  if (!packed) return 0;
  const std::size_t c = packed->size();

  // Taken before the header and the compressed data overwrite it.
  const std::vector<std::uint8_t> tailBytes(input.end() - static_cast<std::ptrdiff_t>(tail),
                                            input.end());
  const std::size_t length = TLZOHeader::Size + c + tail;
  if (buffer.size() < length) buffer.resize(length);

  MutableBytes out(buffer);
  store_u32le(out, TLZOHeader::Magic, LZOMagic);
  std::ranges::copy(fields.Name, out.begin() + TLZOHeader::Name);
  store_u32le(out, TLZOHeader::Format, fields.Format);
  store_u32le(out, TLZOHeader::UnpackedLength, static_cast<std::uint32_t>(program));
  store_u32le(out, TLZOHeader::IconCode, fields.IconCode);
  std::ranges::copy(*packed, out.begin() + TLZOHeader::Size);
  if (tail > 0) {
    const std::size_t storeStart = TLZOHeader::Size + c;
    std::ranges::copy(tailBytes, out.begin() + static_cast<std::ptrdiff_t>(storeStart));
    store_u32le(out, length - SaveTrailerSize, static_cast<std::uint32_t>(storeStart));
  }
  return length;
}

}  // namespace zub
