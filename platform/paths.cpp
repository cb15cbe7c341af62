#include "platform/paths.h"

#include <filesystem>
#include <system_error>

#include "platform/text_util.h"

namespace ostrel {

std::string ResolvePath(std::string_view directory, std::string_view name) {
    return JoinPath(directory, name);
}

std::string FileNamePart(std::string_view path) {
    std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FolderPart(std::string_view path) {
    std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string_view::npos)
        return {};
    return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

std::string SiblingName(std::string_view name, std::string_view extension) {
    if (name.size() < 3)
        return {};
    std::string sibling(name.substr(0, name.size() - 3));
    sibling.append(extension);
    return sibling;
}

std::string ExistingSpelling(const std::string& path) {
    std::error_code ec;
    if (path.empty() || std::filesystem::exists(FsPath(path), ec))
        return path;
    std::filesystem::path wanted = FsPath(path);
    std::string wantedName = wanted.filename().string();
    std::string found;
    std::filesystem::path folder = wanted.parent_path();
    if (folder.empty())
        folder = ".";
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string entryName = entry.path().filename().string();
        if (EqualsNoCase(entryName, wantedName) && (found.empty() || entry.path().string() < found))
            found = entry.path().string();
    }
    return found.empty() ? path : found;
}

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
