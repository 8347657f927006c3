// Running gbp-host.exe through Wine on Linux: finds `wine`, keeps the tool's own Wine prefix
// under the user's data folder, maps the serial ports the library opens as COM1..COM4 to the
// devices named in the settings, and builds the host's command line.
//
// The ports are mapped where Wine itself reads them when it starts: the registry key
// HKEY_LOCAL_MACHINE\Software\Wine\Ports (values "COM1" = "/dev/ttyACM0"), which the host
// writes at its start (gbp-host.exe --port COM1=/dev/ttyACM0 ...), so Wine's own linking of
// the ports at each start makes the links we want. A Wine already running made its links
// before: for it, the links in <prefix>/dosdevices are set as well. What a program folder
// mapped is recorded in the prefix, so a key removed from its settings gives the port back
// to Wine's own mapping (the registry value and our link go).
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "device/host/HostChannel.h"
#include "device/host/PeFile.h"

namespace zub {

// Shown when Wine is needed and not installed.
inline constexpr const char* kWineMissingText =
    "Wine is needed to use a Windows device library on Linux, and it is not installed. "
    "Install the Debian packages wine and wine32 (as root: dpkg --add-architecture i386; "
    "apt-get update; apt-get install wine wine32).";

// The first executable file `program` on PATH (or `program` itself when it names a folder).
std::optional<std::filesystem::path> FindOnPath(const std::string& program);

// ($XDG_DATA_HOME or ~/.local/share)/zubmanager3/wine; empty when neither is known.
std::filesystem::path DefaultWinePrefix();

// The path Wine's programs see for a file of the Linux file system: "Z:" and the absolute
// path with backslashes (Wine maps Z: to / in every new prefix).
std::string WineWindowsPath(const std::filesystem::path& file);

// Whether a library file must be served through gbp-host.exe: a 32-bit x86 Windows library
// everywhere except in a 32-bit Windows build of the tool, which loads it itself.
bool NeedsHost(const TPeFile& library);

// gbp-host.exe beside the program, or in its folder "win32"; nullopt when absent.
std::optional<std::filesystem::path> FindHostExe(const std::filesystem::path& programDir);

struct TWineOptions {
  std::filesystem::path prefix;           // empty: DefaultWinePrefix()
  std::array<std::string, 4> comDevices;  // COM1..COM4 -> e.g. "/dev/ttyACM0"; empty = Wine's own
  std::vector<std::string> hostArguments{};  // put before the library's path (PortArguments)
};

// What the program in `programDir` mapped in the prefix when its host last started.
std::array<std::string, 4> ReadPortRecord(const std::filesystem::path& prefix,
                                          const std::filesystem::path& programDir);
bool WritePortRecord(const std::filesystem::path& prefix, const std::filesystem::path& programDir,
                     const std::array<std::string, 4>& devices);
// The host's arguments that set the registry: "--port", "COMn=DEVICE" for each port mapped,
// "--port", "COMn=" (remove) for each port mapped before (`recorded`) and no longer.
std::vector<std::string> PortArguments(const std::array<std::string, 4>& devices,
                                       const std::array<std::string, 4>& recorded);
// Removes <prefix>/dosdevices/comN for each port mapped before and no longer, when the link
// still leads to the device we linked.
void UnmapComPorts(const std::filesystem::path& prefix, const std::array<std::string, 4>& devices,
                   const std::array<std::string, 4>& recorded);

// Makes the prefix folder (owned by the user running the tool, as Wine requires). Wine fills
// a new prefix at its first start, which may take a minute; until then the prefix has no
// device folder and the ports cannot be mapped (a device folder made early would keep Wine
// from setting up its drives). When the prefix is ready, maps the ports (MapComPorts).
// False with `error` set on failure.
bool PrepareWinePrefix(const TWineOptions& options, std::string& error);

// Whether Wine has set up the prefix (its device folder holds drive C:).
bool WinePrefixReady(const std::filesystem::path& prefix);

// Links <prefix>/dosdevices/com1 .. com4 to the devices given (empty entries are skipped, so
// Wine's own mapping stands). An existing link is replaced; anything else of that name is left
// alone and reported. Call it after the host's hello in a prefix that was new: a link made
// while the host runs is used at the library's next opening of the port. False with `error`
// set when the prefix is not ready or a link could not be made.
bool MapComPorts(const std::filesystem::path& prefix, const std::array<std::string, 4>& devices,
                 std::string& error);

// The command that runs `hostExe` with `library` under Wine in the prefix, WINEDEBUG=-all.
// Nullopt with `error` set when Wine is missing (kWineMissingText) or the prefix cannot be
// prepared.
std::optional<THostCommand> MakeWineHostCommand(const std::filesystem::path& hostExe,
                                                const std::filesystem::path& library,
                                                const TWineOptions& options, std::string& error);

// The command that runs the host directly (Windows).
THostCommand MakeDirectHostCommand(const std::filesystem::path& hostExe,
                                   const std::filesystem::path& library);

}  // namespace zub
