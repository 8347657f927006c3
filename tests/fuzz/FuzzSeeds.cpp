// zub-fuzz-seeds OUTDIR [DATADIR]: writes a starting corpus per fuzz target into
// OUTDIR/<target>/, laid out the way each target reads its input. The inputs come from the
// demo telephone's sections and sample files, the default settings and catalogue in DATADIR,
// and a few hand-made edge cases.
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "DemoContent.h"
#include "FuzzSupport.h"
#include "commands/Forms.h"
#include "device/host/HostProtocol.h"
#include "formats/Classify.h"
#include "formats/SectInfo.h"
#include "support/TestFiles.h"

using namespace zub;
using namespace zub::fuzz;
using demo::ByteVec;
using zub::test::Utf16Le;

namespace {

namespace fs = std::filesystem;

class TCorpus {
 public:
  explicit TCorpus(fs::path root) : root_(std::move(root)) {}

  void Add(const std::string& target, const std::string& label,
           const std::vector<std::uint8_t>& bytes) {
    const fs::path dir = root_ / target;
    // A fresh folder per run: seeds of an older generator must not linger.
    if (!counts_.contains(target)) fs::remove_all(dir);
    fs::create_directories(dir);
    std::string name;
    for (char c : label) name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    name = std::to_string(++counts_[target]) + "-" + name;
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + (dir / name).string());
  }
  void Add(const std::string& target, const std::string& label, const TFuzzWriter& w) {
    Add(target, label, w.Data());
  }
  void Add(const std::string& target, const std::string& label, const std::string& text) {
    Add(target, label, std::vector<std::uint8_t>(text.begin(), text.end()));
  }
  const std::map<std::string, int>& Counts() const { return counts_; }

 private:
  fs::path root_;
  std::map<std::string, int> counts_;
};

Bytes AsBytes(const std::string& s) {
  return Bytes(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The lines of a profile file without its comments, as many as fit in `limit` bytes: the
// profile targets' inputs stay short (libFuzzer makes its inputs no longer than the longest
// seed), and a section or key of the default files behaves as the next one does.
std::string Compact(const std::string& text, std::size_t limit) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
    const std::string line = text.substr(at, end - at);
    at = end;
    if (line.starts_with(';')) continue;
    if (out.size() + line.size() > limit) break;
    out += line;
  }
  return out;
}

// "2-16" into 2 and 16.
std::pair<int, int> Address(const std::string& a) {
  const auto dash = a.find('-');
  return {std::stoi(a.substr(0, dash)), std::stoi(a.substr(dash + 1))};
}

ByteVec Head(const ByteVec& b, std::size_t n = kHeadSize) {
  return ByteVec(b.begin(), b.begin() + std::min(b.size(), n));
}

// The image targets start from images of a few KiB: every branch of their code is reached by
// such images (the stores that fill a buffer come from store descriptions), and libFuzzer makes
// its inputs no longer than the longest seed, so a large seed would slow every input after it.
constexpr std::size_t kLongestImageSeed = 8192;

void Classify(TCorpus& c, const std::vector<demo::TNamedBytes>& sections) {
  auto add = [&c](const std::string& label, int s, int ss, std::uint32_t size, const ByteVec& head,
                  const std::string& description) {
    TFuzzWriter w;
    w.Byte(static_cast<std::uint8_t>(s)).Byte(static_cast<std::uint8_t>(ss)).U32(size);
    w.Byte(static_cast<std::uint8_t>(head.size())).Byte('F').Raw(head).Raw(description);
    c.Add("fuzz_classify", label, w);
  };
  for (const auto& s : sections) {
    const auto [sect, sub] = Address(s.Address);
    add(s.Address, sect, sub, static_cast<std::uint32_t>(s.Bytes.size()), Head(s.Bytes), "Free");
  }
  add("empty-head", 2, 1, 0, {}, "Free");
  add("short-lzo", 2, 3, 10, {0x4C, 0x5A, 0x4F, 0, 1, 2, 3, 4, 5, 6}, "Program slot");
  ByteVec elfFar(64, 0);
  store_u32le(elfFar, 0, 0x464C457F);
  store_u32le(elfFar, 28, 121);
  add("elf-table-far", 2, 4, 64, elfFar, "Free");
  ByteVec elfOut(40, 0);
  store_u32le(elfOut, 0, 0x464C457F);
  store_u32le(elfOut, 28, 8);
  store_u32le(elfOut, 12, 100);
  add("elf-image-outside", 2, 4, 40, elfOut, "Free");
  ByteVec prg3(16, 0);
  prg3[0] = 3;
  add("prg3-16-bytes", 2, 16, 16, prg3, "Free");
  ByteVec lib = {'L', 'I', 'B', 0x20, 'x'};
  add("lib-blank", 2, 17, 5, lib, "Free");
}

