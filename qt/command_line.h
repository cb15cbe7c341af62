// The options Qt reads from the command line itself (QGuiApplication and
// QApplication, and the X11 platform's), so the desktop program's own reading
// of its command line lets them through and refuses anything else.
#pragma once

#include <span>

#include "ui/desktop_options.h"

namespace ostrel::qt {

std::span<const ui::ToolkitOption> QtOptions();

}  // namespace ostrel::qt
