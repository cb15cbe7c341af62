#include "platform/paths.h"

namespace ostrel {

namespace {

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::size_t LastSeparator(std::string_view path, PathStyle style) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsPathSeparator(path[i - 1], style))
            return i - 1;
    }
    return std::string_view::npos;
}

std::string_view FileNameOf(std::string_view path, PathStyle style) {
    std::size_t separator = LastSeparator(path, style);
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

bool IsAbsolutePath(std::string_view path, PathStyle style) {
    if (path.empty())
        return false;
    if (IsPathSeparator(path.front(), style))
        return true;  // "/x"; on Windows also "\x" and "\\server\share"
    // "C:\x" and "C:/x". "C:x" is relative to drive C's own current folder.
    return style == PathStyle::Windows && path.size() >= 3 && IsDriveLetter(path[0]) &&
           path[1] == ':' && IsPathSeparator(path[2], style);
}

std::string JoinPath(std::string_view directory, std::string_view name, PathStyle style) {
    if (IsAbsolutePath(name, style) || directory.empty())
        return std::string(name);
    std::string path(directory);
    if (!IsPathSeparator(path.back(), style))
        path.push_back(PathSeparator(style));
    path.append(name);
    return path;
}

std::filesystem::path FsPath(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::optional<std::string> PathLengthProblem(std::string_view path, PathStyle style) {
    if (style != PathStyle::Windows || path.size() <= kMaxWindowsPath)
        return std::nullopt;
    return "the path is " + std::to_string(path.size()) +
           " characters long; Windows takes at most " + std::to_string(kMaxWindowsPath);
}

}  // namespace ostrel
