#include "commands/SectionIO.h"

#include <algorithm>

#include "base/FileIO.h"
#include "commands/Scan.h"
#include "device/GBPSession.h"
#include "device/GbpApi.h"
#include "formats/Ufif.h"

namespace zub {

std::int32_t ReadInto(TNVMSection& nvm, std::vector<std::uint8_t>& buffer) {
  const std::int32_t n = nvm.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
  // A library that claims more than the buffer holds still delivered at most the buffer.
  buffer.resize(n < 0 ? 0 : std::min(static_cast<std::size_t>(n), buffer.size()));
  return n;
}

std::optional<TSectionContent> ReadWholeSection(TCoreState& m, std::int32_t section,
                                                std::int32_t subSection,
                                                const TReadOptions& options) {
  TGBPSession session =
      options.ReadOpensConnection ? TGBPSession::OnDemand(*m.NVM) : TGBPSession(*m.NVM);
  if (!session) return std::nullopt;
  session.Select(section, subSection);
  TSectionContent content;
  std::optional<std::size_t> size;
  if (options.SizeFirst) {
    if (const std::int32_t s = m.NVM->GetSize(); s >= 0) size = static_cast<std::size_t>(s);
  }
  // One byte more than the size: a section that grew since the size query fills it.
  content.Data.resize(size ? std::min(*size + 1, kMaxWholeSection) : options.Capacity);
  std::int32_t n = ReadInto(*m.NVM, content.Data);
  // Only a read that answers "no such section", or a section of size 0, is empty: a read
  // answers -5 for a COMM error too, and taking a section that could not be read for an
  // empty one would let a command write over what it holds.
  bool absent = false;
  if (options.AbsentIsEmpty && n < 0) absent = n == gbp::kNoSection || m.NVM->GetSize() == 0;
  if (options.DetectLonger && n >= 0 && static_cast<std::size_t>(n) >= options.Capacity)
    content.Longer = static_cast<std::size_t>(n) > options.Capacity || m.NVM->GetSize() != n;
  // A copy shorter than the section would lose its tail; one longer is of another section.
  if (size && n >= 0 && content.Data.size() != *size) n = -1;
  // Without the size, a full buffer may hold only the head of a longer section.
  if (options.SizeFirst && !size && n >= 0 && static_cast<std::size_t>(n) >= options.Capacity)
    n = -1;
  session.Close();
  if (absent) return content;
  if (n < 0) {
    m.UI.MessageBox(kErrorCaption, ErrorReadingSection(section, subSection));
    return std::nullopt;
  }
  return content;
}

std::optional<std::vector<std::uint8_t>> OpenProgramFile(TCoreState& m) {
  const auto path = m.UI.OpenFile(kOpenDialog1Filter);
  if (!path) return std::nullopt;
  m.UI.Status(kStatusUploading);
  std::vector<std::uint8_t> image = ReadFileHead(*path, kSectionBufferSize);
  image.resize(
      static_cast<std::size_t>(StripFiller(image, static_cast<std::int32_t>(image.size()))));
  return image;
}

std::optional<TWriteResult> WriteAndRescan(TCoreState& m, TSectInfo& row, Bytes image) {
  TGBPSession session(*m.NVM);
  if (!session) return std::nullopt;
  session.Select(row.Section, row.SubSection);
  TWriteResult result;
  result.Written = m.NVM->Write(image.data(), static_cast<std::uint32_t>(image.size()));
  result.Size = ScanSection(m, row);
  session.Close();
  m.UI.RepaintGrid();
  return result;
}

void ReportUpload(TCoreState& m, const TWriteResult& r, std::int32_t n, const char* success,
                  const char* done, const char* failure) {
  if (r.Written >= 0 && r.Size == n) {
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
  session.Select(section, subSection);
  const std::int32_t size = m.NVM->GetSize();
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
  session.Select(section, subSection);
  const auto n = static_cast<std::int32_t>(image.size());
  const std::int32_t written = m.NVM->Write(image.data(), static_cast<std::uint32_t>(n));
  const std::int32_t r = VerifyUpload(m, section, subSection, n, written);
  session.Close();
  m.UI.Status(r < 0 ? kStatusUploadError : kStatusUploaded);
}

}  // namespace zub
