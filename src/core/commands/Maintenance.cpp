#include "commands/Maintenance.h"

#include <string>
#include <vector>

#include "base/FileIO.h"
#include "base/TextLines.h"
#include "commands/Messages.h"
#include "commands/SectionEngine.h"
#include "commands/SectionIO.h"
#include "device/GBPSession.h"
#include "formats/LibReorder.h"

namespace zub {

void Button8Click(TCoreState& m) {
  const auto path = m.UI.OpenFile("");
  if (!path) return;
  const std::vector<std::string> reference = SplitLines(m.ReadInputText(kReferenceListName));
  const std::vector<std::string> chosen = SplitLines(m.ReadInputText(*path));
  const std::string text = JoinLines(ReorderLibraryList(reference, chosen));
  WriteFileAtomic(*path + "_",
                  Bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void ButtonCli(TCoreState& m) {
  TGBPSession session(*m.NVM);
  if (!session) return;
  const TSectionAddress a{17, 19};
  const std::int32_t r = ClearSection(*m.NVM, a);
  const bool lost = m.NVM->LinkLost();
  session.Close();
  if (lost) {
    ReportLinkLost(m, LinkLostError(a, TDeviceActivity::Erasing));
    return;
  }
  // No rescan follows this erase, so a clear the library refused is known by its answer only:
  // it must not be shown as done.
  if (r < 0) {
    m.UI.MessageBox(kErrorCaption, "Error erasing section " + a.Text());
    m.UI.Status("Erase error!");
    return;
  }
  m.UI.Status(kStatusErased);
}

}  // namespace zub
