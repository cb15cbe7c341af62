// Screenshot mode (the environment variable OSTREL_SCREENSHOT_DIR, used by
// tools/screenshot): the program answers its own message boxes with OK, runs
// Check (and, when a data file was reopened, Write with "Program eep- after
// hexfile" on), saves pictures of the main window while the Write runs and
// after it, the help page in its viewer, the instructions dialog, the EEPROM
// window and the wiring picture into the folder, and ends.
#pragma once

#include <QString>

#include <string>
#include <vector>

namespace ostrel::qt {

class DesktopProgram;

inline constexpr const char* kScreenshotVariable = "OSTREL_SCREENSHOT_DIR";
// How many pictures a full run saves.
inline constexpr int kScreenshots = 7;

// Prepares the program before its start: every box is answered OK, and
// noted as "title: text" in `shownBoxes` (which outlives the program).
void PrepareScreenshots(DesktopProgram& program, std::vector<std::string>& shownBoxes);
// Takes the pictures after the start; 0 when all were saved. The boxes shown
// are logged at the end.
int TakeScreenshots(DesktopProgram& program, const QString& folder,
                    const std::vector<std::string>& shownBoxes);

}  // namespace ostrel::qt
