// UTF-8, the programs' own text, to and from UTF-16, the text of the
// Windows wide calls. Invalid UTF-8 becomes U+FFFD rather than a cut name.
#pragma once

#include <string>
#include <string_view>

namespace ostrel::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace ostrel::win32
