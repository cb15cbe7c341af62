#include "platform/paths.h"

#include <filesystem>
#include <system_error>

#include "platform/text_util.h"

namespace ostrel {

namespace {
bool IsAbsolute(std::string_view name) {
    return !name.empty() && name.front() == '/';
}
}  // namespace

std::string ResolvePath(std::string_view directory, std::string_view name) {
    if (IsAbsolute(name) || directory.empty())
        return std::string(name);
    std::string path(directory);
    if (path.back() != '/')
        path.push_back('/');
    path.append(name);
    return path;
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
    if (path.empty() || std::filesystem::exists(path, ec))
        return path;
    std::filesystem::path wanted(path);
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

}  // namespace ostrel
