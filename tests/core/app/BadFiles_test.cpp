// Bad files for every upload command: empty, tiny, odd, filler only, at and one past each
// limit, ELF files whose header fields point anywhere, save stores whose lengths lie, and
// paths that cannot be opened or are no regular file (a folder, a pipe with no writer, a
// device). Each file meets each command; the expectation comes from the
// command's own rules (an oracle per command below), and every run must end with the stated
// message or the exception box, nothing written when the command refuses, and the
// connection closed. The suite also runs under the sanitizers.
#include <gtest/gtest.h>
#include <lzo/lzo1x.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Actions.h"
#include "commands/SaveSlotSelection.h"
#include "formats/LzoImage.h"
#include "support/CommandFixture.h"
#include "support/WatchingUI.h"

namespace zub::test {
namespace {

constexpr std::size_t kFileBuffer = 65536;
constexpr std::size_t kMaxUpload = 34442;
constexpr std::size_t kMaxLibrary = 21504;
constexpr const char* kNoNumbers = "Can't uplod - no numbers in library file!";

// ---------------------------------------------------------------------------------------
// Files

// Bytes that do not compress, starting like neither a program nor a store.
Buf Noise(std::size_t n, unsigned seed) {
  Buf b = Random(n, seed);
  for (std::size_t i = 0; i < 4 && i < n; ++i) b[i] = static_cast<std::uint8_t>(i + 1);
  if (n >= 2 && b[n - 2] == 0xC0 && b[n - 1] == 0x46) b[n - 1] = 0;
  return b;
}

Buf Text(const std::string& s) {
  return Buf(s.begin(), s.end());
}

// What a PRG3 library upload is to do with a file.
struct TPrg3 {
  enum Kind { Image, TooBig, BadRelease, TextTooLong, Unknown } Kind = Unknown;
  Buf Words;
};

struct TFile {
  std::string Name;
  Buf Bytes;
  enum Kind { Regular, Missing, Directory, Pipe, Device } Kind = Regular;
  // Known by construction, for the oracles and the scripted answers:
  bool Ufif20 = false;                      // an upload offers the conversion
  std::optional<std::size_t> ImageAt;       // ELF: where the embedded image starts
  std::vector<Buf> Items;                   // what a save-slot parse of the first 64 KiB finds
  std::optional<std::size_t> TrailerStart;  // the store start of a trailer-layout store
  TPrg3 Prg3;
};

TFile File(std::string name, Buf bytes, decltype(TFile::Kind) kind = TFile::Regular) {
  TFile f;
  f.Name = std::move(name);
  f.Bytes = std::move(bytes);
  f.Kind = kind;
  return f;
}

// An ELF file: magic, the program-header table offset P at 28, the first segment's offset E
// at P + 4 (where it fits), a UFIF 2.0 image at 128 when the file is long enough.
TFile Elf(const std::string& name, std::size_t length, std::uint32_t p, std::uint32_t e) {
  TFile f = File(name, Pattern(length, 40));
  store_u32le(f.Bytes, 0, 0x464C457F);
  store_u32le(f.Bytes, 28, p);
  if (p <= 120) store_u32le(f.Bytes, std::size_t{p} + 4, e);
  if (length >= 160) {
    store_u32le(f.Bytes, 128, 0x20000000);
    const std::string prog = "ElfProg";
    std::copy(prog.begin(), prog.end(), f.Bytes.begin() + 132);
    for (std::size_t i = 132 + prog.size(); i < 148; ++i) f.Bytes[i] = 0;
  }
  // Where the image really starts, by the rule: E when P <= 120, else 0; a field that does
  // not fit in the file reads as 0 (a file too short for P has P = 0).
  const std::uint32_t storedP = u32le_or0(f.Bytes, 28);
  std::size_t image = 0;
  if (storedP <= 120) image = u32le_or0(f.Bytes, std::size_t{storedP} + 4);
  f.ImageAt = image;
  f.Ufif20 = load_u32le(f.Bytes, image) == 0x20000000u;
  return f;
}

// A file that ends like a store, but whose store start or lengths lie.
TFile LyingStore(const std::string& name, Buf bytes) {
  return File(name, std::move(bytes));
}

// A trailer-layout file: program part, records, trailer.
TFile Stored(const std::string& name, const Buf& program,
             std::vector<std::pair<std::uint16_t, std::uint8_t>> records) {
  TFile f = File(name, program);
  for (const auto& [n, tag] : records) {
    const Buf r = Record(n, tag);
    f.Bytes.insert(f.Bytes.end(), r.begin(), r.end());
    f.Items.push_back(Data(n, tag));
  }
  const Buf t = Trailer(static_cast<std::uint32_t>(program.size()));
  f.Bytes.insert(f.Bytes.end(), t.begin(), t.end());
  f.TrailerStart = program.size();
  return f;
}

std::string Prg3Line(std::uint32_t v) {
  char line[40];
  std::snprintf(line, sizeof line, "%08X value\r\n", v);
  return line;
}

// RELEASE=3 and words - 1 values.
TFile Prg3File(const std::string& name, std::size_t words) {
  std::string text = "RELEASE=3\r\n; the table\r\n";
  Buf image(4);
  store_u32le(image, 0, 3);
  for (std::size_t i = 1; i < words; ++i) {
    const auto v = static_cast<std::uint32_t>(0x00A00000u + i * 0x1111u);
    text += Prg3Line(v);
    image.resize(image.size() + 4);
    store_u32le(image, image.size() - 4, v);
  }
  TFile f = File(name, Text(text));
  f.Prg3 = words > 512 ? TPrg3{TPrg3::TooBig, {}} : TPrg3{TPrg3::Image, image};
  return f;
}

// A PRG3 text of exactly `bytes` bytes: as many value lines as fit, then a comment line.
TFile Prg3FileOfSize(const std::string& name, std::size_t bytes) {
  const std::size_t head = 24, line = 16;  // "RELEASE=3", "; the table"; one value line
  std::size_t words = 1 + (bytes - head) / line;
  if ((bytes - head) % line < 3) --words;
  TFile f = Prg3File(name, words);
  const std::size_t rest = bytes - f.Bytes.size();
  f.Bytes = Cat({f.Bytes, Text(";" + std::string(rest - 3, 'x') + "\r\n")});
  return f;
}

// A random program part followed by one record, sized so that its LZO image (header,
// compressed program, the record, the trailer) is exactly `imageLength` bytes.
TFile LzoSized(const std::string& name, std::size_t imageLength) {
  const Buf program = Noise(30000, 77);
  const std::size_t fixed = 32 + CompressLZO1X999(program).value().size() + 4 + 8;
  return Stored(name, program, {{static_cast<std::uint16_t>(imageLength - fixed), 0x62}});
}

std::vector<TFile> Files() {
  std::vector<TFile> files;
  const auto add = [&files](TFile f) { files.push_back(std::move(f)); };

  {
    TFile f = File("Empty", {});
    f.Prg3 = {TPrg3::Image, {}};
    add(f);
  }
  {
    TFile f = File("OneByte", {'Z'});
    f.Prg3 = {TPrg3::Image, {}};
    add(f);
  }
  add(File("OddLength", Pattern(333, 13)));
  {
    TFile f = File("OnlyFiller", Filler(200));
    f.Prg3 = {TPrg3::Image, {}};  // one line without a space
    add(f);
  }
  add(File("LongerThanTheBuffer", Pattern(70000, 14)));
  add(File("Missing", {}, TFile::Missing));
  add(File("Directory", {}, TFile::Directory));
#if !defined(_WIN32)  // named pipes and devices in the file system are POSIX's
  add(File("Pipe", {}, TFile::Pipe));
  add(File("Device", {}, TFile::Device));  // a link to /dev/zero
#endif

  // Sizes at and one past each limit, counted after the filler words go.
  add(File("Upload34442AfterFiller", Cat({Pattern(kMaxUpload, 15), Filler(50)})));
  add(File("Upload34443AfterFiller", Cat({Pattern(kMaxUpload + 1, 15), Filler(50)})));
  add(LzoSized("LzoImage34442", kMaxUpload));
  add(LzoSized("LzoImage34443", kMaxUpload + 1));
  add(File("Library21504", Cat({Text("LIB"), Pattern(kMaxLibrary - 3, 16)})));
  add(File("Library21505", Cat({Text("LIB"), Pattern(kMaxLibrary - 2, 16)})));
  add(Prg3File("Prg3Words512", 512));
  add(Prg3File("Prg3Words513", 513));
  add(Prg3File("Prg3TextOver64KiB", 5000));  // 16 bytes a line
  // Text files are read up to 1 MiB; the 1 MiB file is refused by its word count only.
  add(Prg3FileOfSize("Prg3Text1MiB", 1 << 20));
  {
    TFile f = Prg3FileOfSize("Prg3Text1MiBAndOne", (1 << 20) + 1);
    f.Prg3.Kind = TPrg3::TextTooLong;
    add(f);
  }
  {
    TFile f = File("Prg3ReleaseWithoutDigit", Text("RELEASE=\r\n0000ABCD value\r\n"));
    f.Prg3 = {TPrg3::BadRelease, {}};
    add(f);
  }
  add(File("Raw65536", Pattern(kFileBuffer, 17)));
  add(File("Raw65537", Pattern(kFileBuffer + 1, 17)));
  add(File("Raw65537FillerAtTheCut",
           Cat({Pattern(kFileBuffer - 6, 18), Filler(3), Pattern(100, 19)})));
  // The save-slot upload: the target holds 122 bytes (100 of program, one 10-byte item, the
  // trailer); one item from the file makes it 126 + n bytes.
  {
    TFile f = File("SaveStoreFillsTheSection", Record(65410, 0x63));
    f.Items = {Data(65410, 0x63)};
    add(f);
  }
  {
    TFile f = File("SaveStoreOnePastTheSection", Record(65411, 0x63));
    f.Items = {Data(65411, 0x63)};
    add(f);
  }
  add(Stored("SaveFile65536", Pattern(kFileBuffer - 32, 20), {{20, 0x61}}));
  {
    // One byte longer: the last byte of the trailer lies beyond what is read.
    TFile f = Stored("SaveFile65537", Pattern(kFileBuffer - 31, 20), {{20, 0x61}});
    f.Items.clear();
    f.TrailerStart.reset();
    add(f);
  }

  // ELF files whose program-header offset P and segment offset E point anywhere.
  add(Elf("ElfP0", 400, 0, 128));
  add(Elf("ElfP28", 400, 28, 128));
  add(Elf("ElfP116", 400, 116, 128));
  add(Elf("ElfP117", 400, 117, 128));
  add(Elf("ElfP120", 400, 120, 128));
  add(Elf("ElfP121", 400, 121, 128));
  add(Elf("ElfPMax", 400, 0xFFFFFFFFu, 128));
  add(Elf("ElfP116FieldCut", 122, 116, 0));
  add(Elf("ElfEAtTheEnd", 400, 28, 400));
  add(Elf("ElfEStraddlesTheEnd", 400, 28, 398));
  add(Elf("ElfEMax", 400, 28, 0xFFFFFFFFu));
  add(Elf("ElfShort", 30, 28, 0));

  // Stores whose lengths lie (the files are 222 bytes: 200 program, a 14-byte record, trailer).
  const Buf program = Pattern(200, 50);
  add(LyingStore("StoreStartPastLMinus8", Cat({program, Record(10, 0x71), Trailer(215)})));
  add(LyingStore("StoreStartAtLMinus8", Cat({program, Record(10, 0x71), Trailer(214)})));
  add(LyingStore("StoreStartFarAway", Cat({program, Record(10, 0x71), Trailer(0x7FFFFFF0u)})));
  add(LyingStore("StoreStartNegative", Cat({program, Record(10, 0x71), Trailer(0xFFFFFFF8u)})));
  add(LyingStore("RecordPastTheArea",
                 Cat({program, Buf{0xF4, 0x01, 0xF4, 0x01}, Pattern(10, 51), Trailer(200)})));
  add(LyingStore(
      "SecondRecordPastTheArea",
      Cat({program, Record(10, 0x71), Buf{0x20, 0x00, 0x20, 0x00}, Pattern(5, 52), Trailer(200)})));
  add(LyingStore("BareRecordPastTheEnd", Cat({Buf{0x00, 0x10, 0x00, 0x10}, Pattern(100, 53)})));
  return files;
}

const std::vector<TFile>& AllFiles() {
  static const std::vector<TFile> files = Files();
  return files;
}

Buf Head(const Buf& b, std::size_t n) {
  return Buf(b.begin(), b.begin() + std::min(n, b.size()));
}

Buf Strip(Buf b) {
  while (b.size() >= 2 && b[b.size() - 2] == 0xC0 && b[b.size() - 1] == 0x46)
    b.resize(b.size() - 2);
  return b;
}

// ---------------------------------------------------------------------------------------
// Expectations

struct TVerdict {
  enum Kind { Written, Refused, Exception, Safe } Kind = Safe;
  std::string Message;       // Refused: the box; Exception: the start of the exception's text
  Buf Section;               // Written: the section's new content (LZO: the unpacked program)
  Buf Tail;                  // Written by the LZO upload: the records behind the compressed data
  std::uint32_t Format = 0;  // Written by the LZO upload: the header's format word
  std::string Name;          // Written by the LZO upload: the header's name
};

TVerdict Verdict(decltype(TVerdict::Kind) kind, std::string message = {}, Buf section = {}) {
  TVerdict v;
  v.Kind = kind;
  v.Message = std::move(message);
  v.Section = std::move(section);
  return v;
}
TVerdict Written(Buf section) {
  return Verdict(TVerdict::Written, "", std::move(section));
}
TVerdict Refused(std::string message) {
  return Verdict(TVerdict::Refused, std::move(message));
}

// The 122-byte section the save-slot upload works on.
Buf SaveTarget() {
  return Cat({Pattern(100, 60), Record(10, 0x31), Trailer(100)});
}

struct TUploadCommand {
  const char* Name;
  int Row;
  int Section, SubSection;
  const char* Success;  // the OK box
  std::function<void(TManager&)> Run;
  // What the command is to do with the file (its path for the exception text).
  std::function<TVerdict(const TFile&)> Expect;
  // The dialogs the command shows for this file, answered.
  std::function<void(WatchingUI&, TManager&, const TFile&)> Answers;
};

const std::vector<TUploadCommand>& UploadCommands() {
  static const std::vector<TUploadCommand> commands = {
      {"Upload", 1, 2, 1, "Section uploaded sucsessfully!",
       [](TManager& m) { ExecuteAction(m, TActionId::UploadAction); },
       [](const TFile& f) {
         Buf s = Strip(Head(f.Bytes, kFileBuffer));
         if (s.size() > kMaxUpload) return Refused(kFileTooBig);
         // The conversion is accepted: the embedded image is marked as UFIF 2.1; the
         // pattern bytes hold no call stubs to relocate.
         if (f.Ufif20) s[(f.ImageAt ? *f.ImageAt : 0) + 2] = 1;
         return Written(s);
       },
       [](WatchingUI& ui, TManager&, const TFile& f) {
         if (f.Ufif20) ui.AnswerModal(TFormId::OKBottomDlg, mrYes);
       }},

      {"UploadLZO", 1, 2, 1, "Section uploaded sucsessfully!",
       [](TManager& m) { ExecuteAction(m, TActionId::UploadLZOAction); },
       [](const TFile& f) {
         const Buf s = Strip(Head(f.Bytes, kFileBuffer));
         const std::size_t programLength = f.TrailerStart.value_or(s.size());
         const Buf program(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(programLength));
         const auto packed = CompressLZO1X999(program);
         const std::size_t tail = s.size() - programLength;
         if (!packed || 32 + packed->size() + tail > kMaxUpload) return Refused(kFileTooBig);
         TVerdict v = Written(program);
         if (tail)
           v.Tail.assign(s.begin() + static_cast<std::ptrdiff_t>(programLength), s.end() - 8);
         if (f.ImageAt) {
           v.Format = u32le_or0(s, *f.ImageAt);
           v.Name = load_text(s, *f.ImageAt + 4, 16);
         }
         return v;
       },
       [](WatchingUI& ui, TManager&, const TFile& f) {
         if (f.Ufif20) ui.AnswerModal(TFormId::OKBottomDlg, mrNo);
         if (f.TrailerStart) ui.AnswerModal(TFormId::SaveSlotForm, mrOk);
       }},

      {"UploadSave", 2, 2, 2, "Save slot uploaded sucsessfully!",
       [](TManager& m) { ExecuteAction(m, TActionId::UploadSaveAction); },
       [](const TFile& f) {
         Buf s = Cat({Pattern(100, 60), Record(10, 0x31)});
         for (const Buf& item : f.Items) {
           s.push_back(static_cast<std::uint8_t>(item.size()));
           s.push_back(static_cast<std::uint8_t>(item.size() >> 8));
           s.push_back(static_cast<std::uint8_t>(item.size()));
           s.push_back(static_cast<std::uint8_t>(item.size() >> 8));
           s.insert(s.end(), item.begin(), item.end());
         }
         s = Cat({s, Trailer(100)});
         if (f.Items.empty()) return Refused("Can't uplod - no save slots in file!");
         if (s.size() > kFileBuffer) return Refused(kFileTooBig);
         return Written(s);
       },
       [](WatchingUI& ui, TManager& m, const TFile& f) {
         // Nothing is removed from the section.
         ui.AnswerModal(TFormId::SaveSlotForm, mrOk, [&m] { SaveSlotDeselectAll(m); });
         if (f.Kind == TFile::Regular && !f.Items.empty())
           ui.AnswerModal(TFormId::SaveSlotForm, mrOk);
       }},

      {"UFIF2Library", 0, 2, 17, nullptr, [](TManager& m) { ClickButton(m, 5); },
       [](const TFile& f) {
         if (f.Bytes.size() > kMaxLibrary) return Refused(kLibraryTooBig);
         if (f.Bytes.empty()) return Refused(kFileEmpty);
         return Written(f.Bytes);
       },
       [](WatchingUI& ui, TManager&, const TFile&) { ui.ConfirmAnswers.push_back(true); }},

      {"PRG3Library", 0, 2, 16, nullptr, [](TManager& m) { ClickButton(m, 6); },
       [](const TFile& f) {
         switch (f.Prg3.Kind) {
           case TPrg3::Image:
             if (f.Prg3.Words.empty()) return Refused(kNoNumbers);
             return Written(f.Prg3.Words);
           case TPrg3::TooBig:
             return Refused(kLibraryTooBig);
           case TPrg3::BadRelease:
             return Verdict(TVerdict::Exception, "'' is not a valid integer value");
           case TPrg3::TextTooLong:
             return Verdict(TVerdict::Exception,
                            "Cannot open file \"{path}\". The file is too large: a text file "
                            "may hold at most 1 MiB");
           case TPrg3::Unknown:
             break;
         }
         return Verdict(TVerdict::Safe, "");
       },
       [](WatchingUI&, TManager&, const TFile&) {}},

      {"RawUpload", 0, 17, 19, nullptr, [](TManager& m) { ClickButton(m, 9); },
       [](const TFile& f) {
         const Buf s = Strip(Head(f.Bytes, kFileBuffer));
         if (s.empty()) return Refused(kFileEmpty);
         return Written(s);
       },
       [](WatchingUI&, TManager&, const TFile&) {}},
  };
  return commands;
}

// The LZO section taken apart: the unpacked program, the header, the records behind it.
struct TLzo {
  bool Ok = false;
  std::uint32_t Format = 0, Unpacked = 0;
  std::string Name;
  Buf Program, Tail;
};

TLzo Unpack(const Buf& s) {
  TLzo out;
  if (s.size() < 32 || load_u32le(s, 0) != LZOMagic) return out;
  out.Format = u32le_or0(s, 20);
  out.Name = load_text(s, 4, 16);
  out.Unpacked = u32le_or0(s, 24);
  std::size_t end = s.size();
  if (s.size() >= 40 && load_u32le(s, s.size() - 4) == SaveAreaMagic) {
    end = u32le_or0(s, s.size() - 8);
    if (end < 32 || end > s.size() - 8) return out;
    out.Tail.assign(s.begin() + static_cast<std::ptrdiff_t>(end), s.end() - 8);
  }
  out.Program.resize(out.Unpacked);
  lzo_uint unpacked = out.Unpacked;
  const int r =
      lzo1x_decompress_safe(s.data() + 32, end - 32, out.Program.data(), &unpacked, nullptr);
  out.Ok = r == LZO_E_OK && unpacked == out.Unpacked;
  return out;
}

class BadFile : public CommandFixture<WatchingUI>,
                public ::testing::WithParamInterface<std::tuple<std::size_t, std::size_t>> {};

TEST_P(BadFile, StatedMessageOrWrittenNothingUnsafe) {
  const TUploadCommand& c = UploadCommands()[std::get<0>(GetParam())];
  const TFile& f = AllFiles()[std::get<1>(GetParam())];

  phone.SetCatalogue({SimTelephone::Entry(2, 1, "Program"), SimTelephone::Entry(2, 2, "Saves")});
  phone.PutSection(2, 1, Pattern(600, 1));
  phone.PutSection(2, 2, SaveTarget());
  phone.PutSection(2, 16, Buf{3, 0, 0, 0, 0x10, 0, 0, 0});
  phone.PutSection(2, 17, Cat({Text("LIB"), Pattern(500, 11)}));
  phone.PutSection(2, 18, Buf{'Z', 'U', 'B', '2', 7, 0, 17, 2, 0, 0, 0, 0});
  phone.PutSection(17, 19, Pattern(300, 12));

  const fs::path path = PathOf("file-" + f.Name);
  if (f.Kind == TFile::Regular) WriteFile(path, f.Bytes);
  if (f.Kind == TFile::Directory) fs::create_directories(path);
#if !defined(_WIN32)
  if (f.Kind == TFile::Pipe) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  }
  if (f.Kind == TFile::Device) fs::create_symlink("/dev/zero", path);
#endif

