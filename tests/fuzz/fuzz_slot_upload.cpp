// The two assemblies that bring save items in from a second image:
//  - Upload Save Slot: the section keeps the items the user did not tick, then the ticked
//    items of the file follow, all in the section's buffer;
//  - the LZO carry-over: the old section's kept items are assembled in the old section's
//    buffer, and that block goes behind the new image's own kept items.
//
// Input: Byte flags (bit 0: the section from a store description, bit 1: the file from one),
// U32 removal mask for the section, U32 pick mask for the file, U32 keep mask for the
// carry-over, [section description], Chunk section bytes (its program part when described),
// [file description], then the file bytes.
//
// Neither may run past the 65536-byte buffer: too much is refused (TooBig), and what is
// written parses back to exactly the expected items, the program part untouched.
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "formats/SaveStore.h"

using namespace zub;
using namespace zub::fuzz;

namespace {

constexpr std::size_t kBuffer = 65536;

struct TParsed {
  std::int32_t Count = 0;
  std::vector<TSaveSlot> Slots;
  std::int32_t Start = 0;
  std::int32_t Length = 0;
};

TParsed Parse(Bytes image) {
  TParsed p;
  p.Count = ParseSaveSlots(image, p.Slots, p.Start, p.Length);
  if (p.Count == 0) p.Slots.clear();
  for (const TSaveSlot& s : p.Slots) ItemView(image, s);  // every record lies inside
  return p;
}

// The image's items, read back from what was assembled; none without a store. The items are
// views into the images, which outlive them: copying every item would cost more than the
// assembly checked.
std::vector<Bytes> ItemsOf(Bytes image, std::size_t expectedStart) {
  const TParsed p = Parse(image);
  std::vector<Bytes> items;
  if (p.Count == 0) return items;
  ZUB_CHECK(static_cast<std::size_t>(p.Start) == expectedStart);
  for (const TSaveSlot& s : p.Slots) items.push_back(ItemView(image, s));
  return items;
}

std::vector<std::uint8_t> ReadImage(TFuzzInput& in, bool described, bool chunk) {
  const TStoreShape shape = described ? ReadStoreShape(in) : TStoreShape{};
  const Bytes bytes = chunk ? in.Chunk() : in.Rest();
  std::vector<std::uint8_t> image = described
                                        ? BuildStore(bytes, shape, kBuffer)
                                        : std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  if (image.size() > kBuffer) image.resize(kBuffer);  // what a read of one buffer delivers
  return image;
}

std::size_t RecordsSize(const std::vector<Bytes>& items) {
  std::size_t n = 0;
  for (const auto& i : items) n += 4 + i.size();
  return n;
}

void UploadSaveSlot(std::vector<std::uint8_t> section, const std::vector<std::uint8_t>& file,
                    std::uint32_t removeMask, std::uint32_t pickMask) {
  const std::vector<std::uint8_t> original = section;
  const TParsed s = Parse(section);
  // Without a store the whole section is the program part.
  const std::size_t programPart = s.Count > 0 ? static_cast<std::size_t>(s.Start) : section.size();
  std::vector<Bytes> expected;
  TSaveAreaAssembler store(section, programPart);
  for (std::size_t i = 0; i < s.Slots.size(); ++i) {
    if (Picked(removeMask, i)) continue;  // ticked: removed
    expected.push_back(ItemView(original, s.Slots[i]));
    store.AddFromSelf(s.Slots[i]);
  }
  const TParsed f = Parse(file);
  for (std::size_t i = 0; i < f.Slots.size(); ++i) {
    if (!Picked(pickMask, i)) continue;
    expected.push_back(ItemView(file, f.Slots[i]));
    store.AddFrom(file, f.Slots[i]);
  }
  store.Close();

  const std::size_t needed =
      programPart + RecordsSize(expected) + (expected.empty() ? 0 : SaveTrailerSize);
  ZUB_CHECK(store.TooBig() == (needed > kBuffer));
  if (store.TooBig()) return;
  ZUB_CHECK(store.Length() == needed && needed <= kBuffer);
  ZUB_CHECK(std::equal(original.begin(),
                       original.begin() + static_cast<std::ptrdiff_t>(programPart),
                       section.begin()));
  const Bytes written(section.data(), store.Length());
  if (expected.empty()) {
    ZUB_CHECK(written.size() == programPart);
  } else {
    ZUB_CHECK(SameItems(ItemsOf(written, programPart), expected));
  }
}

void LzoCarryOver(std::vector<std::uint8_t> oldSection, std::vector<std::uint8_t> image,
                  std::uint32_t keepMask, std::uint32_t pickMask) {
  // The kept block, assembled in the old section's own buffer, without a trailer.
  std::vector<std::uint8_t> kept;
  std::vector<Bytes> keptItems;
  const std::vector<std::uint8_t> oldOriginal = oldSection;  // the kept items' bytes
  {
    const TParsed old = Parse(oldSection);
    if (old.Count > 0) {
      const auto start = static_cast<std::size_t>(old.Start);
      TSaveAreaAssembler block(oldSection, start);
      for (std::size_t i = 0; i < old.Slots.size(); ++i) {
        if (!Picked(keepMask, i)) continue;
        keptItems.push_back(ItemView(oldOriginal, old.Slots[i]));
        ZUB_CHECK(block.AddFromSelf(old.Slots[i]));  // items only move up: always fits
      }
      ZUB_CHECK(static_cast<std::size_t>(block.SaveLength()) == RecordsSize(keptItems));
      const auto begin = oldSection.begin() + static_cast<std::ptrdiff_t>(start);
      kept.assign(begin, begin + block.SaveLength());
    }
  }

  const std::vector<std::uint8_t> original = image;
  const TParsed a = Parse(image);
  const std::size_t programPart = a.Count > 0 ? static_cast<std::size_t>(a.Start) : image.size();
  std::vector<Bytes> expected;
  TSaveAreaAssembler store(image, programPart);
  for (std::size_t i = 0; i < a.Slots.size(); ++i) {
    if (!Picked(pickMask, i)) continue;
    expected.push_back(ItemView(original, a.Slots[i]));
    store.AddFromSelf(a.Slots[i]);
  }
  store.AddBlock(kept);
  store.Close();
  expected.insert(expected.end(), keptItems.begin(), keptItems.end());

  const std::size_t needed =
      programPart + RecordsSize(expected) + (expected.empty() ? 0 : SaveTrailerSize);
  ZUB_CHECK(store.TooBig() == (needed > kBuffer));
  if (store.TooBig()) return;
  ZUB_CHECK(store.Length() == needed);
  ZUB_CHECK(std::equal(original.begin(),
                       original.begin() + static_cast<std::ptrdiff_t>(programPart), image.begin()));
  const Bytes written(image.data(), store.Length());
  if (expected.empty()) {
    ZUB_CHECK(written.size() == programPart);
  } else {
    ZUB_CHECK(SameItems(ItemsOf(written, programPart), expected));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzInput in(data, size);
  const std::uint8_t flags = in.Byte();
  const std::uint32_t removeMask = in.U32();
  const std::uint32_t pickMask = in.U32();
  const std::uint32_t keepMask = in.U32();
  const std::vector<std::uint8_t> section = ReadImage(in, flags & 1, true);
  const std::vector<std::uint8_t> file = ReadImage(in, flags & 2, false);

  UploadSaveSlot(section, file, removeMask, pickMask);
  LzoCarryOver(section, file, keepMask, pickMask);
  return 0;
}