void Ufif(TCorpus& c, const std::vector<demo::TNamedBytes>& sections,
          const std::vector<demo::TNamedBytes>& samples) {
  std::vector<std::pair<std::string, ByteVec>> images;
  for (const auto& s : sections)
    if (s.Address == "2-1" || s.Address == "2-4" || s.Address == "2-9")
      images.push_back({s.Address, Head(s.Bytes, kLongestImageSeed / 2)});
  for (const auto& s : samples)
    if (s.Name == "snake2.prg" || s.Name == "elfgame.elf")
      images.push_back({s.Name, Head(s.Bytes, kLongestImageSeed / 2)});
  std::vector<std::string> texts = TExpertsModel::DefaultFirmwareTable();
  texts.push_back("0x37BDD8 - z7 custom");
  texts.push_back("");
  texts.push_back("0x37BDD8");
  texts.push_back("$370000 Z7");
  for (std::size_t t = 0; t < texts.size(); ++t) {
    const auto& [label, image] = images[t % images.size()];
    TFuzzWriter w;
    w.U32(0x370000)
        .Byte(t & 1)
        .Byte(static_cast<std::uint8_t>(texts[t].size()))
        .Raw(texts[t])
        .Raw(image);
    c.Add("fuzz_ufif", label + "-fw" + std::to_string(t), w);
  }
}

void LzoImage(TCorpus& c, const std::vector<demo::TNamedBytes>& sections,
              const std::vector<demo::TNamedBytes>& samples) {
  for (const auto* list : {&sections, &samples}) {
    for (const auto& s : *list) {
      if (s.Bytes.size() > kLongestImageSeed) continue;
      TFuzzWriter w;
      w.U32(0xE80A).Byte(0).Raw(s.Bytes);
      c.Add("fuzz_lzo_image", s.Address + s.Name, w);
    }
  }
  TFuzzWriter own;
  own.U32(0xE80A).Byte(0x38).Raw(demo::UfifProgram(0x20010000, "Own", 700, 23));
  c.Add("fuzz_lzo_image", "tool-compressor", own);
  TFuzzWriter stored;
  stored.U32(0xE852).Byte(2);
  WriteStoreShape(stored, {false, {100, 100}});
  stored.Raw(demo::UfifProgram(0x20010000, "Stored", 2500, 21));
  c.Add("fuzz_lzo_image", "program-with-store", stored);
  TFuzzWriter failing;
  failing.U32(0).Byte(1).Raw(demo::UfifProgram(0x20000000, "Fail", 100, 22));
  c.Add("fuzz_lzo_image", "compressor-fails", failing);
}

void SaveStore(TCorpus& c, const std::vector<demo::TNamedBytes>& sections,
               const std::vector<demo::TNamedBytes>& samples) {
  for (const auto* list : {&sections, &samples}) {
    for (const auto& s : *list) {
      if (s.Bytes.size() > kLongestImageSeed) continue;
      for (const std::uint32_t mask : {0xFFFFFFFFu, 0x5u}) {
        TFuzzWriter w;
        w.Byte(0).U32(mask).U16(0).Raw(s.Bytes);
        c.Add("fuzz_save_store", s.Address + s.Name, w);
      }
    }
  }
  const TStoreShape shapes[] = {{false, {600, 384}},
                                {true, {10, 3}},
                                {true, {65535}},
                                {false, {0, 0, 0}},
                                {false, {4000, 4000, 4000, 4000}}};
  for (const auto& shape : shapes) {
    TFuzzWriter w;
    w.Byte(1).U32(0xFFFFFFFE).U16(0);
    WriteStoreShape(w, shape);
    w.Raw(ByteVec(4000, 0x42));
    c.Add("fuzz_save_store", "built", w);
  }
  TFuzzWriter small;
  small.Byte(3).U32(0xFFFFFFFF).U16(5000);
  WriteStoreShape(small, {false, {600, 384}});
  small.Raw(ByteVec(4000, 0x42));
  c.Add("fuzz_save_store", "small-capacity", small);
}

