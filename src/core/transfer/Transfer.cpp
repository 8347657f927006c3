#include "transfer/Transfer.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "app/FileIO.h"
#include "browser/Scan.h"
#include "formats/Conversion.h"

namespace zub {
namespace {

constexpr std::uint16_t kFillerWord = 0x46C0;
constexpr std::uint32_t kGifReadCapacity = 220000;

// Reads up to `capacity` bytes of the row's section on a connection of its own, closed before
// the caller asks the user anything; nullopt when the connection could not be opened or the
// read failed (after its box). A library that claims more than the capacity still delivered
// at most the capacity.
std::optional<std::vector<std::uint8_t>> DownloadSection(TManager& m, const TSectInfo& row,
                                                         std::size_t capacity) {
  if (!m.NVM->InitGBP()) return std::nullopt;
  SelectSection(m, row);
  std::vector<std::uint8_t> buffer(capacity);
  const std::int32_t n = m.NVM->Read(buffer.data(), static_cast<std::uint32_t>(capacity));
  m.NVM->EndGBP();
  if (n < 0) {
    m.UI.MessageBox("ERROR",
                    "Error reading section " + SectionAddress(row.Section, row.SubSection));
    return std::nullopt;
  }
  buffer.resize(std::min(static_cast<std::size_t>(n), capacity));
  return buffer;
}

}  // namespace

const char* const kUploadErrorText =
    "Section uploaded with error or out of memory!\nTry to upload again or free some NVM memory";

void SelectSection(TManager& m, const TSectInfo& row) {
  m.NVM->SetSect(row.Section);
  m.NVM->SetSSect(row.SubSection);
}

std::optional<std::int32_t> WriteAndRescan(TManager& m, TSectInfo& row, Bytes image) {
  if (!m.NVM->InitGBP()) return std::nullopt;
  SelectSection(m, row);
  m.NVM->Write(image.data(), static_cast<std::uint32_t>(image.size()));
  const std::int32_t size = ScanSection(m, row);
  m.NVM->EndGBP();
  m.UI.RepaintGrid();
  return size;
}

std::int32_t StripFiller(Bytes data, std::int32_t n) {
  if (n > static_cast<std::int32_t>(data.size())) n = static_cast<std::int32_t>(data.size());
  while (n >= 2 && load_u16le(data, static_cast<std::size_t>(n - 2)) == kFillerWord) n -= 2;
  return n;
}

std::int32_t VerifyUpload(TManager& m, std::int32_t section, std::int32_t subSection,
                          std::int32_t expected) {
  m.UI.Status("Checking data...");
  if (!m.NVM->InitGBP()) return -1;
  m.NVM->SetSect(section);
  m.NVM->SetSSect(subSection);
  const std::int32_t size = m.NVM->GetSize();
  if (size == expected) {
    m.UI.MessageBox("OK!",
                    "Section uploaded sucsessfully! Size: " + std::to_string(size) + " bytes");
    return size;
  }
  m.UI.MessageBox("ERROR", kUploadErrorText);
  return -1;
}

void ReportUpload(TManager& m, std::int32_t r, std::int32_t n, const char* success,
                  const char* done) {
  if (r == n) {
    m.UI.MessageBox("OK!", success);
    m.UI.Status(done);
  } else {
    m.UI.MessageBox("ERROR", kUploadErrorText);
    m.UI.Status("Upload error!");
  }
}

void UploadActionExecute(TManager& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  const auto path = m.UI.OpenFile(kOpenDialog1Filter);
  if (!path) return;
  m.UI.Status("Uploading data...");
  std::vector<std::uint8_t> buffer = ReadFileHead(*path, kSectionBufferSize);
  const std::int32_t n = StripFiller(buffer, static_cast<std::int32_t>(buffer.size()));
  buffer.resize(static_cast<std::size_t>(n));
  if (!OfferConversion(m, buffer)) return;
  if (n > kMaxUploadSize) {
    m.UI.MessageBox("ERROR", "Can't uplod - file too big!");
    return;
  }
  const auto r = WriteAndRescan(m, *row, Bytes(buffer.data(), static_cast<std::size_t>(n)));
  if (!r) return;
  ReportUpload(m, *r, n);
}

void DownloadActionExecute(TManager& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  m.UI.Status("Downloading data...");
  // The whole section, not only its first 22000 bytes: a backup must not lose data.
  const auto buffer = DownloadSection(m, *row, kSectionBufferSize);
  if (!buffer) return;
  if (const auto path = m.UI.SaveFile()) WriteFileAtomic(*path, *buffer);
  m.UI.Status("Downloaded!");
}

bool ClearActionExecute(TManager& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return false;
  m.UI.Status("Erasing section...");
  if (!m.NVM->InitGBP()) return false;
  SelectSection(m, *row);
  m.NVM->Clear();
  const std::int32_t r = ScanSection(m, *row);
  m.NVM->EndGBP();
  m.UI.RepaintGrid();
  // An erase is reported only when the section reads as empty afterwards.
  if (r != 0) {
    m.UI.MessageBox("ERROR",
                    "Error erasing section " + SectionAddress(row->Section, row->SubSection));
    m.UI.Status("Erase error!");
    return false;
  }
  m.UI.Status("Erased!");
  return true;
}

void PlayGIFActionExecute(TManager& m) {
  TSectInfo* row = m.CurrentSection();
  if (!row) return;
  m.UI.Status("Downloading data...");
  const auto buffer = DownloadSection(m, *row, kGifReadCapacity);
  if (!buffer) return;
  m.UI.Status("Downloaded!");
  WriteFileAtomic("temp.gif", *buffer);
  if (!m.UI.Launch("start temp.gif")) {
    std::error_code ec;
    const std::filesystem::path saved = std::filesystem::absolute("temp.gif", ec);
    m.UI.MessageBox("ERROR",
                    "Can't open the picture: no program could be started for " + saved.string());
  }
}

void Button4Click(TManager& m) {
  if (!m.NVM->InitGBP()) return;
  std::int64_t total = 0;
  for (int i = 1; i <= 31; ++i) {
    m.NVM->SetSect(18);
    m.NVM->SetSSect(i);
    const std::int32_t size = m.NVM->GetSize();
    if (size > 0) total += size;
  }
  m.NVM->EndGBP();
  m.UI.MessageBox("", "Total Section 18xx size = " + std::to_string(total));
}

}  // namespace zub
