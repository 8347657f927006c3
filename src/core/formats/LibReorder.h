// Re-ordering of a library entry list after a reference list. An entry line is
// "<value> <key>[ #comment]"; header lines start with "#".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zub {

// The text after the first space (from the first character when there is none), L - P - 2
// characters long, where P is the 1-based position of the first " #" (0 when there is none);
// cut at the line's end, empty when the count is below 1. So "1234 Foo #ab" has the key "F"
// and "1234 Foo Bar" has "Foo Bar".
std::string EntryKey(std::string_view line);

// The text before the first space; empty when there is none.
std::string EntryValue(std::string_view line);

// The chosen list's leading header lines, then for each entry of the reference (its own
// header skipped) the first chosen line with the same key, as value + " " + key. Entries the
// chosen list lacks are dropped.
std::vector<std::string> ReorderLibraryList(const std::vector<std::string>& reference,
                                            const std::vector<std::string>& chosen);

}  // namespace zub
