#pragma once

#include <string>
#include <string_view>

namespace tally::Utf8 {

bool isValid(std::string_view bytes);

// Decodes with repair: each maximal invalid subpart becomes one U+FFFD, as the Unicode
// standard recommends; valid text comes back unchanged.
std::string repaired(std::string_view bytes);

// The same, fit to be one line of a log shown in a terminal or an editor: every control
// character, line or paragraph separator and bidirectional mark or override becomes "?".
std::string printable(std::string_view bytes);

}  // namespace tally::Utf8
