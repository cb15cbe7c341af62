// File names and paths as the program builds them, the same on every system:
// the files that belong to a data file (its last three characters replaced:
// prog.hex gives prog.eep, prog.scr, prog.tmp, prog.dif), the name part of a
// path, and joining a name to a folder. Both '/' and '\\' end a folder name.
#pragma once

#include <string>
#include <string_view>

namespace ostrel {

// Joins a relative name to a directory; an absolute name stays as it is.
std::string ResolvePath(std::string_view directory, std::string_view name);

// The name of a path without its folder.
std::string FileNamePart(std::string_view path);

// The folder of a path, without the name ("" for a bare name).
std::string FolderPart(std::string_view path);

// `name` with its last three characters (the extension) replaced by
// `extension`; empty when the name is shorter than three characters.
std::string SiblingName(std::string_view name, std::string_view extension);

// The file at `path` as it exists: `path` itself when there is such a file,
// otherwise an existing file of the same folder whose name differs only in
// letter case (the first in name order, so the choice never depends on the
// folder's order), otherwise `path`. PROG.HEX thus finds its prog.eep.
std::string ExistingSpelling(const std::string& path);

}  // namespace ostrel
