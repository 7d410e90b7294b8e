#pragma once

#include <string>
#include <string_view>

namespace tally::platform {

// Windows speaks UTF-16; everything above the platform speaks UTF-8. Invalid input is
// replaced, never a reason to fail.
std::wstring wide(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

}  // namespace tally::platform
