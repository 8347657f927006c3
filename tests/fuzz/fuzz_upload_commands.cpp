// The two commands that bring save items in from a file, run as the window runs them on a
// telephone in memory (FuzzPhone.h), the file handed over through the core's file reader:
//  - Upload Save Slot: the section keeps the items the user did not tick in the first dialog,
//    the items ticked in the file's dialog follow;
//  - Upload LZO-Compressed: the file (converted to UFIF 2.1 when the user says so) becomes an
//    LZO image; the items ticked in its own store follow it and, when the section holds the
//    same program, behind them the old section's items the user keeps.
// The slow target: every input runs a whole command, with its connections, reads, write and
// rescan, where the format targets run one function.
//
// Input: Byte flags (bit 0: the section from a store description, bit 1: the file from one,
// bit 2: the telephone has no such section, bit 3: Upload LZO-Compressed instead of Upload
// Save Slot, bit 4: the file dialog is cancelled, bit 5: the first save-slot dialog is
// cancelled, bit 6: the second, bit 7: the compressor fails), Byte LZO answers (bits 0-1: the
// conversion prompt, 0 Yes, 1 No, else Cancel; bit 2: the row's title is the program's name;
// bit 3: OK in the icon dialog), Byte icon item, Byte firmware (an entry of the firmware list;
// past its end, a text that is no address), U32 ticks in the first save-slot dialog, U32 ticks
// in the second, [section description], Chunk section bytes (its program part when
// described), [file description], then the file bytes.
//
// The section afterwards holds exactly what the command should write: the section's program
// part or the file's image, the items chosen in their order, the trailer; a command that
// stops (a dialog cancelled, a section or a result too big, a file without items, a
// compression or conversion that fails) leaves the section as it was and says why. No
// command leaves the connection open. The images are compressed by the fast compressor
// (FuzzLzo.h); the tool's own is fuzz_lzo_image's.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzLzo.h"
#include "FuzzPhone.h"
#include "FuzzSupport.h"
#include "base/Cp1251.h"
#include "commands/LzoUpload.h"
#include "commands/Messages.h"
#include "commands/SaveSlotCommands.h"
#include "formats/IconTable.h"
#include "formats/SaveStore.h"
#include "formats/Ufif.h"

using namespace zub;
using namespace zub::fuzz;

namespace {

constexpr std::size_t kBuffer = 65536;
// A described image may pass the buffer by a little: the section that is too big to upload.
constexpr std::size_t kLongest = kBuffer + 4;
const TSectionAddress kAddress{2, 2};

using TImage = std::vector<std::uint8_t>;

TImage ReadImage(TFuzzInput& in, bool described, bool chunk) {
  const TStoreShape shape = described ? ReadStoreShape(in) : TStoreShape{};
  const Bytes bytes = chunk ? in.Chunk() : in.Rest();
  if (described) return BuildStore(bytes, shape, kLongest);
  return TImage(bytes.begin(),
                bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), kLongest)));
}

struct TParsed {
  std::int32_t Count = 0;
  std::vector<TSaveSlot> Slots;
  std::int32_t Start = 0;
};

TParsed Parse(Bytes image) {
  TParsed p;
  std::int32_t length = 0;
  p.Count = ParseSaveSlots(image, p.Slots, p.Start, length);
  return p;
}

// The records of the items whose tick is `ticked`, as a store holds them.
void AppendRecords(TImage& out, Bytes image, const TParsed& p, std::uint32_t ticks, bool ticked) {
  for (std::size_t i = 0; i < p.Slots.size(); ++i) {
    if (Picked(ticks, i) != ticked) continue;
    const TSaveSlot& slot = p.Slots[i];
    ZUB_CHECK(slot.Offset >= 0 &&
              FitsAt(image.size(), static_cast<std::size_t>(slot.Offset), slot.Size));
    const auto n = static_cast<std::uint16_t>(slot.Size);
    out.insert(out.end(), {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                           static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8)});
    const Bytes item = image.subspan(static_cast<std::size_t>(slot.Offset), slot.Size);
    out.insert(out.end(), item.begin(), item.end());
  }
}

// The program part with the records behind it and, when there are any, the trailer.
TImage WithStore(Bytes image, std::size_t programPart, const TImage& records) {
  TImage out(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(programPart));
  out.insert(out.end(), records.begin(), records.end());
  if (!records.empty()) {
    out.resize(out.size() + SaveTrailerSize);
    store_u32le(out, out.size() - 8, static_cast<std::uint32_t>(programPart));
    store_u32le(out, out.size() - 4, SaveAreaMagic);
  }
  return out;
}

