#include "formats/LibraryUpload.h"

#include <string>
#include <vector>

#include "app/Convert.h"
#include "app/FileIO.h"
#include "formats/Prg3Library.h"
#include "prefs/Preferences.h"
#include "transfer/Transfer.h"

namespace zub {
namespace {

constexpr const char* kLibraryTooBig = "Can't uplod - library file too big!";

// Writes the image on a connection of its own and checks it; the status line tells whether the
// telephone kept it.
void WriteAndVerify(TManager& m, std::int32_t section, std::int32_t subSection, Bytes image) {
  if (!m.NVM->InitGBP()) return;
  m.NVM->SetSect(section);
  m.NVM->SetSSect(subSection);
  const auto n = static_cast<std::int32_t>(image.size());
  m.NVM->Write(image.data(), static_cast<std::uint32_t>(n));
  const std::int32_t r = VerifyUpload(m, section, subSection, n);
  m.NVM->EndGBP();
  m.UI.Status(r < 0 ? "Upload error!" : "Uploaded!");
}

}  // namespace

void Button5Click(TManager& m) {
  GetPrefAction(m);
  std::int32_t subSection = StrToInt(m.Pref.ssEdit);
  std::int32_t section = StrToInt(m.Pref.sEdit);
  if (!m.UI.Confirm("Confirm", "Are you sure to upload library into section " +
                                   std::to_string(section) + "-" + std::to_string(subSection) +
                                   "?"))
    return;
  subSection = StrToInt(m.Pref.ssEdit);
  section = StrToInt(m.Pref.sEdit);
  UploadLibFile(m, section, subSection);
}

void Button6Click(TManager& m) {
  UploadPRG3Lib(m, 2, 16);
}

void Button9Click(TManager& m) {
  UploadFileTrimmed(m, 17, 19);
}

void UploadLibFile(TManager& m, std::int32_t section, std::int32_t subSection) {
  const auto path = m.UI.OpenFile(kOpenDialog1Filter);
  if (!path) return;
  m.UI.Status("Uploading data...");
  // One byte past the limit is enough to tell a file that is too big.
  const std::vector<std::uint8_t> content = ReadFileHead(*path, kMaxLibrarySize + 1);
  if (content.size() > kMaxLibrarySize) {
    m.UI.MessageBox("ERROR", kLibraryTooBig);
    return;
  }
  WriteAndVerify(m, section, subSection, content);
}

void UploadPRG3Lib(TManager& m, std::int32_t section, std::int32_t subSection) {
  const auto path = m.UI.OpenFile(kOpenDialog1Filter);
  if (!path) return;
  m.UI.Status("Uploading data...");
  const TPRG3Image image = BuildPRG3Image(ReadTextFile(*path));
  if (image.TooBig) {
    m.UI.MessageBox("ERROR", kLibraryTooBig);
    return;
  }
  WriteAndVerify(m, section, subSection, image.Image);
}

void UploadFileTrimmed(TManager& m, std::int32_t section, std::int32_t subSection) {
  const auto path = m.UI.OpenFile(kOpenDialog1Filter);
  if (!path) return;
  m.UI.Status("Uploading data...");
  std::vector<std::uint8_t> content = ReadFileHead(*path, kSectionBufferSize);
  content.resize(
      static_cast<std::size_t>(StripFiller(content, static_cast<std::int32_t>(content.size()))));
  // Writing nothing would only leave an empty section behind that looks like a success.
  if (content.empty()) {
    m.UI.MessageBox("ERROR", "Can't uplod - file is empty!");
    return;
  }
  WriteAndVerify(m, section, subSection, content);
}

}  // namespace zub
