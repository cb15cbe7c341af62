// Choosing the current data file: a flash file (".hex"), an EEPROM file
// (".eep") or a readback dump (".txt"), recognised by the extension without
// regard to letter case.
#pragma once

#include <string_view>

#include <string>

#include "app/commands.h"
#include "core/programmer.h"

namespace ostrel::app {

// Position in the path of the file name's recognised extension, or npos.
// The extension is the last four characters of the name after the last
// '/', and the name must have something before it: a folder or an earlier
// dot never counts, so "prog.hex.new" has none and "fw.hexfiles/prog.hex"
// is prog.hex.
std::size_t FindDataExtension(std::string_view path);

// Shows the file-open dialog, in the current file's folder, else in the
// start folder's examples (or the start folder when it has none). The
// dialog takes only a file that exists; a name that reaches us anyway and is
// no file is refused by LoadCurrentFile, with no earlier file left current. 1 when a file was
// chosen (currentFileName holds it and its folder is the current directory), 0 when nothing
// changed.
int SelectDataFile(Programmer& p);

// Makes currentFileName the current file: counts its lines, decides flash or
// EEPROM from the extension, derives baseName and stores the path in the
// settings file. 0 on success, 1 on failure. A file that cannot be opened or
// is not a data file leaves no current file behind (fileLoaded 0, baseName
// empty); errorText then holds "Open Error!" and `problem`, when given, a
// line of ours that names the file and says what is wrong.
int LoadCurrentFile(Programmer& p, std::string* problem = nullptr);

// File > Open. Failed when the chosen file cannot be made the current file;
// the user is told which file and why.
CommandResult OpenFileCommand(Programmer& p);

// Shows baseName in the current-file field for a second; it stays visible greyed.
void ShowCurrentFileName(Programmer& p);

}  // namespace ostrel::app