void SlotUpload(TCorpus& c, const std::vector<demo::TNamedBytes>& sections,
                const std::vector<demo::TNamedBytes>& samples) {
  std::map<std::string, ByteVec> byName;
  for (const auto& s : sections) byName[s.Address] = s.Bytes;
  for (const auto& s : samples) byName[s.Name] = s.Bytes;
  const std::pair<const char*, const char*> pairs[] = {
      {"2-2", "saves.sav"}, {"18-1", "saves.sav"}, {"18-2", "18-1"}, {"17-5", "18-2"}};
  for (const auto& [section, file] : pairs) {
    TFuzzWriter w;
    w.Byte(0).U32(0x1).U32(0xFFFFFFFF).U32(0xFFFFFFFF).Chunk(byName[section]).Raw(byName[file]);
    c.Add("fuzz_slot_upload", std::string(section) + "+" + file, w);
  }
  TFuzzWriter empty;
  empty.Byte(0).U32(0).U32(0xFFFFFFFF).U32(0).Chunk({}).Raw(byName["saves.sav"]);
  c.Add("fuzz_slot_upload", "empty-section", empty);
  // Large stores on both sides: together they pass the buffer.
  TFuzzWriter big;
  big.Byte(3).U32(0).U32(0xFFFFFFFF).U32(0xFFFFFFFF);
  WriteStoreShape(big, {false, {8000, 8000, 8000, 8000}});
  big.Chunk(ByteVec(3000, 0x11));
  WriteStoreShape(big, {true, {9000, 9000, 9000, 9000}});
  c.Add("fuzz_slot_upload", "too-big", big);
}

void UploadCommands(TCorpus& c, const std::vector<demo::TNamedBytes>& sections,
                    const std::vector<demo::TNamedBytes>& samples) {
  std::map<std::string, ByteVec> byName;
  for (const auto& s : sections) byName[s.Address] = s.Bytes;
  for (const auto& s : samples) byName[s.Name] = s.Bytes;
  // flags, LZO answers, icon item, firmware, the two dialogs' ticks.
  const auto head = [](TFuzzWriter& w, std::uint8_t flags, std::uint8_t lzo, std::uint32_t first,
                       std::uint32_t second) {
    w.Byte(flags).Byte(lzo).Byte(3).Byte(0).U32(first).U32(second);
  };
  // Upload Save Slot, then Upload LZO-Compressed, of a file onto a section.
  const std::pair<const char*, const char*> pairs[] = {
      {"18-1", "saves.sav"}, {"18-2", "saves.sav"}, {"17-5", "18-1"}, {"18-1", "18-2"}};
  for (const auto& [section, file] : pairs) {
    for (const std::uint8_t flags : {0, 8}) {
      TFuzzWriter w;
      head(w, flags, 1, 0x1, 0xFFFFFFFF);
      w.Chunk(byName[section]).Raw(byName[file]);
      c.Add("fuzz_upload_commands", std::string(section) + "+" + file, w);
    }
  }
  TFuzzWriter empty;
  head(empty, 4, 0, 0xFFFFFFFF, 0xFFFFFFFF);
  empty.Chunk({}).Raw(byName["saves.sav"]);
  c.Add("fuzz_upload_commands", "no-section", empty);
  // Large stores on both sides: together they pass the buffer.
  TFuzzWriter big;
  head(big, 3, 0, 0, 0xFFFFFFFF);
  WriteStoreShape(big, {false, {8000, 8000, 8000, 8000}});
  big.Chunk(ByteVec(3000, 0x11));
  WriteStoreShape(big, {true, {9000, 9000, 9000, 9000}});
  c.Add("fuzz_upload_commands", "too-big", big);
  // The same program again, with its items, over the old version and its items: converted,
  // with an icon chosen, and with the tool's own compressor.
  for (const std::uint8_t lzo : {0x04, 0x0C, 0x05, 0x02}) {
    TFuzzWriter w;
    head(w, 8 | 1 | 2, lzo, 0x5, 0x3);
    WriteStoreShape(w, {false, {40, 12}});
    w.Chunk(demo::UfifProgram(0x20000000, "Snake", 200, 31));
    WriteStoreShape(w, {false, {100, 7, 30}});
    w.Raw(demo::UfifProgram(0x20000000, "Snake", 300, 32));
    c.Add("fuzz_upload_commands", "lzo-same-program-" + std::to_string(lzo), w);
  }
  for (const char* sample : {"snake2.prg", "elfgame.elf"}) {
    TFuzzWriter w;
    head(w, 8, 0x08, 0, 0xFFFFFFFF);
    w.Chunk(byName["18-1"]).Raw(Head(byName[sample], 2048));
    c.Add("fuzz_upload_commands", std::string("lzo-") + sample, w);
  }
}