struct TRun {
  std::uint8_t Flags = 0, Lzo = 0, IconItem = 0, Firmware = 0;
  std::uint32_t Ticks[2] = {0, 0};
  std::optional<TImage> Section;
  Bytes File;  // the telephone's copy, which the command reads

  bool PicksFile() const { return (Flags & 16) == 0; }
  // The answer to the k-th save-slot dialog shown.
  TSlotAnswer Answer(int k) const { return {(Flags & (32 << k)) == 0, Ticks[k]}; }
};

// What the command should leave: the section it writes (none: the section stays as it was),
// the save-slot dialogs it shows, the start of its last box, whether it ends in an exception.
struct TOutcome {
  std::optional<TImage> Written;
  int SlotDialogs = 0;
  std::string LastBox;
  bool Exception = false;

  // The next save-slot dialog and the user's answer to it.
  TSlotAnswer Show(const TRun& r) { return r.Answer(SlotDialogs++); }
};

std::string Box(const char* caption, const std::string& text) {
  return std::string(caption) + ": " + text;
}

TOutcome UploadSaveSlot(const TRun& r) {
  TOutcome o;
  if (r.Section && r.Section->size() > kBuffer) {
    o.LastBox = Box(kErrorCaption, "Can't upload save slot - section 2-2 too big!");
    return o;
  }
  const Bytes image = r.Section ? Bytes(*r.Section) : Bytes();
  const TParsed s = Parse(image);
  TImage records;
  if (s.Count > 0) {
    const TSlotAnswer a = o.Show(r);
    if (!a.Ok) return o;
    AppendRecords(records, image, s, a.Ticks, false);  // ticked: removed
  }
  const std::size_t programPart = s.Count > 0 ? static_cast<std::size_t>(s.Start) : image.size();
  if (r.PicksFile()) {
    const Bytes file = r.File.first(std::min(r.File.size(), kBuffer));
    const TParsed f = Parse(file);
    if (f.Count == 0) {
      o.LastBox = Box(kErrorCaption, "Can't uplod - no save slots in file!");
      return o;
    }
    const TSlotAnswer a = o.Show(r);
    if (a.Ok) AppendRecords(records, file, f, a.Ticks, true);
  }
  if (programPart + records.size() + (records.empty() ? 0 : SaveTrailerSize) > kBuffer) {
    o.LastBox = Box(kErrorCaption, kFileTooBig);
    return o;
  }
  o.Written = WithStore(image, programPart, records);
  o.LastBox = Box(kOkCaption, "Save slot uploaded sucsessfully!");
  return o;
}

// The icon code the icon dialog gives with the run's answers.
std::uint32_t IconCode(const TRun& r) {
  if ((r.Lzo & 8) == 0) return DefaultIconCode;
  return IconCodeFromCaption(IconCaption(r.IconItem));
}

