// Choosing the current data file: a flash file (".hex"), an EEPROM file
// (".eep") or a readback dump (".txt"), recognised by the extension without
// regard to letter case.
#pragma once

#include <string_view>

#include "app/programmer.h"

namespace ostrel::app {

// Position of the first recognised extension in a path (looked for at
// positions 1 to 250), or npos.
std::size_t FindDataExtension(std::string_view path);

// Shows the file-open dialog. 1 when a file was chosen (currentFileName holds
// it and its folder is the current directory), 0 when nothing changed.
int SelectDataFile(Programmer& p);

// Makes currentFileName the current file: counts its lines, decides flash or
// EEPROM from the extension, derives baseName and stores the path in the
// settings file. 0 on success, 1 on failure.
int LoadCurrentFile(Programmer& p);

// File > Open.
void OpenFileCommand(Programmer& p);

// Shows baseName in the current-file field for a second; it stays visible greyed.
void ShowCurrentFileName(Programmer& p);

}  // namespace ostrel::app