  Start();
  if (c.Row) m->Row = c.Row;
  c.Answers(ui, *m, f);
  ui.OpenAnswers.push_back(path.string());
  ui.ClearRecords();
  log.Clear();
  const std::optional<Buf> before = phone.Section(c.Section, c.SubSection);

  m->Run([&] { c.Run(*m); });

  const std::optional<Buf> after = phone.Section(c.Section, c.SubSection);
  TVerdict v = f.Kind == TFile::Regular
                   ? c.Expect(f)
                   : Verdict(TVerdict::Exception, "Cannot open file \"" + path.string() + "\"");
  if (const auto at = v.Message.find("{path}"); at != std::string::npos)
    v.Message.replace(at, 6, path.string());
  const auto hasBox = [this](const std::string& caption, const std::string& text) {
    for (const auto& b : ui.Boxes)
      if (b.Caption == caption && (text.empty() || b.Text == text)) return true;
    return false;
  };

  // A Safe verdict takes whichever of the two sound outcomes the command chose.
  if (v.Kind == TVerdict::Safe) {
    if (log.Count("WriteNVMFile") == 0) {
      v.Kind = TVerdict::Refused;
      // Binary bytes yield too many words, or none at all.
      v.Message = !ui.Exceptions.empty()        ? ""
                  : hasBox("ERROR", kNoNumbers) ? kNoNumbers
                                                : kLibraryTooBig;
    } else {
      ASSERT_TRUE(after.has_value());
      EXPECT_EQ(after->size() % 4, 0u);
      EXPECT_LE(after->size(), 2048u);
      v = Written(*after);
    }
  }