// `title` is the row's: the run may set it to the name of the program it uploads.
TOutcome UploadLzo(const TRun& r, const std::string& firmware, std::string& title) {
  TOutcome o;
  if (!r.PicksFile()) return o;
  TImage image(r.File.begin(),
               r.File.begin() + static_cast<std::ptrdiff_t>(std::min(r.File.size(), kBuffer)));
  image.resize(
      static_cast<std::size_t>(StripFiller(image, static_cast<std::int32_t>(image.size()))));
  if (IsUFIF20(image)) {
    // The prompt saves the settings as it closes; the telephone's settings path refuses it.
    o.LastBox = Box(kErrorCaption, "The settings could not be saved.");
    const int answer = r.Lzo & 3;
    if (answer >= 2) return o;
    if (answer == 0) {
      TFirmwareChoice fw;
      try {
        fw = ParseFirmwareText(firmware);
      } catch (const EConvertError&) {
        o.Exception = true;
        return o;
      }
      MarkUFIF21(image);
      ConvertToUFIF21(image, fw);
    }
  }
  if (r.Flags & 128) {
    o.LastBox = Box(kErrorCaption, "LZO compression error!");
    return o;
  }
  TImage built = image;
  const std::size_t n = BuildLZOImage(
      built, built.size(), [&r] { return IconCode(r); }, TLZOCompressor(CompressLZO1X1));
  ZUB_CHECK(n > 0);
  built.resize(n);
  if (r.Lzo & 4) title = Cp1251ToUtf8(load_text(built, TLZOHeader::Name, TLZOHeader::NameSize));

  // The old version's items the user keeps.
  TImage kept;
  if (n <= kMaxCarryOverImage && IsSameProgram(built, title)) {
    if (!r.Section) {
      o.LastBox = Box(kErrorCaption, "Error reading section 2-2");
      return o;
    }
    const Bytes old = Bytes(*r.Section).first(std::min(r.Section->size(), kBuffer));
    const TParsed s = Parse(old);
    if (s.Count > 0) {
      const TSlotAnswer a = o.Show(r);
      if (a.Ok) AppendRecords(kept, old, s, a.Ticks, true);
    }
  }
  // The new image's own items; a cancelled choice uploads the image as it is.
  const TParsed p = Parse(built);
  TImage result = built;
  const TSlotAnswer a = p.Count > 0 ? o.Show(r) : TSlotAnswer{};
  if (a.Ok) {
    const std::size_t programPart = p.Count > 0 ? static_cast<std::size_t>(p.Start) : n;
    TImage records;
    AppendRecords(records, built, p, a.Ticks, true);
    records.insert(records.end(), kept.begin(), kept.end());
    if (programPart + records.size() + (records.empty() ? 0 : SaveTrailerSize) > kBuffer) {
      o.LastBox = Box(kErrorCaption, kFileTooBig);
      return o;
    }
    result = WithStore(built, programPart, records);
  }
  if (result.size() > static_cast<std::size_t>(kMaxUploadSize)) {
    o.LastBox = Box(kErrorCaption, kFileTooBig);
    return o;
  }
  o.Written = std::move(result);
  o.LastBox = Box(kOkCaption, kUploadedSuccessfully);
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzInput in(data, size);
  TRun r;
  r.Flags = in.Byte();
  r.Lzo = in.Byte();
  r.IconItem = in.Byte();
  r.Firmware = in.Byte();
  r.Ticks[0] = in.U32();
  r.Ticks[1] = in.U32();
  r.Section = ReadImage(in, r.Flags & 1, true);
  if (r.Flags & 4) r.Section.reset();
  TFuzzPhone& phone = TFuzzPhone::Get(kAddress);
  phone.File = ReadImage(in, r.Flags & 2, false);
  r.File = phone.File;
  const bool lzo = (r.Flags & 8) != 0;

  TManager& m = phone.Core();
  TSectInfo& row = phone.StartRun();
  phone.PutSection(r.Section);
  TScriptedUser& user = phone.User;
  user.PicksFile = r.PicksFile();
  user.SlotAnswers = {r.Answer(0), r.Answer(1)};
  user.ConversionAnswer = (r.Lzo & 3) == 0 ? mrYes : (r.Lzo & 3) == 1 ? mrNo : mrCancel;
  user.IconAnswer = (r.Lzo & 8) ? mrOk : mrCancel;
  user.IconItem = r.IconItem;
  const std::string firmware =
      r.Firmware < m.Experts.FWItems.size() ? m.Experts.FWItems[r.Firmware] : std::string("x");
  m.SetFWText(firmware);

  TOutcome expected;
  if (lzo) {
    expected = UploadLzo(r, firmware, row.Title);
    const bool failing = (r.Flags & 128) != 0;
    const auto compress =
        failing ? TLZOCompressor([](Bytes) { return std::optional<std::vector<std::uint8_t>>{}; })
                : TLZOCompressor(CompressLZO1X1);
    m.Run([&] { UploadLZOActionExecute(m, compress); });
  } else {
    expected = UploadSaveSlot(r);
    m.Run([&] { UploadSaveActionExecute(m); });
  }

  ZUB_CHECK(!m.NVM->PortOpen());
  ZUB_CHECK(phone.Section() == (expected.Written ? expected.Written : r.Section));
  ZUB_CHECK(user.SlotDialogs == expected.SlotDialogs);
  ZUB_CHECK(user.Exceptions.size() == (expected.Exception ? 1u : 0u));
  if (expected.LastBox.empty()) {
    ZUB_CHECK(user.Boxes.empty());
  } else {
    ZUB_CHECK(!user.Boxes.empty() && user.Boxes.back().starts_with(expected.LastBox));
  }
  return 0;
}
