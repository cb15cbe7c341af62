// Texts between the program (UTF-8) and the wide calls of the system
// (UTF-16), for measuring and for the dialog templates.
#pragma once

#include <string>
#include <string_view>

namespace ostrel::win32 {

std::wstring WideText(std::string_view utf8);
std::string Utf8Text(std::wstring_view wide);

}  // namespace ostrel::win32
