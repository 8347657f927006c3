// What the two platforms' child processes share (see ChildProcess.h).
#include "device/host/ChildProcess.h"

#include <algorithm>

namespace zub {

std::vector<std::string> ChildEnvironment(
    const std::vector<std::string>& inherited,
    const std::vector<std::pair<std::string, std::string>>& overrides) {
  std::vector<std::string> out;
  for (const std::string& entry : inherited) {
    const auto eq = entry.find('=');
    const std::string name = entry.substr(0, eq);
    const bool replaced = std::any_of(overrides.begin(), overrides.end(),
                                      [&](const auto& kv) { return kv.first == name; });
    if (!replaced) out.push_back(entry);
  }
  for (const auto& [name, value] : overrides) out.push_back(name + "=" + value);
  return out;
}

}  // namespace zub
