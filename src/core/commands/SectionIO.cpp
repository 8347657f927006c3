#include "commands/SectionIO.h"

#include <algorithm>

#include "base/FileIO.h"
#include "commands/Scan.h"
#include "device/GBPSession.h"
#include "device/GbpApi.h"
#include "formats/Ufif.h"

namespace zub {
namespace {

bool NoSuchSection(std::int32_t result) {
  return result == gbp::kNoSection || result == gbp::kNoSectionAlt;
}

}  // namespace

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
  content.Data.resize(options.Capacity);
  const std::int32_t n = ReadInto(*m.NVM, content.Data);
  // Only the size query tells an absent section from a failed read: a read answers -5 for a
  // COMM error too, and taking a section that could not be read for an empty one would let a
  // command write over what it holds.
  bool absent = false;
  if (options.AbsentIsEmpty && NoSuchSection(n)) absent = NoSuchSection(m.NVM->GetSize());
  if (options.DetectLonger && n >= 0 && static_cast<std::size_t>(n) >= options.Capacity)
    content.Longer = static_cast<std::size_t>(n) > options.Capacity || m.NVM->GetSize() != n;
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

std::optional<std::int32_t> WriteAndRescan(TCoreState& m, TSectInfo& row, Bytes image) {
  TGBPSession session(*m.NVM);
  if (!session) return std::nullopt;
  session.Select(row.Section, row.SubSection);
  m.NVM->Write(image.data(), static_cast<std::uint32_t>(image.size()));
  const std::int32_t size = ScanSection(m, row);
  session.Close();
  m.UI.RepaintGrid();
  return size;
}

void ReportUpload(TCoreState& m, std::int32_t r, std::int32_t n, const char* success,
                  const char* done, const char* failure) {
  if (r == n) {
    m.UI.MessageBox(kOkCaption, success);
    m.UI.Status(done);
  } else {
    m.UI.MessageBox(kErrorCaption, failure);
    m.UI.Status(kStatusUploadError);
  }
}

std::int32_t VerifyUpload(TCoreState& m, std::int32_t section, std::int32_t subSection,
                          std::int32_t expected) {
  m.UI.Status("Checking data...");
  TGBPSession session = TGBPSession::Join(*m.NVM);
  if (!session) return -1;
  session.Select(section, subSection);
  const std::int32_t size = m.NVM->GetSize();
  if (size == expected) {
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
  m.NVM->Write(image.data(), static_cast<std::uint32_t>(n));
  const std::int32_t r = VerifyUpload(m, section, subSection, n);
  session.Close();
  m.UI.Status(r < 0 ? kStatusUploadError : kStatusUploaded);
}

}  // namespace zub