void Texts(TCorpus& c, const std::vector<demo::TNamedBytes>& samples, const fs::path& dataDir) {
  std::map<std::string, std::string> text;
  for (const auto& s : samples) text[s.Name] = std::string(s.Bytes.begin(), s.Bytes.end());

  // The sample's first lines hold every kind it has: the rest would only slow every input.
  c.Add("fuzz_prg3_text", "sample", Compact(text["prg3lib.txt"], 400));
  c.Add("fuzz_prg3_text", "edges",
        "RELEASE=3\r\n00123456 first entry\r\n0xABCD second entry\r\n\r\n# heading\r\n"
        "12345678\n-5 minus\rRELEASE=7x\n");
  c.Add("fuzz_prg3_text", "bad-release", "RELEASE=\r\n");
  std::string many = "RELEASE=1\n";
  // The shortest lines that give a word each: the seed stays as short as the limit allows.
  for (int i = 0; i < 513; ++i) many += std::to_string(i % 10) + " \n";
  c.Add("fuzz_prg3_text", "513-words", many);

  c.Add("fuzz_lib_reorder", "sample", text["514lg4.lib"] + '\0' + text["mylib.lib"]);
  c.Add("fuzz_lib_reorder", "edges",
        std::string("#ref\r\n00000000 Foo\r\n00000000 Bar\r\n00000000 Baz\r\n") + '\0' +
            "#mine\r\n1 Baz\r\n2 Foo\r\n3 Foo\r\n1234 Foo #ab\r\n1234 Foo Bar\r\n");

  // A few hundred bytes of each file hold every kind of line it has; longer seeds only make
  // every input slower (the profile is indexed twice per input). The catalogue target reads
  // every listed section: a dozen are as good as all.
  const std::string settings = Compact(ReadText(dataDir / "zubmanager.INI"), 400);
  const std::string catalogue = Compact(ReadText(dataDir / "SECTIONS.INI"), 400);
  for (const auto& [label, contents] :
       {std::pair{"settings", settings},
        {"catalogue", catalogue},
        {"simulator", Compact(demo::SimulatorIni(), 400)},
        {"odd", std::string("[Sign]\r\n0x00000003=Three\r\n[sign]\r\nKey = spaced value "
                            "\r\n;c\r\n[Form]\r\nTop=$14\r\n")},
        // As files written on Windows come: converted to CR LF twice, with bare CRs, quoted
        // values, a Ctrl-Z at the end, or saved as UTF-16LE.
        {"crcrlf", std::string("[Sign]\r\r\n0x00000003=\"Three\"\r\r\n[Form]\r\r\nTop=100\x1A")},
        {"bare-cr", std::string("[Sign]\r0x00000003='Three'\r[Form]\rTop=100\r")},
        {"utf16le", Utf16Le(u"[Sign]\r\n0x00000003=\"Три\"\r\n[Form]\r\nTop=100\r\n")}}) {
    TFuzzWriter w;
    const std::string section = label == std::string("settings") ? "Manager" : "Sign";
    const std::string key = label == std::string("settings") ? "CTEMode" : "0x00000003";
    w.Byte(static_cast<std::uint8_t>(section.size())).Raw(section);
    w.Byte(static_cast<std::uint8_t>(key.size())).Raw(key);
    // Some write the value's hash as an integer (a length byte of 128 and more).
    const bool integer = label == std::string("odd") || label == std::string("utf16le");
    w.Byte(integer ? 0x85 : 5).Raw("hello").Raw(contents);
    c.Add("fuzz_profile", label, w);
  }

  for (const char* t :
       {"0x370000", "$FF", "-2147483648", "2147483648", "2147483647", " +12", "x", "0x", "-$10",
        "FFFFFFFF", "0x100000000", "00000000000000000012", "-0", "12 ", "0X1a", "-0x80000000", ""})
    c.Add("fuzz_convert", t[0] ? t : "empty", std::string(t));

  {
    TFuzzWriter w;
    w.Byte(0).Chunk(AsBytes(catalogue)).Raw(settings);
    c.Add("fuzz_catalogue", "defaults", w);
  }
  {
    TFuzzWriter w;
    const std::string ini = Utf16Le(
        u"[0x0210]\r\nDescription=\"Camera photos\"\r\nMaxSize=2048\r\n[528]\r\n"
        u"Description=Фото\r\n");
    const std::string settings =
        "[Form]\r\r\nTop=100\r\r\n[Sections]\r\r\nsection1=\"0x0210\"\r\r\nsection2='528'\x1A";
    w.Byte(0).Chunk(AsBytes(ini)).Raw(settings);
    c.Add("fuzz_catalogue", "windows", w);
  }
  for (const char* list :
       {"0x0210\n528\n$0211\n-1\n 0x7FFFFFFF\n", "1\n!\n3\n", "12\nzz\n13\n", "", "x\n"}) {
    TFuzzWriter w;
    const std::string ini =
        "[0x0210]\r\nDescription=PRG3 library\r\nMaxSize=70000\r\n[528]\r\nDescription=Other\r\n";
    w.Byte(1).Chunk(AsBytes(ini)).Raw(list);
    c.Add("fuzz_catalogue", "list", w);
  }
}

