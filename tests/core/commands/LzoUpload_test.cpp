#include "commands/LzoUpload.h"

#include <gtest/gtest.h>
#include <lzo/lzo1x.h>

#include <initializer_list>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "commands/SaveSlotSelection.h"
#include "commands/Scan.h"
#include "formats/IconTable.h"
#include "formats/SaveStore.h"
#include "support/CommandFixture.h"
#include "support/WatchingUI.h"

namespace zub::test {
namespace {

constexpr const char* kKeepPrompt =
    "I've found that you try to upload another version of the same program. Mark saved items "
    "you want to keep with new version of program. (this items will be placed AFTER new "
    "program's items)";
constexpr const char* kNewFilePrompt =
    "Please select save items you want to be uploaded with new version of program.";

// A UFIF program: format word, 16 name bytes, then code-like bytes with repeats.
Buf Program(std::uint32_t format, const std::string& name, std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Buf b(20, 0);
  store_u32le(b, 0, format);
  for (std::size_t i = 0; i < 16 && i < name.size(); ++i)
    b[4 + i] = static_cast<std::uint8_t>(name[i]);
  while (b.size() < n) {
    if (b.size() > 64 && rng() % 2) {
      const std::size_t from = rng() % (b.size() - 32);
      const std::size_t len = 4 + rng() % 28;
      for (std::size_t i = 0; i < len; ++i) b.push_back(b[from + i]);
    } else {
      for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(rng()));
    }
  }
  b.resize(n);
  return b;
}

// The LZO1X stream length the uploads will produce for this program part.
std::size_t PackedLength(const Buf& program) {
  const auto packed = CompressLZO1X999(program);
  return packed ? packed->size() : 0;
}

// A section written by the upload, taken apart: its header fields, the unpacked program and
// what follows the compressed data.
struct TLzoSection {
  std::uint32_t Magic = 0, Format = 0, Unpacked = 0, Icon = 0;
  std::string Name;
  Buf Program;
  Buf Tail;  // records and trailer behind the compressed data
  std::size_t StoreStart = 0;
};

TLzoSection Unpack(const Buf& s) {
  TLzoSection out;
  out.Magic = u32le_or0(s, 0);
  out.Name = load_text(s, 4, 16);
  out.Format = u32le_or0(s, 20);
  out.Unpacked = u32le_or0(s, 24);
  out.Icon = u32le_or0(s, 28);
  std::size_t end = s.size();
  if (s.size() >= 40 && load_u32le(s, s.size() - 4) == SaveAreaMagic)
    end = u32le_or0(s, s.size() - 8);
  out.StoreStart = end;
  if (end < 32 || end > s.size()) {
    ADD_FAILURE() << "store start " << end << " outside the section";
    return out;
  }
  out.Program.resize(out.Unpacked);
  lzo_uint unpacked = out.Unpacked;
  // The safe decompressor also fails when input is left over: the compressed data end
  // exactly where the store begins.
  const int r =
      lzo1x_decompress_safe(s.data() + 32, end - 32, out.Program.data(), &unpacked, nullptr);
  EXPECT_EQ(r, LZO_E_OK);
  EXPECT_EQ(unpacked, out.Unpacked);
  out.Tail.assign(s.begin() + static_cast<std::ptrdiff_t>(end), s.end());
  return out;
}

int IconItem(const char* caption) {
  for (int k = 0; k < kIconItemCount; ++k)
    if (IconCaption(k) == caption) return k;
  return -1;
}

class LzoUploadTest : public CommandFixture<WatchingUI> {
 protected:
  static constexpr int kGames = 1;  // 2-2
  static constexpr int kFree = 2;   // 2-8, absent

  void SetUp() override {
    phone.SetCatalogue({SimTelephone::Entry(2, 2, "Games"), SimTelephone::Entry(2, 8, "Free")});
    Start();
  }
  void TearDown() override { ExpectScriptPlayed(); }
  void Reset() {
    ui.ClearRecords();
    ui.Prompts.clear();
    ui.Listings.clear();
    log.Clear();
  }

