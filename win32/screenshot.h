// Screenshot mode (the environment variable OSTREL_SCREENSHOT_DIR, used by
// tools/screenshot-win32): the program answers its own message boxes with
// OK, runs Check (and, when a data file was reopened, Write with "Program
// eep- after hexfile" on), saves pictures of the main window, the
// instructions dialog, the EEPROM window, the wiring picture and the About
// box into the folder as BMP files, and ends.
#pragma once

#include <string>

namespace ostrel::win32 {

class DesktopProgram;

inline constexpr const char* kScreenshotVariable = "OSTREL_SCREENSHOT_DIR";

// Prepares the program before its start: every box is answered OK.
void PrepareScreenshots(DesktopProgram& program);
// Takes the pictures after the start; 0 when all were saved.
int TakeScreenshots(DesktopProgram& program, const std::string& folder);

}  // namespace ostrel::win32
