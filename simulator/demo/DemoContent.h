// The demo telephone's contents and the sample files, generated from code. Shared by the
// demo generator, the driver tests and the fuzzers' seed corpora.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zub::demo {

using ByteVec = std::vector<std::uint8_t>;

struct TNamedBytes {
  std::string Address;  // "2-1" for a section; unused for samples
  std::string Name;     // file name for samples
  ByteVec Bytes;
};

// A UFIF program image: tag, 16-byte name, then a body of `bodyWords` Thumb-like words that
// contains both call-stub patterns, bare firmware addresses and the model word.
ByteVec UfifProgram(std::uint32_t tag, const std::string& name, std::size_t bodyWords,
                    std::uint32_t seed);
// The image wrapped in a minimal 32-bit ELF file (program-header table at 52).
ByteVec ElfWrap(const ByteVec& image, std::uint32_t iconCodeAt20);
// Records of the given item sizes (item i filled with i + 1) and, with a program part, the
// trailer; without one the bare layout of a save-slot file.
ByteVec SaveStore(const ByteVec& programPart, const std::vector<std::uint16_t>& itemSizes,
                  bool trailer);
// A small, valid, viewable GIF89a picture.
ByteVec GifPicture(int width, int height);

std::vector<TNamedBytes> PhoneSections();
std::vector<TNamedBytes> SampleFiles();
std::string SimulatorIni();

}  // namespace zub::demo