  // The old version in 2-2: "Tetris" with items of 600 and 384 bytes, as a refresh shows it.
  Buf OldTetris() const {
    const Buf program = Program(0x20010000, "Tetris", 5000, 1);
    return Cat({program, Record(600, 0xA1), Record(384, 0xB2), Trailer(5000)});
  }
  void PutOldTetris() {
    phone.PutSection(2, 2, OldTetris());
    m->Row = kGames;
    RefreshActionExecute(*m);
    ASSERT_EQ(m->Sections[kGames].Title, "Tetris");
    Reset();
  }

  void AnswerSlots(std::vector<int> ticked, int result = mrOk) {
    ui.AnswerModal(TFormId::SaveSlotForm, result, [this, ticked] {
      SaveSlotDeselectAll(*m);
      for (int i : ticked) SaveSlotCheckClick(*m, i - 1, true);
    });
  }
  void AnswerUnchanged(int result = mrOk) { ui.AnswerModal(TFormId::SaveSlotForm, result); }
  void AnswerIcon(int item, int result = mrOk) {
    ui.AnswerModal(TFormId::IconForm, result, [this, item] { m->IconForm.ItemIndex = item; });
  }
  void Upload(int row, const std::string& path) {
    ui.OpenAnswers.push_back(path);
    On(row, [](TManager& m) { UploadLZOActionExecute(m); });
  }
  int WholeReads() const { return log.Reads(65536); }
};

TEST_F(LzoUploadTest, CarryOverPlacesTheKeptItemsAfterTheNewOnes) {
  struct Case {
    const char* name;
    bool newStore;          // the new file brings an item of its own
    std::vector<int> keep;  // old items ticked in the keep prompt
    Buf tailAfter;          // expected records behind the new program (trailer added below)
  };
  const std::vector<Case> cases = {
      {"new item, old slot 2 kept", true, {2}, Cat({Record(40, 0x11), Record(384, 0xB2)})},
      {"no new store, both old kept", false, {1, 2}, Cat({Record(600, 0xA1), Record(384, 0xB2)})},
      {"no new store, nothing kept", false, {}, Buf{}},
  };
  const Buf program = Program(0x20010000, "Tetris v2", 5600, 7);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PutOldTetris();
    const Buf file = c.newStore ? Cat({program, Record(40, 0x11), Trailer(5600)}) : program;
    AnswerIcon(IconItem("E80A"));
    AnswerSlots(c.keep);
    if (c.newStore) AnswerUnchanged();
    Upload(kGames, PutFile("tetris.prg", file));

    const Buf written = *phone.Section(2, 2);
    const TLzoSection s = Unpack(written);
    EXPECT_EQ(s.Magic, LZOMagic);
    EXPECT_EQ(s.Name, "Tetris v2");
    EXPECT_EQ(s.Format, 0x20010000u);
    EXPECT_EQ(s.Unpacked, 5600u);
    EXPECT_EQ(s.Icon, 0xE80Au);
    EXPECT_EQ(s.Program, program);
    const Buf tail = c.tailAfter.empty()
                         ? Buf{}
                         : Cat({c.tailAfter, Trailer(static_cast<std::uint32_t>(s.StoreStart))});
    EXPECT_EQ(s.Tail, tail);
    if (c.tailAfter.empty()) {
      EXPECT_EQ(written.size(), 32 + PackedLength(program));
    }

    std::vector<std::string> prompts = {kKeepPrompt};
    if (c.newStore) prompts.push_back(kNewFilePrompt);
    EXPECT_EQ(ui.Prompts, prompts);
    ASSERT_GE(ui.Listings.size(), 1u);
    ASSERT_EQ(ui.Listings[0].size(), 2u);
    EXPECT_EQ(ui.Listings[0][0].Text, "Slot 1, Size: 600 bytes");
    EXPECT_EQ(ui.Listings[0][1].Text, "Slot 2, Size: 384 bytes");
    EXPECT_EQ(ui.Boxes, std::vector<TBox>{kUploadedBox});
    EXPECT_EQ(ui.StatusLog, (std::vector<std::string>{"Uploading data...",
                                                      "Refreshing section 2-2...", "Uploaded!"}));
    // The read opens the connection itself; each phase closes it again.
    EXPECT_EQ(log.Entries(), (std::vector<std::string>{
                                 "InitGBPMode", "ReadNVMFile", "EndGBPMode", "InitGBPMode",
                                 "WriteNVMFile", "GetNVMFileSize", "ReadNVMFile", "EndGBPMode"}));
    EXPECT_EQ(WholeReads(), 1);
    const TSectInfo& row = m->Sections[kGames];
    EXPECT_EQ(row.Size, static_cast<std::int32_t>(written.size()));
    EXPECT_EQ(row.Compression, 1);
    EXPECT_EQ(row.Title, "Tetris v2");
  }
}

