// ParseSaveSlots and the store rebuild on any image, with any selection.
//
// Input: Byte flags (bit 0: build the image from a store description, bit 1: a small
// capacity), U32 selection mask (item i stays when bit i % 32 is set), U16 small capacity,
// [store description], then the image (or its program part).
//
// Every listed record must lie inside the image, back to back over the save area; rebuilding
// with the kept items must parse back to exactly those items in order, leave the program part
// as it was, and never pass the capacity (TooBig instead); the save-slot file of the kept items
// must parse back to them as well.
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "formats/SaveStore.h"

using namespace zub;
using namespace zub::fuzz;

namespace {

constexpr std::size_t kImageBuffer = 65536;

// Checks the parse against the image's layout and returns the items' bytes.
std::vector<TItem> CheckParse(Bytes image, std::int32_t count, const std::vector<TSaveSlot>& slots,
                              std::int32_t start, std::int32_t length) {
  const std::size_t n = image.size();
  ZUB_CHECK(count >= 0);
  if (count == 0) {
    ZUB_CHECK(static_cast<std::size_t>(start) == n && length == 0);
    return {};
  }
  ZUB_CHECK(static_cast<std::size_t>(count) == slots.size());
  ZUB_CHECK(start >= 0 && length > 0);
  const auto s = static_cast<std::size_t>(start);
  const auto l = static_cast<std::size_t>(length);
  ZUB_CHECK(FitsAt(n, s, l));
  if (load_u32le(image, n - 4) == SaveAreaMagic && n >= 8) {
    ZUB_CHECK(s + l + 8 == n);
    ZUB_CHECK(load_u32le(image, n - 8) == s);
  } else {
    ZUB_CHECK(s == 0 && l == n);
    ZUB_CHECK(load_u16le(image, 0) == load_u16le(image, 2));
  }
  std::vector<TItem> items;
  std::size_t p = s;
  for (const TSaveSlot& slot : slots) {
    ZUB_CHECK(slot.Selected);
    ZUB_CHECK(static_cast<std::size_t>(slot.Offset) == p + 4);
    ZUB_CHECK(load_u16le(image, p) == slot.Size);
    items.push_back(ItemBytes(image, slot));
    p += 4 + slot.Size;
  }
  ZUB_CHECK(p == s + l);
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzInput in(data, size);
  const std::uint8_t flags = in.Byte();
  const std::uint32_t mask = in.U32();
  const std::uint16_t smallCapacity = in.U16();
  std::vector<std::uint8_t> image;
  if (flags & 1) {
    const TStoreShape shape = ReadStoreShape(in);
    image = BuildStore(in.Rest(), shape, kImageBuffer + 1);
  } else {
    const Bytes rest = in.Rest();
    image.assign(rest.begin(), rest.end());
  }
  if (image.size() > kImageBuffer) return 0;
  const std::size_t capacity = (flags & 2) ? smallCapacity : TSaveAreaAssembler::DefaultCapacity;
  const std::vector<std::uint8_t> original = image;

  std::vector<TSaveSlot> slots;
  std::int32_t start = -1, length = -1;
  const std::int32_t count = ParseSaveSlots(image, slots, start, length);
  const std::vector<TItem> items = CheckParse(image, count, slots, start, length);

  // The store the image holds, as FindSaveStore sees it, is the one parsed.
  const auto bounds = FindSaveStore(image);
  ZUB_CHECK(bounds.has_value() == (count > 0));

  // Rebuild with the picked items, in place, as the erase does it.
  std::vector<TItem> kept;
  std::size_t needed = static_cast<std::size_t>(start);
  const std::size_t programPart = static_cast<std::size_t>(start);
  TSaveAreaAssembler store(image, programPart, capacity);
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (!Picked(mask, i)) continue;
    kept.push_back(items[i]);
    needed += 4 + slots[i].Size;
    store.AddFromSelf(slots[i]);
  }
  store.Close();
  if (!kept.empty()) needed += 8;

  ZUB_CHECK(store.TooBig() == (needed > capacity));
  if (store.TooBig()) return 0;
  ZUB_CHECK(store.Length() == needed);
  ZUB_CHECK(store.Length() <= capacity);
  ZUB_CHECK(image.size() >= store.Length());
  ZUB_CHECK(std::equal(original.begin(), original.begin() + start, image.begin()));

  const Bytes rebuilt(image.data(), store.Length());
  if (kept.empty()) {
    ZUB_CHECK(rebuilt.size() == programPart);
  } else {
    std::vector<TSaveSlot> again;
    std::int32_t s2 = -1, l2 = -1;
    const std::int32_t c2 = ParseSaveSlots(rebuilt, again, s2, l2);
    ZUB_CHECK(static_cast<std::size_t>(s2) == programPart);
    ZUB_CHECK(CheckParse(rebuilt, c2, again, s2, l2) == kept);
  }

  // The save-slot file of the picked items. A file whose last bytes happen to spell the
  // trailer magic is read in the trailer layout, so only the others must come back.
  for (std::size_t i = 0; i < slots.size(); ++i) slots[i].Selected = Picked(mask, i);
  const std::vector<std::uint8_t> file = WriteSaveSlotFile(original, slots);
  if (!kept.empty() && load_u32le(file, file.size() - 4) != SaveAreaMagic) {
    std::vector<TSaveSlot> fromFile;
    std::int32_t s3 = -1, l3 = -1;
    const std::int32_t c3 = ParseSaveSlots(file, fromFile, s3, l3);
    ZUB_CHECK(s3 == 0);
    ZUB_CHECK(CheckParse(file, c3, fromFile, s3, l3) == kept);
  }
  if (kept.empty()) ZUB_CHECK(file.empty());
  return 0;
}
