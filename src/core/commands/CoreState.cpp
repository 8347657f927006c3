// The core state: construction of the device component and the settings file object, the
// settings load and save, the catalogue, and the handlers of the controls whose state lives here.
#include "commands/CoreState.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

#include "base/Cp1251.h"
#include "base/FileIO.h"
#include "commands/Catalogue.h"
#include "commands/Messages.h"

namespace zub {
namespace {

// The settings the tool reads and writes, with their defaults.
constexpr const char* kForm = "Form";
constexpr const char* kManager = "Manager";
struct FormKey {
  const char* key;
  int TWindowBounds::*field;
  int defaultValue;
};
constexpr FormKey kFormKeys[] = {
    {"Top", &TWindowBounds::Top, 20},
    {"Left", &TWindowBounds::Left, 240},
    {"Width", &TWindowBounds::Width, 330},
    {"Height", &TWindowBounds::Height, 420},
};
// Bounds a window can have: big enough to use, small enough for any screen. A file that says
// otherwise (a hand edit, a window saved while minimised) gets the nearest such bounds.
constexpr int kMinWidth = 160;
constexpr int kMinHeight = 120;
constexpr int kMaxExtent = 16384;
constexpr const char* kComPortKey = "COM-Port";
constexpr const char* kUfifFwKey = "UFIFFW";
constexpr const char* kCteModeKey = "CTEMode";
// The devices a Windows device library's COM1..COM4 lead to under Wine (e.g. /dev/ttyACM0).
constexpr const char* kDevice = "Device";
// A save's temporary file older than this was left by a save that never finished; a younger
// one may be another running copy's save in progress.
constexpr std::chrono::seconds kLeftoverAge{60};
constexpr const char* kCallTimeoutKey = "CallTimeout";
constexpr int kDefaultCallTimeout = 30;

}  // namespace

TCoreState::TCoreState(IInteraction& ui, TManagerOptions options)
    : UI(ui), Options(std::move(options)) {
  Experts.FWText = Experts.FWItems.empty() ? "" : Experts.FWItems.front();
  NVM = std::make_unique<TNVMSection>(
      static_cast<INVMOwner&>(*this),
      Options.LibraryDirs.empty() ? std::vector{Options.HomeDir} : Options.LibraryDirs,
      Options.Observer);
  // The form layout stores the component with COM2; the settings override it on first show.
  NVM->SetCOMPort(TNVMCOMPortName::cpnCOM2);
  NVM->SetContentObserver(&History);
  FSettings = std::make_unique<TProfileFile>(Options.SettingsPath);
}

TCoreState::~TCoreState() = default;

void TCoreState::NVMMessage(const std::string& caption, const std::string& text) {
  FLastDeviceMessage = text;
  if (!Options.DeviceMessagesAsBoxes) return;
  const bool loadFailure = text.starts_with("Unable to open ");
  if (loadFailure && FSuppressRepeatedLoadFailure &&
      std::find(FLoadFailuresShown.begin(), FLoadFailuresShown.end(), text) !=
          FLoadFailuresShown.end())
    return;
  if (loadFailure) FLoadFailuresShown.push_back(text);
  UI.MessageBox(caption, text);
}

void TCoreState::SettingsLoad() {
  RemoveLeftoverTempFiles(Options.SettingsPath.string(), kLeftoverAge);
  auto& ini = Settings();
  for (const auto& k : kFormKeys) Bounds.*k.field = ini.ReadInteger(kForm, k.key, k.defaultValue);
  Bounds.Width = std::clamp(Bounds.Width, kMinWidth, kMaxExtent);
  Bounds.Height = std::clamp(Bounds.Height, kMinHeight, kMaxExtent);
  Bounds.Left = std::clamp(Bounds.Left, -kMaxExtent, kMaxExtent);
  Bounds.Top = std::clamp(Bounds.Top, -kMaxExtent, kMaxExtent);
  UI.ControlsChanged();

  const int com = ini.ReadInteger(kManager, kComPortKey, 0);
  ComboBox1Index = (com >= 0 && com <= 3) ? com : -1;
  ComboBox1Change(ComboBox1Index);

  SetFWIndex(ini.ReadInteger(kManager, kUfifFwKey, 0));

  std::array<std::string, 4> devices;
  for (std::size_t i = 0; i < devices.size(); ++i)
    devices[i] = ini.ReadString(kDevice, "COM" + std::to_string(i + 1), "");
  NVM->SetComDevices(devices);
  // What a call through gbp-host.exe may take beyond its bytes' time on the link, in seconds;
  // a value that is no positive number leaves the default.
  const int callTimeout = ini.ReadInteger(kDevice, kCallTimeoutKey, kDefaultCallTimeout);
  NVM->SetCallTimeout(std::chrono::seconds(callTimeout > 0 ? callTimeout : kDefaultCallTimeout));

  SetCTECB(ini.ReadBool(kManager, kCteModeKey, false));
  NVM->SetCTEMode(Experts.CTECB);

  History.Configure(ReadHistorySettings(ini, Options.HistoryDir));
  Experts.HistoryReadBeforeChange = History.Settings().ReadBeforeChange;

  RebuildCatalogue();
  UI.ControlsChanged();
  UI.RepaintGrid();
}

void TCoreState::SettingsSave() {
  // One replacement of the file for all the keys. A save that fails is told and the command
  // that saved goes on; a file that is not text is told about once per run.
  try {
    TProfileFile file(Options.SettingsPath);
    TProfileFile::TEdit edit(file);
    for (const auto& k : kFormKeys) edit.WriteInteger(kForm, k.key, Bounds.*k.field);
    edit.WriteInteger(kManager, kComPortKey, ComboBox1Index);
    edit.WriteInteger(kManager, kUfifFwKey, Experts.FWIndex);
    edit.WriteBool(kManager, kCteModeKey, Experts.CTECB);
    // Written only once it differs, so that a file without the key keeps its bytes.
    if (Experts.HistoryReadBeforeChange != History.Settings().ReadBeforeChange)
      edit.WriteBool(kHistorySection, kReadBeforeChangeKey, Experts.HistoryReadBeforeChange);
    edit.Commit();
  } catch (const EProfileNotText&) {
    if (!FNotTextTold)
      UI.MessageBox(kErrorCaption, "The settings file \"" + Options.SettingsPath.string() +
                                       "\" is not a plain text file (it holds NUL bytes or is "
                                       "UTF-16). The settings cannot be saved; the file is left "
                                       "as it is.");
    FNotTextTold = true;
  } catch (const std::exception& e) {
    UI.MessageBox(kErrorCaption, std::string("The settings could not be saved. ") + e.what());
  }
}

void TCoreState::RebuildCatalogue() {
  TProfileFile catalogue(SectionsIniPath());
  Sections = BuildCatalogue(Settings().Text(), catalogue.Text());
  if (Row >= RowCount()) Row = std::max(1, RowCount() - 1);
  if (Row < 1) Row = 1;
}

void TCoreState::SelectLink(int port, bool serviceCable) {
  ComboBox1Change(port - 1);
  if (Experts.CTECB != serviceCable) {
    Experts.CTECB = serviceCable;
    NVM->SetCTEMode(serviceCable);
  }
}

std::chrono::steady_clock::time_point TCoreState::Now() const {
  return Options.Clock ? Options.Clock() : std::chrono::steady_clock::now();
}

std::vector<std::uint8_t> TCoreState::ReadInputFile(const std::string& path,
                                                    std::size_t maxBytes) const {
  if (!Options.ReadFile) return ReadFileHead(path, maxBytes);
  std::vector<std::uint8_t> bytes = Options.ReadFile(path, maxBytes);
  if (bytes.size() > maxBytes) bytes.resize(maxBytes);
  return bytes;
}

std::string TCoreState::ReadInputText(const std::string& path, std::size_t maxBytes) const {
  if (!Options.ReadFile) return ReadTextFile(path, maxBytes);
  return ReadTextFile(Options.ReadFile, path, maxBytes);
}

void TCoreState::ComboBox1Change(int index) {
  ComboBox1Index = (index >= 0 && index <= 3) ? index : -1;
  // With no selection the first port stays in use; no other number reaches the library.
  NVM->SetCOMPort(static_cast<TNVMCOMPortName>(ComboBox1Index < 0 ? 0 : ComboBox1Index));
}

void TCoreState::SetCTECB(bool ticked) {
  if (Experts.CTECB == ticked) return;
  Experts.CTECB = ticked;
  CTECBClick();
}

void TCoreState::CTECBClick() {
  NVM->SetCTEMode(Experts.CTECB);
}

void TCoreState::ExpertsButton3Click() {
  SetCTECB(false);
}

void TCoreState::SetFWIndex(int index) {
  const int count = static_cast<int>(Experts.FWItems.size());
  Experts.FWIndex = (index >= 0 && index < count) ? index : -1;
  Experts.FWText = Experts.FWIndex >= 0 ? Experts.FWItems[Experts.FWIndex] : "";
}

void TCoreState::SetFWText(const std::string& text) {
  Experts.FWText = text;
  const auto it = std::find(Experts.FWItems.begin(), Experts.FWItems.end(), text);
  Experts.FWIndex =
      it == Experts.FWItems.end() ? -1 : static_cast<int>(it - Experts.FWItems.begin());
}

void TCoreState::SetACheckBox(bool checked) {
  if (Pref.ACheckBox == checked) return;
  Pref.ACheckBox = checked;
  ACheckBoxClick(checked);
}

void TCoreState::ACheckBoxClick(bool checked) {
  Pref.AsVisible = checked;
  Pref.AssVisible = checked;
}

TSectInfo* TCoreState::CurrentSection() {
  if (Row < 1 || Row >= RowCount()) return nullptr;
  return &Sections[static_cast<std::size_t>(Row)];
}

std::string TCoreState::SignatureName(std::uint32_t first, const std::string& defaultText) {
  char key[16];
  std::snprintf(key, sizeof key, "0x%08X", first);
  // No value read from a file holds a zero byte: this default tells a missing key apart.
  const std::string missing(1, '\0');
  const std::string name = Settings().ReadString("Sign", key, missing);
  if (name == missing) return defaultText;
  return SettingsTextToUtf8(name, Settings().TextIsUtf8());
}

}  // namespace zub
