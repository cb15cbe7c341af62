// Where things went, in a user's words, for every window front-end: the file
// a command saved or wrote (shown on the activity line once the command has
// ended), and the start folder where Ostrel keeps its files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/start_folder.h"
#include "core/programmer.h"

namespace ostrel::ui {

// A path as a user reads it: the home folder written as "~".
std::string ShortPath(std::string_view path, std::string_view home);

struct FileShown {
    // For the activity line, most detailed first: the text the command ended
    // with ("readback.txt saved", "OK") and where the file is, and last the
    // file's path alone; a front-end shows the first that fits the field, or
    // the last shortened in its middle with an ellipsis.
    std::vector<std::string> lines;
    std::string tip;  // the whole story, with full paths, for the line's tooltip
};

// After Read, Readback INHX format, Write and quick have succeeded: the file
// saved (readback.txt, readback.hex in the start folder) or written to the
// chip (the current file, with its snapshot and, for quick, its difference
// file), after `ending`, the activity line's text at the end of the command.
// No value for any other command.
std::optional<FileShown> WhereItWent(const Programmer& p, int command, std::string_view ending,
                                     std::string_view home);

// The start folder on the activity line's tooltip while nothing else is shown.
std::string StartFolderTip(const app::StartFolder& folder);

// The box shown once: the first start that set the per-user folder up, or a
// start that could not use it. Empty when there is nothing to say.
std::string StartFolderMessage(const app::StartFolder& folder, std::string_view home);

}  // namespace ostrel::ui
