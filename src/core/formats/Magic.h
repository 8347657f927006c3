// The format tags and magic values the tool recognises and writes, and the sizes of its
// section buffers. All 32-bit values as read little-endian from the first bytes they tag.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zub {

// Program images and what a section's first 32-bit value says.
inline constexpr std::uint32_t ElfMagic = 0x464C457Fu;   // 7F "ELF"
inline constexpr std::uint32_t UFIF20Tag = 0x20000000u;  // UFIF 2.0; 2.1 sets byte 2 to 01
inline constexpr std::uint32_t Prg3Magic = 0x30C0DE01u;  // PRG 3 program
inline constexpr std::uint32_t LZOMagic = 0x004F5A4Cu;   // "LZO\0": an LZO image
inline constexpr std::uint32_t LibTag = 0x0042494Cu;     // "LIB" in the low three bytes
inline constexpr std::uint32_t GifTag = 0x00464947u;     // "GIF"
inline constexpr std::uint32_t PhfTag = 0x00464850u;     // "PHF": a photo pack

// The last four bytes of a section that keeps a save store behind its program: 7F 41 5A 53.
inline constexpr std::uint32_t SaveAreaMagic = 0x535A417Fu;

// Program files may end in any number of these 16-bit filler words; uploads drop them.
inline constexpr std::uint16_t FillerWord = 0x46C0u;

// The icon code of an LZO image when the user chose none: the program icon E852.
inline constexpr std::uint32_t DefaultIconCode = 0xE852u;

// The buffer most commands read a section or a file into.
inline constexpr std::size_t kSectionBufferSize = 65536;
// The largest image the section uploads write.
inline constexpr std::int32_t kMaxUploadSize = 34442;

}  // namespace zub