  switch (v.Kind) {
    case TVerdict::Written:
      ASSERT_TRUE(after.has_value());
      if (std::string(c.Name) == "UploadLZO") {
        const TLzo lzo = Unpack(*after);
        EXPECT_TRUE(lzo.Ok) << "the section does not unpack";
        EXPECT_EQ(lzo.Program, v.Section);
        EXPECT_EQ(lzo.Tail, v.Tail);
        EXPECT_EQ(lzo.Format, v.Format);
        EXPECT_EQ(lzo.Name, v.Name);
        EXPECT_LE(after->size(), kMaxUpload);
      } else {
        EXPECT_EQ(*after, v.Section);
      }
      EXPECT_EQ(ui.LastStatus(), "Uploaded!");
      EXPECT_TRUE(c.Success ? hasBox("OK!", c.Success) : hasBox("OK!", ""));
      EXPECT_FALSE(hasBox("ERROR", ""));
      EXPECT_TRUE(ui.Exceptions.empty());
      break;
    case TVerdict::Refused:
    case TVerdict::Exception:
      EXPECT_EQ(log.Count("WriteNVMFile"), 0) << "a refused file was written";
      EXPECT_EQ(after, before);
      EXPECT_NE(ui.LastStatus(), "Uploaded!");
      if (v.Kind == TVerdict::Refused && !v.Message.empty()) {
        EXPECT_TRUE(hasBox("ERROR", v.Message)) << "expected the box " << v.Message;
        EXPECT_TRUE(ui.Exceptions.empty());
      } else {
        ASSERT_EQ(ui.Exceptions.size(), 1u);
        EXPECT_TRUE(ui.Exceptions[0].starts_with(v.Message)) << ui.Exceptions[0];
      }
      break;
    case TVerdict::Safe:
      break;
  }

  // Every scripted dialog was shown, and no other; the connection ends closed.
  EXPECT_EQ(ui.Unanswered, 0);
  EXPECT_TRUE(ui.ModalAnswers.empty()) << "an expected dialog was not shown";
  EXPECT_TRUE(ui.Mismatches.empty());
  EXPECT_EQ(ui.AskedWhileOpen, 0);
  ExpectClosed();
}

std::string CaseName(const ::testing::TestParamInfo<BadFile::ParamType>& info) {
  return std::string(UploadCommands()[std::get<0>(info.param)].Name) + "_" +
         AllFiles()[std::get<1>(info.param)].Name;
}

INSTANTIATE_TEST_SUITE_P(BadFiles, BadFile,
                         ::testing::Combine(::testing::Range<std::size_t>(0,
                                                                          UploadCommands().size()),
                                            ::testing::Range<std::size_t>(0, AllFiles().size())),
                         CaseName);

}  // namespace
}  // namespace zub::test