TEST_F(LzoUploadTest, CarryOverOnlyForImagesUpTo21000Bytes) {
  const Buf program = Program(0x20010000, "Tetris v2", 3000, 9);
  const std::size_t c = PackedLength(program);
  for (const std::size_t built : {std::size_t{21000}, std::size_t{21001}}) {
    SCOPED_TRACE(built);
    PutOldTetris();
    // The file's own store makes the LZO image exactly `built` bytes long.
    const auto n = static_cast<std::uint16_t>(built - 32 - c - 12);
    const Buf file = Cat({program, Record(n, 0x33), Trailer(3000)});
    AnswerIcon(-1);
    const bool carry = built <= 21000;
    if (carry) AnswerUnchanged();  // keep both old items
    AnswerUnchanged();
    Upload(kGames, PutFile("v2.prg", file));
    const Buf written = *phone.Section(2, 2);
    const TLzoSection s = Unpack(written);
    EXPECT_EQ(WholeReads(), carry ? 1 : 0);
    EXPECT_EQ(ui.Prompts.size(), carry ? 2u : 1u);
    const Buf records =
        carry ? Cat({Record(n, 0x33), Record(600, 0xA1), Record(384, 0xB2)}) : Record(n, 0x33);
    EXPECT_EQ(s.Tail, Cat({records, Trailer(static_cast<std::uint32_t>(32 + c))}));
    EXPECT_EQ(s.Icon, DefaultIconCode);
  }
}

TEST_F(LzoUploadTest, SameProgramCompare) {
  struct Case {
    std::string name;  // the program's 16 name bytes (shorter: NUL-padded)
    std::string title;
    bool same;
  };
  const std::vector<Case> cases = {
      {"Tetris v2", "Tetris", true},
      {"TetriX", "Tetris", true},  // only the sixth character differs
      {"Tetri", "Tetris", true},
      {"Tet", "Tet", true},
      {"Tetra", "Tetris", false},
      {"tetris", "Tetris", false},
      {"Tet", "Tetris", false},
      {"Tetris", "Tet", false},
      {"", "", false},  // two empty names name nothing
      {"", "< Empty >", false},
      {std::string("Tetri\0s", 7), std::string("Tetri\0x", 7), true},
      {"ABCDEFGHIJKLMNOP", "ABCDE", true},
  };
  for (const auto& c : cases) {
    Buf header(32, 0);
    for (std::size_t i = 0; i < c.name.size(); ++i)
      header[4 + i] = static_cast<std::uint8_t>(c.name[i]);
    EXPECT_EQ(IsSameProgram(header, c.title), c.same) << c.name << " / " << c.title;
  }
  // A header too short for its name holds none.
  EXPECT_FALSE(IsSameProgram(Buf{0x4C, 0x5A, 0x4F, 0x00}, ""));
}

TEST_F(LzoUploadTest, DataUploadedToAnUnscannedRowIsNoCarryOver) {
  // Neither ELF nor UFIF: no name, no icon question, a format no reader takes for a program.
  phone.PutSection(2, 2, OldTetris());
  ASSERT_EQ(m->Sections[kGames].Title, "");
  const Buf data = Random(3000, 4);
  Upload(kGames, PutFile("data.bin", data));
  EXPECT_EQ(WholeReads(), 0);
  EXPECT_TRUE(ui.ModalShown.empty());  // no icon dialog, no store to list
  const TLzoSection s = Unpack(*phone.Section(2, 2));
  EXPECT_EQ(s.Name, "");
  EXPECT_EQ(s.Format, 0u);
  EXPECT_EQ(s.Icon, DefaultIconCode);
  EXPECT_EQ(s.Program, data);
  EXPECT_EQ(m->Sections[kGames].Kind, skData);
  EXPECT_EQ(m->Sections[kGames].Title, "< Data >");
  EXPECT_EQ(ui.LastStatus(), "Uploaded!");
}

