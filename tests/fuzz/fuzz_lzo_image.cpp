// BuildLZOImage on any program file, with or without a save store behind it.
//
// Input: U32 icon code the icon dialog answers, Byte flags (bit 0: the compressor fails,
// bit 1: a store built from the description that follows goes behind the program, bit 2: the
// buffer is longer than the file; bits 3 to 5 all set: the tool's own compressor instead of
// the fast one of FuzzLzo.h, one input in eight, as it costs ten times as much), [store
// description], then the program bytes.
//
// The image must decompress to exactly the program part; a well-formed store must come out
// byte for byte behind the compressed data with its store start rewritten to 32 + c; the
// header fields come from the ELF image, the raw UFIF header or the defaults.
#include <lzo/lzo1x.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "FuzzLzo.h"
#include "FuzzSupport.h"
#include "formats/LzoImage.h"
#include "formats/SaveStore.h"
#include "formats/Ufif.h"

using namespace zub;
using namespace zub::fuzz;

namespace {

constexpr std::size_t kFileBuffer = 65536;

// The length of the well-formed store (records and trailer) at the end of the image, or 0.
std::size_t ReferenceTail(Bytes b) {
  const std::size_t n = b.size();
  if (n < 8 || load_u32le(b, n - 4) != SaveAreaMagic) return 0;
  const std::uint64_t start = *load_u32le(b, n - 8);
  if (start >= n - 8) return 0;
  std::uint64_t p = start;
  const std::uint64_t end = n - 8;
  do {
    if (p + 4 > end) return 0;
    p += 4 + *load_u16le(b, static_cast<std::size_t>(p));
    if (p > end) return 0;
  } while (p < end);
  return n - static_cast<std::size_t>(start);
}

std::array<std::uint8_t, 16> NameAt(Bytes b, std::uint64_t offset) {
  std::array<std::uint8_t, 16> name{};
  for (std::size_t i = 0; i < name.size(); ++i)
    if (offset + i < b.size()) name[i] = b[static_cast<std::size_t>(offset + i)];
  return name;
}

std::uint32_t U32At(Bytes b, std::uint64_t offset) {
  return offset > b.size() ? 0 : u32le_or0(b, static_cast<std::size_t>(offset));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool lzoReady = lzo_init() == LZO_E_OK;
  ZUB_CHECK(lzoReady);

  TFuzzInput in(data, size);
  const std::uint32_t askedIcon = in.U32();
  const std::uint8_t flags = in.Byte();
  std::vector<std::uint8_t> file;
  std::size_t builtProgram = 0;
  bool builtStore = false;
  if (flags & 2) {
    const TStoreShape shape = ReadStoreShape(in);
    const Bytes program = in.Rest();
    file = BuildStore(program, shape, kFileBuffer + 1);
    builtStore = !shape.Bare && !shape.Sizes.empty();
    builtProgram = program.size();
  } else {
    const Bytes rest = in.Rest();
    file.assign(rest.begin(), rest.end());
  }
  if (file.size() > kFileBuffer) return 0;  // the tool reads at most one buffer
  const std::size_t n = file.size();
  const std::vector<std::uint8_t> input = file;

  std::vector<std::uint8_t> buffer = file;
  if (flags & 4) buffer.resize(n + 100, 0xEE);

  int iconCalls = 0;
  const auto askIcon = [&] {
    ++iconCalls;
    return askedIcon;
  };

  if (flags & 1) {
    const std::vector<std::uint8_t> before = buffer;
    const auto failing = [](Bytes) { return std::optional<std::vector<std::uint8_t>>{}; };
    ZUB_CHECK(BuildLZOImage(buffer, n, askIcon, failing) == 0);
    ZUB_CHECK(buffer == before);
    return 0;
  }

  const std::size_t length = BuildLZOImage(buffer, n, askIcon, Compressor((flags & 0x38) == 0x38));
  ZUB_CHECK(length >= TLZOHeader::Size);
  ZUB_CHECK(length <= buffer.size());
  const Bytes image(buffer.data(), length);

  const std::size_t tail = ReferenceTail(input);
  if (builtStore) ZUB_CHECK(tail == n - builtProgram);
  const std::size_t program = n - tail;

  // Header.
  ZUB_CHECK(load_u32le(image, TLZOHeader::Magic) == LZOMagic);
  ZUB_CHECK(load_u32le(image, TLZOHeader::UnpackedLength) == program);
  const auto first = load_u32le(input, 0);
  std::array<std::uint8_t, 16> name{};
  std::uint32_t format = 0;
  std::uint32_t icon = DefaultIconCode;
  if (first == ElfMagic) {
    const std::uint64_t e = EmbeddedImageOffset(input);
    format = U32At(input, e);
    name = NameAt(input, e + 4);
    icon = U32At(input, e + 20);
    ZUB_CHECK(iconCalls == 0);
  } else if (first && (*first >> 24) == 0x20) {
    format = *first;
    name = NameAt(input, 4);
    icon = askedIcon;
    ZUB_CHECK(iconCalls == 1);
  } else {
    ZUB_CHECK(iconCalls == 0);
  }
  ZUB_CHECK(load_u32le(image, TLZOHeader::Format) == format);
  ZUB_CHECK(load_u32le(image, TLZOHeader::IconCode) == icon);
  ZUB_CHECK(std::equal(name.begin(), name.end(), image.begin() + TLZOHeader::Name));

  // The compressed data give back the program part, not a byte more.
  ZUB_CHECK(length >= TLZOHeader::Size + tail);
  const std::size_t c = length - TLZOHeader::Size - tail;
  std::vector<std::uint8_t> unpacked(program + 1);
  lzo_uint unpackedLength = unpacked.size();
  const int result = lzo1x_decompress_safe(image.data() + TLZOHeader::Size, c, unpacked.data(),
                                           &unpackedLength, nullptr);
  ZUB_CHECK(result == LZO_E_OK);
  ZUB_CHECK(unpackedLength == program);
  ZUB_CHECK(std::equal(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(program),
                       unpacked.begin()));

  // The store travels along unchanged, only its start moves.
  if (tail > 0) {
    const std::size_t storeStart = TLZOHeader::Size + c;
    ZUB_CHECK(std::equal(input.begin() + static_cast<std::ptrdiff_t>(program), input.end() - 8,
                         image.begin() + static_cast<std::ptrdiff_t>(storeStart)));
    ZUB_CHECK(load_u32le(image, length - 8) == storeStart);
    ZUB_CHECK(load_u32le(image, length - 4) == SaveAreaMagic);
    // And the image's store lists the same items as the file's.
    std::vector<TSaveSlot> before, after;
    ZUB_CHECK(FindSaveStore(input, &before).has_value());
    ZUB_CHECK(FindSaveStore(image, &after).has_value());
    ZUB_CHECK(before.size() == after.size());
    for (std::size_t i = 0; i < before.size(); ++i)
      ZUB_CHECK(ItemBytes(input, before[i]) == ItemBytes(image, after[i]));
  }
  return 0;
}
