#include "formats/SaveStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <vector>

namespace zub {
namespace {

using Buffer = std::vector<std::uint8_t>;

using ::testing::ElementsAre;

auto Slot(std::int32_t offset, std::uint16_t size, bool selected = true) {
  return ::testing::AllOf(::testing::Field(&TSaveSlot::Offset, offset),
                          ::testing::Field(&TSaveSlot::Size, size),
                          ::testing::Field(&TSaveSlot::Selected, selected));
}

void AppendRecord(Buffer& image, const Buffer& data) {
  const auto n = static_cast<std::uint16_t>(data.size());
  for (int i = 0; i < 2; ++i) {
    image.push_back(static_cast<std::uint8_t>(n));
    image.push_back(static_cast<std::uint8_t>(n >> 8));
  }
  image.insert(image.end(), data.begin(), data.end());
}

void AppendTrailer(Buffer& image, std::uint32_t start) {
  image.resize(image.size() + 8);
  store_u32le(image, image.size() - 8, start);
  store_u32le(image, image.size() - 4, SaveAreaMagic);
}

Buffer Filled(std::size_t n, std::uint8_t first) {
  Buffer b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(first + i * 7);
  return b;
}

// A program part whose first two 16-bit values differ, so it is never taken for a bare store.
Buffer Program(std::size_t n) {
  Buffer b = Filled(n, 0x10);
  if (n >= 4) b[0] = 0x20, b[2] = 0x21;
  return b;
}

Buffer Data(const Buffer& image, const TSaveSlot& slot) {
  return Buffer(image.begin() + slot.Offset, image.begin() + slot.Offset + slot.Size);
}

struct Parsed {
  std::int32_t count, start, length;
  std::vector<TSaveSlot> slots;
};

Parsed Parse(const Buffer& image, std::size_t length = SIZE_MAX) {
  Parsed p{};
  p.slots = {{-1, 1, false}};  // kept when no store is found
  p.count = ParseSaveSlots(Bytes(image).first(std::min(length, image.size())), p.slots, p.start,
                           p.length);
  return p;
}

// The 5,000-byte section: program 4,000, records of 600 and 384 bytes, trailer.
Buffer Section5000() {
  Buffer image = Program(4000);
  AppendRecord(image, Filled(600, 1));
  AppendRecord(image, Filled(384, 2));
  AppendTrailer(image, 4000);
  return image;
}

// The 21-byte save-slot file: records of 10 and 3 bytes.
Buffer Bare21() {
  Buffer image;
  AppendRecord(image, Filled(10, 3));
  AppendRecord(image, Filled(3, 4));
  return image;
}

TEST(SaveStoreTest, ParsesTrailerAndBareStores) {
  const Parsed section = Parse(Section5000());
  EXPECT_EQ(section.count, 2);
  EXPECT_EQ(section.start, 4000);
  EXPECT_EQ(section.length, 992);
  EXPECT_THAT(section.slots, ElementsAre(Slot(4004, 600), Slot(4608, 384)));

  const Parsed bare = Parse(Bare21());
  EXPECT_EQ(bare.count, 2);
  EXPECT_EQ(bare.start, 0);
  EXPECT_EQ(bare.length, 21);
  EXPECT_THAT(bare.slots, ElementsAre(Slot(4, 10), Slot(18, 3)));
}

TEST(SaveStoreTest, TrailerTestComesBeforeBareTest) {
  Buffer image = {1, 0, 1, 0};  // would pass the bare test
  AppendRecord(image, Filled(2, 5));
  AppendTrailer(image, 4);
  const Parsed p = Parse(image);
  EXPECT_EQ(p.count, 1);
  EXPECT_EQ(p.start, 4);
  EXPECT_THAT(p.slots, ElementsAre(Slot(8, 2)));
}

TEST(SaveStoreTest, ImagesWithoutOrWithMalformedStoreHoldNone) {
  auto section = [](auto change) {
    Buffer image = Section5000();
    change(image);
    return image;
  };
  struct Case {
    const char* what;
    Buffer image;
  };
  const Case cases[] = {
      {"LZO image", {0x4C, 0x5A, 0x4F, 0x00, 1, 2, 3, 4, 5}},
      {"raw program", {0x00, 0x00, 0x00, 0x20, 9, 9, 9, 9}},
      {"empty", {}},
      {"three bytes", {0, 0, 0}},
      {"negative store start",
       section([](Buffer& b) { store_u32le(b, b.size() - 8, 0xFFFFFFF0u); })},
      {"store start past L - 8", section([](Buffer& b) { store_u32le(b, b.size() - 8, 4993); })},
      {"empty area", section([](Buffer& b) { store_u32le(b, b.size() - 8, 4992); })},
      {"header runs past the area", section([](Buffer& b) { store_u32le(b, b.size() - 8, 4990); })},
      {"data run past the area", section([](Buffer& b) { store_u16le(b, 4604, 385); })},
      {"area ends inside a header", section([](Buffer& b) { store_u16le(b, 4604, 382); })},
      {"trailer only",
       [] {
         Buffer b;
         AppendTrailer(b, 0);
         return b;
       }()},
      {"bare record runs past the end", {5, 0, 5, 0, 1, 2, 3, 4}},
      {"bare store ends inside a header",
       [] {
         Buffer b = Bare21();
         b.push_back(0);
         return b;
       }()},
  };
  for (const auto& c : cases) {
    const Parsed p = Parse(c.image);
    EXPECT_EQ(p.count, 0) << c.what;
    EXPECT_EQ(p.start, static_cast<std::int32_t>(c.image.size())) << c.what;
    EXPECT_EQ(p.length, 0) << c.what;
    EXPECT_THAT(p.slots, ElementsAre(Slot(-1, 1, false))) << c.what;
  }
}

// Any bytes at all: a store that is found tiles its area exactly and lies inside the image.
TEST(SaveStoreTest, ParseNeverLeavesTheImage) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20000; ++round) {
    Buffer image(rng() % 40);
    for (auto& b : image) b = static_cast<std::uint8_t>(rng() % 4 ? rng() % 8 : rng());
    if (image.size() >= 8 && rng() % 2) store_u32le(image, image.size() - 4, SaveAreaMagic);
    const Parsed p = Parse(image);
    if (p.count == 0) continue;
    const bool trailer = load_u32le(image, image.size() - 4) == SaveAreaMagic;
    ASSERT_EQ(static_cast<std::size_t>(p.start + p.length) + (trailer ? 8 : 0), image.size());
    std::int32_t next = p.start;
    for (const auto& slot : p.slots) {
      ASSERT_EQ(slot.Offset, next + 4);
      ASSERT_EQ(slot.Size, *load_u16le(image, static_cast<std::size_t>(next)));
      next = slot.Offset + slot.Size;
    }
    ASSERT_EQ(next, p.start + p.length);
  }
}

