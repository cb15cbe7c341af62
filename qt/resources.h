// The pictures of the program (the wiring picture and the icon) are compiled
// into the library; a static library must register them itself.
#pragma once

namespace ostrel::qt {
// Makes ":/ostrel/..." available; calling it again does no harm.
void InitResources();
}  // namespace ostrel::qt
