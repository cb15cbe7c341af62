// What the dialogs draw themselves (WM_DRAWITEM of their owner-drawn parts):
// the rows of small dots of the decoration and the wiring picture.
#pragma once

namespace ostrel::win32 {

// Draws the part a DRAWITEMSTRUCT names when it is one of the decoration's;
// false for any other control.
bool DrawDecoration(const void* drawItem);

}  // namespace ostrel::win32