TEST_F(LzoUploadTest, SizeLimit) {
  const Buf program = Program(0x20010000, "Runner", 2000, 3);
  const std::size_t c = PackedLength(program);
  struct Case {
    const char* name;
    Buf file;
    bool store;
    bool uploaded;
  };
  auto sized = [&](std::size_t total) {
    const auto n = static_cast<std::uint16_t>(total - 32 - c - 12);
    return Cat({program, Record(n, 0x44), Trailer(2000)});
  };
  const std::vector<Case> cases = {
      {"34442", sized(34442), true, true},
      {"34443", sized(34443), true, false},
      // Incompressible and a full buffer: the image cannot even be assembled in 65,536 bytes.
      {"full buffer", Cat({Program(0x20010000, "Noise", 20, 1), Random(65516, 5)}), false, false},
  };
  for (const auto& c2 : cases) {
    SCOPED_TRACE(c2.name);
    phone.RemoveSection(2, 8);
    Reset();
    AnswerIcon(-1, mrCancel);
    if (c2.store) AnswerUnchanged();
    Upload(kFree, PutFile("big.prg", c2.file));
    EXPECT_EQ(WholeReads(), 0);  // the row's title is empty: no carry-over
    if (c2.uploaded) {
      EXPECT_EQ(phone.Section(2, 8)->size(), 34442u);
      EXPECT_EQ(ui.Boxes, std::vector<TBox>{kUploadedBox});
    } else {
      EXPECT_FALSE(phone.Section(2, 8).has_value());
      EXPECT_EQ(ui.Boxes, std::vector<TBox>{kTooBigBox});
      EXPECT_EQ(ui.StatusLog, std::vector<std::string>{"Uploading data..."});
      EXPECT_TRUE(log.Calls.empty());
    }
  }
}

TEST_F(LzoUploadTest, IconChoice) {
  const Buf program = Program(0x20010000, "Pong", 1200, 2);
  const std::string path = PutFile("pong.prg", program);
  struct Case {
    int item;
    int result;
    std::uint32_t icon;
  };
  const std::vector<Case> cases = {
      {IconItem("E80A"), mrOk, 0xE80A},
      {IconItem("E80A"), mrCancel, 0xE852},
      {-1, mrOk, 0xE852},
  };
  for (const auto& c : cases) {
    Reset();
    AnswerIcon(c.item, c.result);
    Upload(kFree, path);
    EXPECT_EQ(ui.ModalShown, std::vector<TFormId>{TFormId::IconForm});
    const TLzoSection s = Unpack(*phone.Section(2, 8));
    EXPECT_EQ(s.Icon, c.icon) << c.item << " " << c.result;
    EXPECT_EQ(s.Program, program);
  }
  // An ELF file brings its own icon code (at the image's offset 20): no dialog.
  Buf elf(84, 0);
  store_u32le(elf, 0, 0x464C457F);
  store_u32le(elf, 28, 52);
  store_u32le(elf, 56, 84);
  Buf image = Program(0x20010000, "ElfPong", 900, 8);
  store_u32le(image, 20, 0xE86C);
  elf.insert(elf.end(), image.begin(), image.end());
  Reset();
  Upload(kFree, PutFile("pong.elf", elf));
  EXPECT_TRUE(ui.ModalShown.empty());
  const TLzoSection s = Unpack(*phone.Section(2, 8));
  EXPECT_EQ(s.Icon, 0xE86Cu);
  EXPECT_EQ(s.Name, "ElfPong");
  EXPECT_EQ(s.Program, elf);
}

TEST_F(LzoUploadTest, Ufif20AnsweredNoOrCancel) {
  Buf program = Program(0x20000000, "Snake", 1500, 5);
  // Two filler words at the end are dropped before compressing.
  const std::string path = PutFile("snake.prg", Cat({program, Buf{0xC0, 0x46, 0xC0, 0x46}}));

  ui.AnswerModal(TFormId::OKBottomDlg, mrNo);
  AnswerIcon(-1);
  Upload(kFree, path);
  const TLzoSection s = Unpack(*phone.Section(2, 8));
  EXPECT_EQ(s.Format, 0x20000000u);
  EXPECT_EQ(s.Program, program);
  EXPECT_EQ(m->Sections[kFree].Format, 0x20000000u);

  phone.RemoveSection(2, 8);
  Reset();
  ui.AnswerModal(TFormId::OKBottomDlg, mrCancel);
  Upload(kFree, path);
  EXPECT_EQ(ui.ModalShown, std::vector<TFormId>{TFormId::OKBottomDlg});
  EXPECT_FALSE(phone.Section(2, 8).has_value());
  EXPECT_TRUE(log.Calls.empty());
}

