#include "DemoContent.h"

#include <algorithm>
#include <stdexcept>

#include "base/Bytes.h"
#include "formats/LzoImage.h"
#include "formats/SaveSlot.h"

namespace zub::demo {
namespace {

void Put32(ByteVec& b, std::size_t offset, std::uint32_t v) {
  if (b.size() < offset + 4) b.resize(offset + 4);
  store_u32le(b, offset, v);
}

void Append32(ByteVec& b, std::uint32_t v) {
  Put32(b, b.size(), v);
}
void Append16(ByteVec& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutName(ByteVec& b, std::size_t offset, const std::string& name) {
  for (std::size_t i = 0; i < 16; ++i)
    b[offset + i] = i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0;
}

// A small deterministic generator, so every run writes the same telephone.
struct Lcg {
  std::uint32_t state;
  std::uint32_t Next() {
    state = state * 1664525u + 1013904223u;
    return state;
  }
};

// A 16-bit value that looks like code but never forms a firmware address with its neighbour.
std::uint16_t CodeHalfword(Lcg& rng) {
  static const std::uint16_t kOps[] = {0x2000, 0x2101, 0x1C08, 0x4770, 0xB500, 0xBD00,
                                       0x6800, 0x6008, 0x3001, 0x2800, 0xD1FA, 0x4288};
  const std::uint32_t r = rng.Next();
  return static_cast<std::uint16_t>(kOps[(r >> 8) % 12] | ((r >> 20) & 0x7));
}

ByteVec Filled(std::size_t n, std::uint32_t seed) {
  ByteVec b(n);
  Lcg rng{seed};
  for (auto& c : b) c = static_cast<std::uint8_t>(rng.Next() >> 24);
  return b;
}

ByteVec Text(const std::string& s) {
  return ByteVec(s.begin(), s.end());
}

ByteVec PreferenceRecord() {
  // "ZUB2", menu "Progs and data", reserved, library 2-17, autorun 18-9, reserved word.
  return {'Z', 'U', 'B', '2', 7, 0, 17, 2, 9, 18, 0, 0};
}

ByteVec Prg3LibraryImage(std::size_t entries) {
  ByteVec b;
  Append32(b, 3);  // the release
  Lcg rng{0x5EED};
  for (std::size_t i = 0; i < entries; ++i) Append32(b, 0x00A00000u + (rng.Next() & 0x3FFFC));
  return b;
}

std::string Prg3LibraryText(std::size_t entries) {
  std::string t = "# PRG3 extension library, generated for the demo telephone\r\nRELEASE=4\r\n";
  Lcg rng{0xF00D};
  char line[64];
  for (std::size_t i = 0; i < entries; ++i) {
    std::snprintf(line, sizeof line, "%08X entry_%03zu\r\n",
                  static_cast<unsigned>(0x00A00000u + (rng.Next() & 0x3FFFC)), i);
    t += line;
  }
  return t;
}

ByteVec UfifLibrary(std::size_t n) {
  ByteVec b = Filled(n, 0x11B);
  b[0] = 'L';
  b[1] = 'I';
  b[2] = 'B';
  b[3] = 1;
  return b;
}

ByteVec Ringer(const std::u16string& name, std::size_t n) {
  ByteVec b;
  Append32(b, 0);
  for (char16_t c : name) Append16(b, static_cast<std::uint16_t>(c));
  Append16(b, 0);
  const ByteVec tail = Filled(n > b.size() ? n - b.size() : 0, 0x21);
  b.insert(b.end(), tail.begin(), tail.end());
  return b;
}

ByteVec WithFiller(ByteVec b, int words) {
  for (int i = 0; i < words; ++i) Append16(b, 0x46C0);
  return b;
}

ByteVec Lzo(ByteVec input, std::uint32_t icon) {
  const std::size_t n = input.size();
  const std::size_t len = BuildLZOImage(input, n, [icon] { return icon; });
  if (len == 0) throw std::runtime_error("the compressor failed");
  input.resize(len);
  return input;
}

}  // namespace

ByteVec UfifProgram(std::uint32_t tag, const std::string& name, std::size_t bodyWords,
                    std::uint32_t seed) {
  ByteVec b(20 + 4 * bodyWords);
  store_u32le(b, 0, tag);
  PutName(b, 4, name);
  Lcg rng{seed};
  for (std::size_t o = 20; o + 4 <= b.size(); o += 4) {
    store_u16le(b, o, CodeHalfword(rng));
    store_u16le(b, o + 2, CodeHalfword(rng));
  }
  store_u32le(b, 20, 0xE852);  // the icon code where the image builders look for it
  store_u32le(b, 24, 0xE852);
  // Firmware calls of a UFIF 2.0 program, repeated through the image: both stub patterns with
  // their literals, bare addresses, the model word and an address no rule relocates.
  for (std::size_t base = 64; base + 96 <= b.size(); base += 1024) {
    store_u32le(b, base, 0x4801B403);
    store_u32le(b, base + 8, base == 64 ? 0x36A9D1 : 0x36B2C5);
    store_u32le(b, base + 16, 0x4809B407);
    store_u32le(b, base + 40, 0x36C0F1);
    store_u32le(b, base + 48, 0x36AC74);
    store_u32le(b, base + 52, 0x36AE18);
    store_u32le(b, base + 56, 0x820000);
    store_u32le(b, base + 60, 0x36A640);
  }
  return b;
}

ByteVec ElfWrap(const ByteVec& image, std::uint32_t iconCodeAt20) {
  constexpr std::size_t kPhOff = 52, kImage = 84;
  ByteVec b(kImage, 0);
  b[0] = 0x7F;
  b[1] = 'E';
  b[2] = 'L';
  b[3] = 'F';
  b[4] = 1;  // 32-bit
  b[5] = 1;  // little-endian
  b[6] = 1;
  store_u16le(b, 16, 2);   // executable
  store_u16le(b, 18, 40);  // ARM
  store_u32le(b, 20, 1);
  store_u32le(b, 24, 0xA0000000u + static_cast<std::uint32_t>(kImage));
  store_u32le(b, 28, kPhOff);
  store_u16le(b, 40, 52);
  store_u16le(b, 42, 32);
  store_u16le(b, 44, 1);
  store_u32le(b, kPhOff, 1);           // loadable segment
  store_u32le(b, kPhOff + 4, kImage);  // its file offset: where the image starts
  store_u32le(b, kPhOff + 16, static_cast<std::uint32_t>(image.size()));
  store_u32le(b, kPhOff + 20, static_cast<std::uint32_t>(image.size()));
  b.insert(b.end(), image.begin(), image.end());
  store_u32le(b, kImage + 20, iconCodeAt20);
  store_u32le(b, kImage + 24, iconCodeAt20);
  return b;
}

ByteVec SaveStore(const ByteVec& programPart, const std::vector<std::uint16_t>& itemSizes,
                  bool trailer) {
  ByteVec b = programPart;
  for (std::size_t i = 0; i < itemSizes.size(); ++i) {
    Append16(b, itemSizes[i]);
    Append16(b, itemSizes[i]);
    b.insert(b.end(), itemSizes[i], static_cast<std::uint8_t>(i + 1));
  }
  if (trailer) {
    Append32(b, static_cast<std::uint32_t>(programPart.size()));
    Append32(b, SaveAreaMagic);
  }
  return b;
}

ByteVec GifPicture(int width, int height) {
  ByteVec b = Text("GIF89a");
  Append16(b, static_cast<std::uint16_t>(width));
  Append16(b, static_cast<std::uint16_t>(height));
  b.push_back(0xF6);  // global colour table of 128 entries
  b.push_back(0);
  b.push_back(0);
  for (int i = 0; i < 128; ++i) {  // a blue-to-orange ramp
    b.push_back(static_cast<std::uint8_t>(i * 2));
    b.push_back(static_cast<std::uint8_t>(64 + i));
    b.push_back(static_cast<std::uint8_t>(255 - i * 2));
  }
  b.push_back(0x2C);
  Append16(b, 0);
  Append16(b, 0);
  Append16(b, static_cast<std::uint16_t>(width));
  Append16(b, static_cast<std::uint16_t>(height));
  b.push_back(0);
  // LZW with 7-bit literals: codes stay 8 bits wide as long as a clear code comes before the
  // table grows to 256 entries, so every code is one byte.
  constexpr std::uint8_t kClear = 128, kEnd = 129;
  b.push_back(7);
  ByteVec codes;
  int sinceClear = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (sinceClear == 0) codes.push_back(kClear);
      const int dx = x - width / 2, dy = y - height / 2;
      const int ring = (dx * dx + dy * dy) / 8;
      codes.push_back(static_cast<std::uint8_t>((ring * 9 + x) % 128));
      if (++sinceClear == 100) sinceClear = 0;
    }
  }
  codes.push_back(kEnd);
  for (std::size_t i = 0; i < codes.size(); i += 255) {
    const std::size_t n = std::min<std::size_t>(255, codes.size() - i);
    b.push_back(static_cast<std::uint8_t>(n));
    b.insert(b.end(), codes.begin() + static_cast<std::ptrdiff_t>(i),
             codes.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  b.push_back(0);
  b.push_back(0x3B);
  return b;
}

std::vector<TNamedBytes> PhoneSections() {
  std::vector<TNamedBytes> s;
  auto add = [&s](const std::string& address, ByteVec bytes) {
    s.push_back({address, "", std::move(bytes)});
  };
  add("2-1", UfifProgram(0x20000000, "Snake", 1500, 1));
  add("2-2", SaveStore(UfifProgram(0x20010000, "Tetris", 1250, 2), {600, 384}, true));
  add("2-3", Lzo(SaveStore(UfifProgram(0x20010000, "Chess", 3000, 3), {200}, true), 0xE86D));
  add("2-4", ElfWrap(UfifProgram(0x20000000, "ElfDemo", 900, 4), 0xE86C));
  {
    ByteVec prg3 = UfifProgram(0x30C0DE01, "Calc", 700, 5);
    add("2-5", prg3);
  }
  add("2-6", UfifProgram(0x35010002, "Notes", 600, 6));
  add("2-7", UfifProgram(0x20045604, "Clock", 800, 7));
  add("2-9", UfifProgram(0x20000000, "BigGame", 7500, 9));
  add("2-10", Lzo(Filled(3000, 10), 0xE852));
  add("2-16", Prg3LibraryImage(40));
  add("2-17", UfifLibrary(3000));
  add("2-18", PreferenceRecord());
  add("17-1", GifPicture(48, 32));
  add("17-2", Ringer(u"\u041C\u0435\u043B\u043E\u0434\u0438\u044F 1", 4000));
  {
    ByteVec pack = Filled(2500, 0x3A);
    pack[0] = 'P';
    pack[1] = 'H';
    pack[2] = 'F';
    add("17-3", pack);
  }
  {
    ByteVec book = Filled(1800, 0x4B);
    store_u32le(book, 0, 0x4B4F4F42);  // "BOOK"
    add("17-4", book);
  }
  {
    ByteVec data = Filled(900, 0x55);
    store_u32le(data, 0, 0x12345678);
    add("17-5", data);
  }
  add("18-1", SaveStore({}, {300, 200, 488}, false));
  add("18-2", Filled(500, 0x182));
  return s;
}

std::vector<TNamedBytes> SampleFiles() {
  std::vector<TNamedBytes> s;
  auto add = [&s](const std::string& name, ByteVec bytes) {
    s.push_back({"", name, std::move(bytes)});
  };
  add("snake2.prg", WithFiller(UfifProgram(0x20000000, "Snake II", 2000, 11), 6));
  add("tetris-v2.prg", UfifProgram(0x20010000, "Tetris v2", 1400, 12));
  // A name in the telephone's code page, Windows-1251: "Змейка №2".
  add("zmeyka.prg", UfifProgram(0x20010000, "\xC7\xEC\xE5\xE9\xEA\xE0 \xB9\x32", 900, 14));
  add("elfgame.elf", ElfWrap(UfifProgram(0x20000000, "ElfGame", 1000, 13), 0xE80B));
  add("extlib.lib", UfifLibrary(4000));
  add("prg3lib.txt", Text(Prg3LibraryText(60)));
  add("saves.sav", SaveStore({}, {100, 50}, false));
  add("picture.gif", GifPicture(64, 48));
  add("toobig.bin", Filled(40000, 0x7B));
  add("514lg4.lib", Text("# reference list\r\n00000000 Alpha\r\n00000000 Beta\r\n"
                         "00000000 Gamma #note\r\n"));
  add("mylib.lib", Text("# my entries\r\n0000C0DE Gamma\r\n0000BEEF Alpha\r\n"));
  return s;
}

std::string SimulatorIni() {
  return "; The simulated telephone. Sections are files in Folder, named S-SS.bin.\n"
         "[Link]\n"
         "Ports=1            ; COM ports with a telephone attached\n"
         "Answer=1           ; 0: the telephone does not answer\n"
         "InitResult=        ; when set, InitGBPMode returns this value\n"
         "Baud=0             ; emulated link speed in bit/s, 0 = no delay\n"
         "MaxTransfer=0      ; largest read or write in bytes, 0 = none\n"
         "[Memory]\n"
         "Folder=phone       ; the sections, relative to this file\n"
         "Capacity=0         ; bytes all sections together may hold, 0 = unlimited\n"
         "[Faults]\n"
         "ReadError=         ; S-SS:code list: ReadNVMFile returns code\n"
         "SizeError=         ; S-SS:code list: GetNVMFileSize returns code\n"
         "WriteKeep=         ; S-SS:bytes list: a write stores only its first bytes\n"
         "WriteFail=         ; S-SS:code list: WriteNVMFile returns code, stores nothing\n"
         "ClearFails=        ; S-SS list: ClearNVMFile leaves the section\n"
         "FailCall=          ; K:code, K:die, K:hang, K:kill-tool list: the K-th call fails\n";
}

}  // namespace zub::demo
