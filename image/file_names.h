// Where the files of a command are: the current data file, the files that
// belong to it (the same name with another extension, in its folder), and
// hex.tmp, which a dump is converted into, in the start directory.
#pragma once

#include <string>
#include <string_view>

#include "core/programmer.h"

namespace ostrel::image {

// Name of the temporary file a dump is converted into, in the start directory.
inline constexpr std::string_view kHexTmpName = "hex.tmp";

// Full path of the file named by currentFileName.
std::string CurrentFilePath(const Programmer& p);
// Full path of hex.tmp in the start directory.
std::string HexTmpPath(const Programmer& p);
// currentFileName with its last three characters (the extension) replaced
// by `extension`, resolved like the current file; an existing file whose
// name differs only in letter case is found too (the exact spelling wins).
// Empty when the name is shorter than three characters.
std::string SiblingFilePath(const Programmer& p, std::string_view extension);

}  // namespace ostrel::image