TEST(SaveStoreTest, EraseOneOfTwoKeepsTheOther) {
  Buffer image = Section5000();
  const Parsed p = Parse(image);
  const Buffer kept = Data(image, p.slots[1]);
  TSaveAreaAssembler store(image, 4000);
  ASSERT_TRUE(store.AddFromSelf(p.slots[1]));
  ASSERT_TRUE(store.Close());
  EXPECT_EQ(store.Length(), 4396u);
  EXPECT_EQ(store.SaveLength(), 396);
  EXPECT_EQ(*load_u32le(image, 4388), 4000u);

  const Parsed again = Parse(image, store.Length());
  ASSERT_EQ(again.count, 1);
  EXPECT_EQ(Data(image, again.slots[0]), kept);
  EXPECT_EQ(Buffer(image.begin(), image.begin() + 4000), Program(4000));
}

TEST(SaveStoreTest, OverlappingForwardMove) {
  Buffer image = Program(100);
  AppendRecord(image, Filled(10, 6));
  AppendRecord(image, Filled(500, 7));
  AppendTrailer(image, 100);
  const Parsed p = Parse(image);
  TSaveAreaAssembler store(image, 100);
  ASSERT_TRUE(store.AddFromSelf(p.slots[1]));  // data move from 118 to 104
  ASSERT_TRUE(store.Close());
  const Parsed again = Parse(image, store.Length());
  ASSERT_EQ(again.count, 1);
  EXPECT_EQ(Data(image, again.slots[0]), Filled(500, 7));
}

