#include "tools/Maintenance.h"

#include <string>
#include <vector>

#include "app/FileIO.h"
#include "app/TextLines.h"
#include "tools/LibReorder.h"

namespace zub {

void Button8Click(TManager& m) {
  const auto path = m.UI.OpenFile("");
  if (!path) return;
  const std::vector<std::string> reference = SplitLines(ReadTextFile(kReferenceListName));
  const std::vector<std::string> chosen = SplitLines(ReadTextFile(*path));
  const std::string text = JoinLines(ReorderLibraryList(reference, chosen));
  WriteFileAtomic(*path + "_",
                  Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void ButtonCli(TManager& m) {
  if (!m.NVM->InitGBP()) return;
  m.NVM->SetSect(17);
  m.NVM->SetSSect(19);
  m.NVM->Clear();
  m.NVM->EndGBP();
  m.UI.Status("Erased!");
}

}  // namespace zub
