// ClassifyHead on a head of any length up to 128 bytes.
//
// Input: Byte section, Byte sub-section, U32 size, Byte head length (% 129), Byte garbage,
// the head, then the row's description.
//
// The classification must use delivered bytes only: the same head is classified from an
// exactly sized buffer and from a 128-byte buffer whose bytes behind the head hold 0xFF, 0x00
// or the input's garbage byte, and all results must agree.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "formats/Classify.h"
#include "formats/IconTable.h"

using namespace zub;
using zub::fuzz::TFuzzInput;

namespace {

struct TRun {
  THeadClass Class;
  int SignatureCalls = 0;
  std::uint32_t SignatureFirst = 0;
};

TRun Classify(const THeadInput& in) {
  TRun run;
  const auto lookup = [&run](std::uint32_t first, const std::string& defaultText) {
    ++run.SignatureCalls;
    run.SignatureFirst = first;
    // A name for odd values, the default for even ones: both roads get taken.
    return (first & 1) ? "sig" + std::to_string(first) : defaultText;
  };
  run.Class = ClassifyHead(in, lookup);
  return run;
}

bool Same(const THeadClass& a, const THeadClass& b) {
  return a.Kind == b.Kind && a.Title == b.Title && a.Format == b.Format && a.Size == b.Size &&
         a.Compression == b.Compression && a.UnpackedSize == b.UnpackedSize && a.Icon == b.Icon;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzInput fin(data, size);
  THeadInput in;
  in.Section = fin.Byte();
  in.SubSection = fin.Byte();
  in.Size = static_cast<std::int32_t>(fin.U32());
  const std::size_t headLength = fin.Byte() % (kHeadSize + 1);
  const std::uint8_t garbageByte = fin.Byte();
  const Bytes head = fin.Take(headLength);
  in.Description = fin.Text(64);

  // Exactly sized: any read past the head is caught by the address sanitizer.
  const std::vector<std::uint8_t> exact(head.begin(), head.end());
  in.Head = exact;
  const TRun a = Classify(in);

  // The head at the front of a full-size buffer, garbage behind it.
  for (const std::uint8_t garbage : {std::uint8_t{0xFF}, std::uint8_t{0x00}, garbageByte}) {
    std::vector<std::uint8_t> padded(kHeadSize, garbage);
    std::copy(head.begin(), head.end(), padded.begin());
    in.Head = Bytes(padded.data(), head.size());
    const TRun b = Classify(in);
    ZUB_CHECK(Same(a.Class, b.Class));
    ZUB_CHECK(a.SignatureCalls == b.SignatureCalls);
    ZUB_CHECK(a.SignatureFirst == b.SignatureFirst);
  }

  const THeadClass& c = a.Class;
  ZUB_CHECK(c.Kind == skProgram || c.Kind == skGIF || c.Kind == skData);
  ZUB_CHECK(c.Size == in.Size);
  ZUB_CHECK(c.Icon >= -1 && c.Icon < kIconImageCount);
  ZUB_CHECK(c.Compression == 0 || c.Compression == 1);
  if (c.Kind == skProgram) ZUB_CHECK(c.Format.has_value());

  const auto first = load_u32le(exact, 0);
  // Only an LZO header makes a compressed row, and it always brings its format and length.
  ZUB_CHECK((c.Compression == 1) == (first == 0x004F5A4Cu));
  if (c.Compression == 1) ZUB_CHECK(c.Format.has_value() && c.UnpackedSize.has_value());
  if (c.Compression == 0) ZUB_CHECK(!c.UnpackedSize.has_value());
  // Program names are 16-byte fields of Windows-1251 text, decoded to UTF-8: at most 16
  // characters of at most three bytes each.
  if (c.Kind == skProgram) ZUB_CHECK(c.Title.size() <= 48);
  // The PRG3 library is recognised in its own section only (a description may read the same).
  if (a.SignatureCalls == 0 && c.Title.starts_with("< PRG3 ExtLibrary ver."))
    ZUB_CHECK(in.Section == 2 && in.SubSection == 16 && exact.size() > 16);
  // The signature name is asked at most once, for the head's first value.
  ZUB_CHECK(a.SignatureCalls <= 1);
  if (a.SignatureCalls == 1) {
    ZUB_CHECK(c.Kind == skData);
    ZUB_CHECK(a.SignatureFirst == first.value_or(0));
  }

  // Storing the result keeps the row's address and description.
  TSectInfo row;
  row.Section = in.Section;
  row.SubSection = in.SubSection;
  row.MaxSize = 1234;
  row.Description = in.Description;
  row.Format = 0xA5A5A5A5u;
  ApplyHeadClass(row, c);
  ZUB_CHECK(row.Section == in.Section && row.SubSection == in.SubSection);
  ZUB_CHECK(row.MaxSize == 1234 && row.Description == in.Description);
  ZUB_CHECK(row.Format == c.Format.value_or(0xA5A5A5A5u));
  return 0;
}