TEST(SaveStoreTest, KeepingOneItemOfABareStoreAddsATrailer) {
  Buffer image = Bare21();
  const Parsed p = Parse(image);
  TSaveAreaAssembler store(image, 0);
  ASSERT_TRUE(store.AddFromSelf(p.slots[1]));
  ASSERT_TRUE(store.Close());
  const Buffer d = Filled(3, 4);
  EXPECT_EQ(Buffer(image.begin(), image.begin() + store.Length()),
            (Buffer{3, 0, 3, 0, d[0], d[1], d[2], 0, 0, 0, 0, 0x7F, 0x41, 0x5A, 0x53}));
  EXPECT_EQ(store.SaveLength(), 15);
}

TEST(SaveStoreTest, RemovingEveryItemLeavesTheProgramPartAlone) {
  Buffer image = Section5000();
  TSaveAreaAssembler store(image, 4000);
  ASSERT_TRUE(store.Close());
  EXPECT_EQ(store.Length(), 4000u);
  EXPECT_EQ(store.SaveLength(), 0);
  EXPECT_EQ(Parse(image, 4000).count, 0);
}

TEST(SaveStoreTest, ItemsFromElsewhereAndAKeptBlockFollowOwnItems) {
  // An old section whose two items are assembled into a block first.
  Buffer old = Section5000();
  const Parsed oldStore = Parse(old);
  TSaveAreaAssembler kept(old, 4000);
  for (const auto& slot : oldStore.slots) ASSERT_TRUE(kept.AddFromSelf(slot));
  const Bytes block = Bytes(old).subspan(4000, static_cast<std::size_t>(kept.SaveLength()));

  const Buffer file = Bare21();
  const Parsed fileStore = Parse(file);

  Buffer image = Program(300);
  AppendRecord(image, Filled(20, 8));
  AppendTrailer(image, 300);
  const Parsed own = Parse(image);
  TSaveAreaAssembler store(image, 300);
  ASSERT_TRUE(store.AddFromSelf(own.slots[0]));
  ASSERT_TRUE(store.AddFrom(file, fileStore.slots[1]));
  ASSERT_TRUE(store.AddBlock(block));
  ASSERT_TRUE(store.Close());
  EXPECT_EQ(store.Length(), 300u + 24 + 7 + 992 + 8);

  const Parsed again = Parse(image, store.Length());
  ASSERT_EQ(again.count, 4);
  EXPECT_EQ(again.start, 300);
  EXPECT_EQ(Data(image, again.slots[0]), Filled(20, 8));
  EXPECT_EQ(Data(image, again.slots[1]), Filled(3, 4));
  EXPECT_EQ(Data(image, again.slots[2]), Filled(600, 1));
  EXPECT_EQ(Data(image, again.slots[3]), Filled(384, 2));
}

TEST(SaveStoreTest, SourceInsideTheGrowingTargetIsCopiedFirst) {
  Buffer image = Program(50);
  AppendRecord(image, Filled(40, 9));
  image.shrink_to_fit();  // the next growth moves the storage
  const TSaveSlot slot{54, 40, true};
  TSaveAreaAssembler store(image, image.size());
  ASSERT_TRUE(store.AddFrom(Bytes(image), slot));
  ASSERT_TRUE(store.AddBlock(Bytes(image).subspan(50, 44)));
  ASSERT_TRUE(store.Close());
  const Parsed again = Parse(image, store.Length());
  ASSERT_EQ(again.count, 2);
  EXPECT_EQ(Data(image, again.slots[0]), Filled(40, 9));
  EXPECT_EQ(Data(image, again.slots[1]), Filled(40, 9));
}