void PrefRecord(TCorpus& c, const std::vector<demo::TNamedBytes>& sections) {
  for (const auto& s : sections) {
    if (s.Address != "2-18") continue;
    for (std::size_t n : {s.Bytes.size(), std::size_t{11}, std::size_t{4}, std::size_t{0}}) {
      TFuzzWriter w;
      w.U32(1).Raw(Bytes(s.Bytes).first(std::min(n, s.Bytes.size())));
      c.Add("fuzz_pref_record", "2-18-" + std::to_string(n), w);
    }
  }
  TFuzzWriter all;
  all.U32(0xFFFFFFFF).Raw(ByteVec{'Z', 'U', 'B', '2', 255, 0, 17, 2, 9, 18, 0xAB, 0xCD, 1});
  c.Add("fuzz_pref_record", "show-all", all);
}

void GridCells(TCorpus& c, const std::vector<demo::TNamedBytes>& sections) {
  auto add = [&c](const std::string& label, const TSectInfo& s, int col, int row, bool ordinary) {
    TFuzzWriter w;
    w.Byte(ordinary ? 1 : 0);
    for (std::uint32_t v :
         {static_cast<std::uint32_t>(s.Section), static_cast<std::uint32_t>(s.SubSection),
          static_cast<std::uint32_t>(s.Kind), s.Format, static_cast<std::uint32_t>(s.Size),
          static_cast<std::uint32_t>(s.Compression), static_cast<std::uint32_t>(s.UnpackedSize),
          static_cast<std::uint32_t>(s.Icon), static_cast<std::uint32_t>(col),
          static_cast<std::uint32_t>(row)})
      w.U32(v);
    if (ordinary) {
      w.U16(75).U16(30).U16(259 - 75).U16(30);
    } else {
      w.U32(0x7FFFFFF0).U32(0x80000000).U32(5).U32(0x7FFFFFFF);
    }
    w.U32(14).U32(7).Byte('.').Raw(s.Title);
    c.Add("fuzz_grid_cells", label + "-c" + std::to_string(col), w);
  };
  int row = 1;
  for (const auto& s : sections) {
    const auto [sect, sub] = Address(s.Address);
    THeadInput in;
    in.Head = Bytes(s.Bytes).first(std::min<std::size_t>(s.Bytes.size(), kHeadSize));
    in.Section = sect;
    in.SubSection = sub;
    in.Size = static_cast<std::int32_t>(s.Bytes.size());
    in.Description = "Free";
    TSectInfo info;
    info.Section = sect;
    info.SubSection = sub;
    ApplyHeadClass(info, ClassifyHead(in, {}));
    for (int col = 0; col < 3; ++col) add(s.Address, info, col, row, true);
    ++row;
  }
  TSectInfo header;
  for (int col = 0; col < 4; ++col) add("header", header, col, 0, true);
  TSectInfo extreme;
  extreme.Section = 5;
  extreme.Size = 21505;
  extreme.Compression = 1;
  extreme.UnpackedSize = -1;
  extreme.Icon = 147;
  add("extreme", extreme, 1, 3, false);
  extreme.Size = INT32_MIN;
  extreme.UnpackedSize = 0;
  add("unpacked-0", extreme, 1, 3, true);
}

