#include "ui/where.h"

#include "core/ids.h"
#include "image/file_names.h"
#include "platform/paths.h"

namespace ostrel::ui {

namespace {

std::string StartFile(const Programmer& p, std::string_view name) {
    return ResolvePath(p.state.startDirectory.view(), name);
}

}  // namespace

std::string ShortPath(std::string_view path, std::string_view home) {
    while (home.size() > 1 && (home.back() == '/' || home.back() == '\\'))
        home.remove_suffix(1);
    if (home.size() > 1 && path.starts_with(home) &&
        (path.size() == home.size() || path[home.size()] == '/' || path[home.size()] == '\\')) {
        // Appended, not "~" + string: GCC 12 warns falsely (-Wrestrict) on
        // the inlined copy of a literal put before a string when optimising.
        std::string shortened(1, '~');
        shortened.append(path.substr(home.size()));
        return shortened;
    }
    return std::string(path);
}

namespace {

// The separator of a path's last part: '/', or '\\' in a Windows path.
char SeparatorOf(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? '/' : path[slash];
}

// The folder part and the name of a path.
std::pair<std::string, std::string> Split(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
}

// "…/last" of a folder, or the folder itself when it has one part.
std::string LastPart(const std::string& folder) {
    auto [parent, last] = Split(folder);
    if (parent.empty() || last.empty())
        return folder;
    std::string shortened("\u2026");
    shortened += SeparatorOf(folder);
    shortened += last;
    return shortened;
}

}  // namespace

std::optional<FileShown> WhereItWent(const Programmer& p, int command, std::string_view ending,
                                     std::string_view home) {
    std::string said(ending);
    while (!said.empty() && said.back() == ' ')
        said.pop_back();
    while (!said.empty() && said.front() == ' ')
        said.erase(0, 1);
    FileShown shown;
    switch (command) {
        case ids::kRead:
        case ids::kReadbackInhx: {
            std::string file =
                StartFile(p, command == ids::kRead ? "readback.txt" : "readback.hex");
            auto [folder, name] = Split(file);
            if (said.empty())
                said = name + " saved";
            const std::string shortFolder = ShortPath(folder, home);
            shown.lines = {said + " in " + shortFolder, said + " in " + LastPart(shortFolder),
                           ShortPath(file, home)};
            shown.tip = "Saved: " + file;
            return shown;
        }
        case ids::kWrite:
        case ids::kQuick: {
            std::string file = image::CurrentFilePath(p);
            auto [folder, name] = Split(file);
            if (said.empty())
                said = "OK";
            const std::string shortFile = ShortPath(file, home);
            const std::string shortFolder = ShortPath(folder, home);
            shown.lines = {said + ": " + shortFile,
                           said + ": " + LastPart(shortFolder) + SeparatorOf(file) + name,
                           shortFile};
            shown.tip = "Written to the chip: " + file +
                        "\nIts copy as written: " + image::SiblingFilePath(p, "tmp");
            if (command == ids::kQuick)
                shown.tip +=
                    "\nWhat changed since the last write: " + image::SiblingFilePath(p, "dif");
            return shown;
        }
        default:
            return std::nullopt;
    }
}

std::string StartFolderTip(const app::StartFolder& folder) {
    return "Start folder: " + folder.directory +
           "\nOstrel keeps its device list (ostrel.ini), settings (ostrel.cfg) and read-back "
           "files here.";
}

std::string StartFolderMessage(const app::StartFolder& folder, std::string_view home) {
    if (folder.perUser && folder.filled) {
        std::string text = "Ostrel keeps its device list, settings and read-back files in " +
                           ShortPath(folder.directory, home) +
                           ".\n\nIt was started in a folder without a device list (ostrel.ini), "
                           "so it has set up this folder of yours with the installed files. "
                           "File > Open Start Folder shows it.";
        if (!folder.problem.empty())
            text += "\n\nNot everything could be copied there: " + folder.problem;
        return text;
    }
    if (!folder.problem.empty())
        return "Ostrel could not set up its folder for your files: " + folder.problem +
               "\n\nIt works in " + ShortPath(folder.directory, home) + " instead.";
    return {};
}

}  // namespace ostrel::ui