TEST(SaveStoreTest, CapacityIsNeverPassed) {
  const Buffer source = [] {
    Buffer b;
    AppendRecord(b, Filled(5520, 10));
    return b;
  }();
  const TSaveSlot item{4, 5520, true};

  Buffer image = Program(60000);  // 60000 + 5524 + 8 = 65532: fits
  TSaveAreaAssembler fits(image, 60000);
  EXPECT_TRUE(fits.AddFrom(source, item));
  EXPECT_TRUE(fits.Close());
  EXPECT_FALSE(fits.TooBig());
  EXPECT_EQ(fits.Length(), 65532u);

  Buffer big = Program(60005);  // the record fits, the trailer does not
  TSaveAreaAssembler tooBig(big, 60005);
  EXPECT_TRUE(tooBig.AddFrom(source, item));
  EXPECT_FALSE(tooBig.Close());
  EXPECT_TRUE(tooBig.TooBig());
  EXPECT_EQ(big.size(), 65529u);

  Buffer small = Program(100);
  TSaveAreaAssembler limited(small, 100, 5000);
  EXPECT_FALSE(limited.AddFrom(source, item));
  EXPECT_FALSE(limited.AddBlock(source));
  EXPECT_TRUE(limited.TooBig());
  EXPECT_EQ(limited.SaveLength(), 0);
  EXPECT_EQ(small, Program(100)) << "nothing written, nothing grown";
}

TEST(SaveStoreTest, SlotsOutsideTheirBufferAreRefused) {
  Buffer image = Bare21();
  TSaveAreaAssembler store(image, 0);
  EXPECT_THROW(store.AddFromSelf({18, 4, true}), std::out_of_range);
  EXPECT_THROW(store.AddFrom(image, {-1, 1, true}), std::out_of_range);
  EXPECT_THROW(WriteSaveSlotFile(image, {{20, 2, true}}), std::out_of_range);
  EXPECT_EQ(image, Bare21());
}

TEST(SaveStoreTest, SaveSlotFileHoldsTheSelectedRecords) {
  const Buffer image = Section5000();
  Parsed p = Parse(image);
  EXPECT_EQ(WriteSaveSlotFile(image, p.slots).size(), 992u);
  p.slots[0].Selected = false;
  const Buffer file = WriteSaveSlotFile(image, p.slots);
  Buffer expected;
  AppendRecord(expected, Filled(384, 2));
  EXPECT_EQ(file, expected);
  p.slots[1].Selected = false;
  EXPECT_TRUE(WriteSaveSlotFile(image, p.slots).empty());
}

// Any store, parsed and rebuilt with a random choice of items, gives exactly the kept items.
TEST(SaveStoreTest, RebuildKeepsExactlyTheChosenItems) {
  std::mt19937 rng(42);
  for (int round = 0; round < 300; ++round) {
    const bool bare = rng() % 4 == 0;
    const std::size_t programLength = bare ? 0 : 4 + rng() % 3000;
    Buffer image = Program(programLength);
    std::vector<Buffer> items(1 + rng() % 8);
    for (auto& item : items) {
      item = Filled(rng() % 700, static_cast<std::uint8_t>(rng()));
      AppendRecord(image, item);
    }
    if (!bare) AppendTrailer(image, static_cast<std::uint32_t>(programLength));
    const Buffer original = image;

    Parsed p = Parse(image);
    ASSERT_EQ(p.count, static_cast<std::int32_t>(items.size()));
    ASSERT_EQ(p.start, static_cast<std::int32_t>(programLength));

    std::vector<Buffer> keptItems;
    TSaveAreaAssembler store(image, programLength);
    for (std::size_t i = 0; i < items.size(); ++i) {
      ASSERT_EQ(Data(original, p.slots[i]), items[i]);
      if (rng() % 2) continue;
      keptItems.push_back(items[i]);
      ASSERT_TRUE(store.AddFromSelf(p.slots[i]));
    }
    ASSERT_TRUE(store.Close());
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + programLength, image.begin()));
    if (keptItems.empty()) {
      EXPECT_EQ(store.Length(), programLength);
      continue;
    }
    const Parsed again = Parse(image, store.Length());
    ASSERT_EQ(again.count, static_cast<std::int32_t>(keptItems.size()));
    EXPECT_EQ(again.start, static_cast<std::int32_t>(programLength));
    EXPECT_EQ(again.start + again.length + 8, store.SaveLength() + again.start);
    for (std::size_t i = 0; i < keptItems.size(); ++i) {
      EXPECT_EQ(Data(image, again.slots[i]), keptItems[i]);
    }
  }
}

}  // namespace
}  // namespace zub
