// One line of advice for a port that would not open on Windows: the system's
// own failure texts say that it failed, this line says what to do about it
// (close the program that holds the port, look up the COM number a USB
// adapter got in the Device Manager, install the port driver).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel {

enum class PortKind { Serial, Parallel };

// The longest hint: it goes on a line below the longest failure text of the
// system (42 characters) in a failure buffer of 199.
inline constexpr std::size_t kMaxHintLength = 156;

// The advice for the Windows error `error` (GetLastError) met while opening
// `path`, the device of the port `portName` ("COM3"). One line without
// control characters, at most kMaxHintLength characters; empty when `error`
// is 0.
std::string OpenFailureHint(unsigned long error, std::string_view path, PortKind kind,
                            std::string_view portName);

}  // namespace ostrel
