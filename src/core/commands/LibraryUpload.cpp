#include "commands/LibraryUpload.h"

#include <string>
#include <vector>

#include "base/Convert.h"
#include "commands/Messages.h"
#include "commands/Preferences.h"
#include "commands/SectionIO.h"
#include "formats/Prg3Library.h"
#include "formats/Ufif.h"

namespace zub {
namespace {

constexpr const char* kLibraryTooBig = "Can't uplod - library file too big!";

}  // namespace

void Button5Click(TCoreState& m) {
  if (!GetPrefAction(m)) return;
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

void Button6Click(TCoreState& m) {
  UploadPRG3Lib(m, 2, 16);
}

void Button9Click(TCoreState& m) {
  UploadFileTrimmed(m, 17, 19);
}

void UploadLibFile(TCoreState& m, std::int32_t section, std::int32_t subSection) {
  const auto path = m.UI.OpenFile(kOpenDialog1Filter);
  if (!path) return;
  m.UI.Status(kStatusUploading);
  // One byte past the limit is enough to tell a file that is too big.
  const std::vector<std::uint8_t> content = m.ReadInputFile(*path, kMaxLibrarySize + 1);
  if (content.size() > kMaxLibrarySize) {
    m.UI.MessageBox(kErrorCaption, kLibraryTooBig);
    return;
  }
  // Writing nothing would only leave an empty section behind that looks like a success.
  if (content.empty()) {
    m.UI.MessageBox(kErrorCaption, kFileEmpty);
    return;
  }
  WriteAndVerify(m, section, subSection, content);
}

void UploadPRG3Lib(TCoreState& m, std::int32_t section, std::int32_t subSection) {
  const auto path = m.UI.OpenFile(kOpenDialog1Filter);
  if (!path) return;
  m.UI.Status(kStatusUploading);
  const TPRG3Image image = BuildPRG3Image(m.ReadInputText(*path));
  if (image.TooBig) {
    m.UI.MessageBox(kErrorCaption, kLibraryTooBig);
    return;
  }
  if (image.Image.empty()) {
    m.UI.MessageBox(kErrorCaption, "Can't uplod - no numbers in library file!");
    return;
  }
  WriteAndVerify(m, section, subSection, image.Image);
}

void UploadFileTrimmed(TCoreState& m, std::int32_t section, std::int32_t subSection) {
  const auto content = OpenProgramFile(m);
  if (!content) return;
  // Writing nothing would only leave an empty section behind that looks like a success.
  if (content->empty()) {
    m.UI.MessageBox(kErrorCaption, kFileEmpty);
    return;
  }
  WriteAndVerify(m, section, subSection, *content);
}

}  // namespace zub
