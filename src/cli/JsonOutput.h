// zub's --json output: one JSON object per command on standard output, on one line (the list:
// an array, one row a line), made with nlohmann::json. A command that fails prints an object
// too, with the exit status and the sentence standard error shows. README describes the
// fields of each command.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace zub::cli {

// Keys stay in the order they are set, so the output reads like the text it replaces.
using TJson = nlohmann::ordered_json;

// Prints `value` and a newline on standard output (bytes of a file name that are not UTF-8
// are replaced, never a failed command). Checked as every result line is.
void PrintJson(const TJson& value);
// Whether this run printed a JSON result already: a failure after it adds no second one.
bool JsonPrinted();

// {"command": "read", "exit": 1, "error": "cannot read section 2-3: ..."}
TJson ErrorJson(const std::string& command, int status, const std::string& message);

// The text of `value` on one line, invalid UTF-8 replaced; an array with one element a line,
// so that an element can be found with grep too.
std::string JsonText(const TJson& value);

}  // namespace zub::cli