// One conversation's frames for each reader of the device library host.
void HostFrames(TCorpus& c) {
  using namespace hostproto;
  const auto raw = [](const auto& frame) { return Bytes(frame.data(), frame.size()); };
  THello hello;
  hello.entries = kAllEntries;
  c.Add("fuzz_host_frames", "hello", TFuzzWriter().Byte(0).Byte(3).Raw(raw(EncodeHello(hello))));
  const TRequest requests[] = {{TEntry::InitGBPMode, 2, 0, 0, 0},
                               {TEntry::ReadNVMFile, 0, 2, 16, 128},
                               {TEntry::WriteNVMFile, 0, 2, 5, 5},
                               {TEntry::GetNVMFileSize, 0, 2, 5, 0}};
  for (const TRequest& r : requests) {
    TFuzzWriter w;
    w.Byte(1).Byte(5).Raw(raw(EncodeRequest(r)));
    if (r.entry == TEntry::WriteNVMFile) w.Raw(std::string_view("hello"));
    c.Add("fuzz_host_frames", std::string("request-") + EntryName(r.entry), w);
  }
  TFuzzWriter read;
  read.Byte(2).Byte(4).Byte(static_cast<std::uint8_t>(TEntry::ReadNVMFile)).Byte(2).Byte(16);
  read.U16(8).Raw(raw(EncodeReply({TStatus::Called, 5, 5}))).Raw(std::string_view("hello"));
  c.Add("fuzz_host_frames", "reply-read", read);
  TFuzzWriter size;
  size.Byte(2).Byte(0).Byte(static_cast<std::uint8_t>(TEntry::GetNVMFileSize)).Byte(2).Byte(5);
  size.U16(0).Raw(raw(EncodeReply({TStatus::Called, -153, 0})));
  c.Add("fuzz_host_frames", "reply-size", size);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: zub-fuzz-seeds OUTDIR [DATADIR]\n";
    return 2;
  }
  const fs::path dataDir = argc > 2 ? fs::path(argv[2]) : fs::path(ZUB_DATA_DIR);
  try {
    TCorpus c(argv[1]);
    const auto sections = demo::PhoneSections();
    const auto samples = demo::SampleFiles();
    Classify(c, sections);
    Ufif(c, sections, samples);
    LzoImage(c, sections, samples);
    SaveStore(c, sections, samples);
    SlotUpload(c, sections, samples);
    UploadCommands(c, sections, samples);
    Texts(c, samples, dataDir);
    PrefRecord(c, sections);
    GridCells(c, sections);
    HostFrames(c);
    for (const auto& [target, n] : c.Counts()) std::cout << target << ": " << n << " seeds\n";
  } catch (const std::exception& e) {
    std::cerr << "zub-fuzz-seeds: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
