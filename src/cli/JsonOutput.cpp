#include "JsonOutput.h"

#include "CliSession.h"

namespace zub::cli {
namespace {

bool gPrinted = false;

}  // namespace

std::string JsonText(const TJson& value) {
  const auto compact = [](const TJson& v) {
    return v.dump(-1, ' ', false, TJson::error_handler_t::replace);
  };
  if (!value.is_array() || value.empty()) return compact(value);
  std::string out = "[";
  for (std::size_t i = 0; i < value.size(); ++i) out += (i ? ",\n " : "\n ") + compact(value[i]);
  return out + "\n]";
}

void PrintJson(const TJson& value) {
  gPrinted = true;
  PrintLine(JsonText(value));
}

bool JsonPrinted() {
  return gPrinted;
}

TJson ErrorJson(const std::string& command, int status, const std::string& message) {
  TJson out;
  if (!command.empty()) out["command"] = command;
  out["exit"] = status;
  out["error"] = message;
  return out;
}

}  // namespace zub::cli
