// What kind of message a message box carries, decided once for every window
// front-end from the system's own titles and buttons, so each shows the icon
// its kind asks for (the Qt front-end's QMessageBox icons, a native one's
// MB_ICONERROR, MB_ICONWARNING, MB_ICONQUESTION, MB_ICONINFORMATION).
#pragma once

#include <string_view>

#include "core/window_system.h"

namespace ostrel::ui {

enum class MessageKind { Error, Warning, Question, Information };

// The system's titles say the kind ("Error", "ERROR!", "Warning!", "Info:",
// "OSTREL:" for an unknown chip, ...). A box without a title ("Write Error!",
// "Function not available!") is an error when its text says so, otherwise a
// warning. Any other title is the program speaking: a question when the box
// offers OK and Cancel, information when it offers OK alone.
MessageKind KindOf(std::string_view title, std::string_view text, MsgButtons buttons);

}  // namespace ostrel::ui
