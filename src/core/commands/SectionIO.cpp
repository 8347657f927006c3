#include "commands/SectionIO.h"

#include <algorithm>

#include "commands/Scan.h"
#include "device/GBPSession.h"
#include "device/GbpApi.h"
#include "formats/Ufif.h"

namespace zub {

std::optional<TSectionContent> LoadSection(TCoreState& m, TSectionAddress a,
                                           const TReadOptions& options, bool* linkLost) {
  if (linkLost) *linkLost = false;
  m.ForgetDeviceMessage();
  TGBPSession session =
      options.ReadOpensConnection ? TGBPSession::OnDemand(*m.NVM) : TGBPSession(*m.NVM);
  if (!session) {
    // The component has told why; an opening that lost the link ends the command too.
    if (linkLost) *linkLost = m.NVM->LinkLost();
    return std::nullopt;
  }
  TSectionContent content;
  bool failed = false;
  bool absent = false;
  // Each call is looked at before the next is made: a lost answer is no answer at all.
  std::optional<TStepError> lost;
  const auto lostIn = [&](TDeviceActivity what) {
    if (!lost && m.NVM->LinkLost()) lost = LinkLostError(a, what);
    return lost.has_value();
  };
  const TSizeAnswer sized =
      options.SizeFirst ? AskSize(*m.NVM, a) : TSizeAnswer{a, TSizeState::Failed, 0, -1, {}};
  if (options.SizeFirst && lostIn(TDeviceActivity::Sizing)) {
    failed = true;
  } else if (options.SizeFirst && sized.Code >= 0) {
    // The size is known: the whole section, every byte of it, or nothing.
    TSectionRead whole = ReadSized(*m.NVM, a, sized.Code);
    failed = lostIn(TDeviceActivity::Reading) || whole.Error.has_value();
    content.Data = std::move(whole.Bytes);
  } else {
    session.Select(a.Section, a.SubSection);
    content.Data.resize(options.Capacity);
    const std::int32_t n = ReadInto(*m.NVM, content.Data);
    failed = lostIn(TDeviceActivity::Reading) || n < 0;
    // Only a read that answers "no such section", or a section of size 0, is empty: a read
    // answers -5 for a COMM error too, and taking a section that could not be read for an
    // empty one would let a command write over what it holds.
    if (!lost && options.AbsentIsEmpty && n < 0)
      absent = n == gbp::kNoSection ||
               (AskSize(*m.NVM, a).Code == 0 && !lostIn(TDeviceActivity::Sizing));
    if (!lost && options.DetectLonger && n >= 0 &&
        static_cast<std::size_t>(n) >= options.Capacity) {
      content.Longer =
          static_cast<std::size_t>(n) > options.Capacity || AskSize(*m.NVM, a).Code != n;
      failed = lostIn(TDeviceActivity::Sizing);
    }
    // Without the size, a full buffer may hold only the head of a longer section.
    if (options.SizeFirst && n >= 0 && static_cast<std::size_t>(n) >= options.Capacity)
      failed = true;
    // Less than the buffer, or a full one that the size shows is all, is the whole section:
    // the history keeps it as the engine's reads are kept.
    const bool whole = n >= 0 && !failed &&
                       (static_cast<std::size_t>(n) < options.Capacity ||
                        (options.DetectLonger && !content.Longer));
    if (ISectionContentObserver* o = m.NVM->ContentObserver(); o && whole && !m.NVM->LinkLost())
      o->OnContent(*m.NVM, a, TContentEvent::Read, content.Data);
  }
  session.Close();
  if (lost) {
    if (linkLost) *linkLost = true;
    // An opening that lost the link (the read's own) was told by the component already.
    if (m.LastDeviceMessage().empty()) ReportLinkLost(m, *lost);
    return std::nullopt;
  }
  if (absent) return content;
  if (failed) {
    m.UI.MessageBox(kErrorCaption, ErrorReadingSection(a.Section, a.SubSection));
    return std::nullopt;
  }
  return content;
}

bool IsLinkLost(const std::optional<TStepError>& e) {
  return e && e->Kind == TFailureKind::LinkLost;
}

void ReportLinkLost(TCoreState& m, const TStepError& e, const char* note) {
  const TSectionAddress a = e.Lost.Address;
  std::string text = e.ContentUnknown()
                         ? LostWhileChangingText(a, e.Lost.What == TDeviceActivity::Erasing)
                         : StoppedAnsweringText(a);
  if (note) text += std::string("\n") + note;
  m.UI.Status(StoppedAtText(a));
  m.UI.MessageBox(kErrorCaption, text);
}

std::optional<std::vector<std::uint8_t>> OpenProgramFile(TCoreState& m) {
  const auto path = m.UI.OpenFile(kOpenDialog1Filter);
  if (!path) return std::nullopt;
  m.UI.Status(kStatusUploading);
  std::vector<std::uint8_t> image = m.ReadInputFile(*path, kSectionBufferSize);
  image.resize(
      static_cast<std::size_t>(StripFiller(image, static_cast<std::int32_t>(image.size()))));
  return image;
}

std::optional<TWriteResult> WriteAndRescan(TCoreState& m, TSectInfo& row, Bytes image) {
  TGBPSession session(*m.NVM);
  if (!session) return std::nullopt;
  TWriteResult result;
  result.Written = WriteSection(*m.NVM, row.Address(), image);
  if (m.NVM->LinkLost()) {
    result.Lost = LinkLostError(row.Address(), TDeviceActivity::Writing);
  } else {
    const TScanResult scan = ScanRow(m, row);
    if (IsLinkLost(scan.Error))
      result.Lost = scan.Error;
    else if (scan.Error)
      m.UI.MessageBox(kErrorCaption, scan.Error->Text);
    result.Size = scan.Size;
  }
  session.Close();
  m.UI.RepaintGrid();
  return result;
}

void ReportUpload(TCoreState& m, const TWriteResult& r, std::int32_t n, const char* success,
                  const char* done, const char* failure) {
  if (r.Lost) {
    ReportLinkLost(m, *r.Lost);
  } else if (r.Written >= 0 && r.Size == n) {
    m.UI.MessageBox(kOkCaption, success);
    m.UI.Status(done);
  } else {
    m.UI.MessageBox(kErrorCaption, failure);
    m.UI.Status(kStatusUploadError);
  }
}

std::int32_t VerifyUpload(TCoreState& m, std::int32_t section, std::int32_t subSection,
                          std::int32_t expected, std::int32_t written) {
  m.UI.Status("Checking data...");
  TGBPSession session = TGBPSession::Join(*m.NVM);
  if (!session) return -1;
  const std::int32_t size = AskSize(*m.NVM, {section, subSection}).Code;
  if (m.NVM->LinkLost()) return -1;
  if (written >= 0 && size == expected) {
    m.UI.MessageBox(kOkCaption, std::string(kUploadedSuccessfully) +
                                    " Size: " + std::to_string(size) + " bytes");
    return size;
  }
  m.UI.MessageBox(kErrorCaption, kUploadErrorText);
  return -1;
}

void WriteAndVerify(TCoreState& m, std::int32_t section, std::int32_t subSection, Bytes image) {
  TGBPSession session(*m.NVM);
  if (!session) return;
  const TSectionAddress a{section, subSection};
  const auto n = static_cast<std::int32_t>(image.size());
  const std::int32_t written = WriteSection(*m.NVM, a, image);
  const bool writeLost = m.NVM->LinkLost();
  const std::int32_t r = writeLost ? -1 : VerifyUpload(m, section, subSection, n, written);
  if (writeLost || m.NVM->LinkLost()) {
    session.Close();
    ReportLinkLost(
        m, LinkLostError(a, writeLost ? TDeviceActivity::Writing : TDeviceActivity::Sizing));
    return;
  }
  session.Close();
  m.UI.Status(r < 0 ? kStatusUploadError : kStatusUploaded);
}

}  // namespace zub
