// One line of advice for a port that would not open: the system's own failure
// texts say that it failed, this line says what to do about it (join the
// device's group, close the program that holds it, load the driver, map the
// port name to the device that exists).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/linux/sys_calls.h"

namespace ostrel {

enum class PortKind { Serial, Parallel, Gpio };

// The longest hint: it goes on a line below the longest failure text of the
// system (42 characters) in a failure buffer of 199.
inline constexpr std::size_t kMaxHintLength = 156;

// The advice for `error` (an errno value) met while opening `path`, the
// device of the port `portName` ("COM3", "0378"); `sys` is asked for the
// device's owner group. One line without control characters, at most
// kMaxHintLength characters (a long path is shortened from the front, so
// the advice itself is never cut); empty when `error` is 0.
std::string OpenFailureHint(SysCalls& sys, int error, std::string_view path, PortKind kind,
                            std::string_view portName);

}  // namespace ostrel
