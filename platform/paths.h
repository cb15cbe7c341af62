// File names and paths as the program builds them: the files that belong to
// a data file (its last three characters replaced: prog.hex gives prog.eep,
// prog.scr, prog.tmp, prog.dif), the name part of a path, and joining a name
// to a folder. Both '/' and '\\' end a folder name in FileNamePart and
// FolderPart, whatever the system.
//
// Below them, the rules of the two kinds of system the programs run on.
// POSIX paths separate folders with '/', and a path is absolute when it
// starts with one. Windows paths take '\\' and '/' alike, start with a drive
// ("C:\\", "C:/"), a UNC share ("\\\\server\\share") or the current drive's
// root ("\\folder"), and Windows' ANSI file calls stop at 260 characters
// (MAX_PATH, terminator included): a longer path is refused with a message,
// never cut, since a cut path names another file. Every function takes the
// style explicitly, so the tests check both rule sets on either system;
// NativePathStyle() is the style of the running one.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// Joins a relative name to a directory; an absolute name stays as it is
// (JoinPath in the style of the running system).
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

enum class PathStyle { Posix, Windows };

// The style of the system the program was built for.
PathStyle NativePathStyle();

// The separator the style writes between folders.
constexpr char PathSeparator(PathStyle style) {
    return style == PathStyle::Windows ? '\\' : '/';
}

// True for the characters the style reads as a separator.
constexpr bool IsPathSeparator(char c, PathStyle style) {
    return c == '/' || (style == PathStyle::Windows && c == '\\');
}

// The position of the last separator, or npos.
std::size_t LastSeparator(std::string_view path, PathStyle style = NativePathStyle());

// The name after the last separator (the whole path when it has none).
std::string_view FileNameOf(std::string_view path, PathStyle style = NativePathStyle());

// True when the path does not depend on the current folder.
bool IsAbsolutePath(std::string_view path, PathStyle style = NativePathStyle());

// `name` inside `directory`: an absolute name stays as it is, an empty
// directory leaves the name relative, and exactly one separator stands
// between the two.
std::string JoinPath(std::string_view directory, std::string_view name,
                     PathStyle style = NativePathStyle());

// The longest path the Windows ANSI file calls accept (MAX_PATH less the
// terminator).
inline constexpr std::size_t kMaxWindowsPath = 259;

// Why the system cannot use this path, or nothing when it can: on Windows
// a path longer than kMaxWindowsPath characters.
std::optional<std::string> PathLengthProblem(std::string_view path,
                                             PathStyle style = NativePathStyle());

// A path for std::filesystem from the program's own text, which is UTF-8.
// (On Windows the library reads a plain string in the C locale's code page,
// which garbles every non-ASCII name; its string() gives UTF-8 back.)
std::filesystem::path FsPath(std::string_view utf8);

// The full path of the running program (GetModuleFileNameW on Windows,
// /proc/self/exe on Linux), in UTF-8; empty when the system does not say.
std::string OwnProgramPath();

}  // namespace ostrel