TEST_F(LzoUploadTest, CancelledSelections) {
  const Buf program = Program(0x20010000, "Tetris v2", 4000, 11);
  const Buf file = Cat({program, Record(40, 0x11), Record(20, 0x22), Trailer(4000)});
  const std::string path = PutFile("v2.prg", file);

  // Cancel in the keep prompt keeps no old item; the new file's items are chosen as usual.
  PutOldTetris();
  AnswerIcon(-1);
  AnswerUnchanged(mrCancel);
  AnswerSlots({2});
  Upload(kGames, path);
  TLzoSection s = Unpack(*phone.Section(2, 2));
  EXPECT_EQ(s.Tail, Cat({Record(20, 0x22), Trailer(static_cast<std::uint32_t>(s.StoreStart))}));

  // Cancel in the new file's prompt: the image as built, its own store whole, nothing kept.
  PutOldTetris();
  AnswerIcon(-1);
  AnswerUnchanged();
  AnswerUnchanged(mrCancel);
  Upload(kGames, path);
  s = Unpack(*phone.Section(2, 2));
  EXPECT_EQ(s.Tail, Cat({Record(40, 0x11), Record(20, 0x22),
                         Trailer(static_cast<std::uint32_t>(s.StoreStart))}));
  EXPECT_EQ(ui.LastStatus(), "Uploaded!");
}

TEST_F(LzoUploadTest, CarryOverReadFailures) {
  const std::string path = PutFile("v2.prg", Program(0x20010000, "Tetris v2", 4000, 11));
  PutOldTetris();
  phone.SetFault("ReadError", "2-2:-10");
  AnswerIcon(-1);
  Upload(kGames, path);
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "Error reading section 2-2"}}));
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);
  EXPECT_EQ(phone.Section(2, 2), OldTetris());
  EXPECT_EQ(ui.StatusLog, std::vector<std::string>{"Uploading data..."});

  // The connection cannot be opened: the component's message, then ours.
  Reset();
  phone.SetFault("ReadError", "");
  phone.SetSim("Link", "Answer", "0");
  AnswerIcon(-1);
  Upload(kGames, path);
  ASSERT_EQ(ui.Boxes.size(), 2u);
  EXPECT_EQ(ui.Boxes[0].Caption, "ERROR");
  EXPECT_EQ(ui.Boxes[1], (TBox{"ERROR", "Error reading section 2-2"}));
  EXPECT_EQ(log.Count("WriteNVMFile"), 0);
  EXPECT_EQ(phone.Section(2, 2), OldTetris());
}

TEST_F(LzoUploadTest, WriteFailures) {
  const std::string path = PutFile("pong.prg", Program(0x20010000, "Pong", 3000, 2));
  phone.SetFault("WriteKeep", "2-8:100");
  AnswerIcon(-1);
  Upload(kFree, path);
  EXPECT_EQ(ui.Boxes, std::vector<TBox>{kUploadErrorBox});
  EXPECT_EQ(ui.LastStatus(), "Upload error!");
  EXPECT_EQ(m->Sections[kFree].Size, 100);

  // A compressor that fails: nothing reaches the telephone.
  Reset();
  phone.SetFault("WriteKeep", "");
  AnswerIcon(-1);
  ui.OpenAnswers.push_back(path);
  m->Row = kFree;
  UploadLZOActionExecute(*m, [](Bytes) { return std::optional<Buf>(); });
  EXPECT_EQ(ui.Boxes, (std::vector<TBox>{{"ERROR", "LZO compression error!"}}));
  EXPECT_TRUE(log.Calls.empty());
  EXPECT_EQ(phone.Section(2, 8)->size(), 100u);

  // The open dialog cancelled, or no current row: nothing at all.
  Reset();
  ui.OpenAnswers.push_back(std::nullopt);
  UploadLZOActionExecute(*m);
  m->Row = 0;
  UploadLZOActionExecute(*m);
  EXPECT_TRUE(ui.StatusLog.empty());
  EXPECT_EQ(ui.OpenFilters.size(), 1u);
  EXPECT_TRUE(log.Calls.empty());
}

}  // namespace
}  // namespace zub::test
