#include "app/file_selection.h"

#include <filesystem>

#include "app/commands.h"
#include "app/endings.h"
#include "app/settings.h"
#include "devices/text_line.h"
#include "platform/ids.h"
#include "platform/text_file.h"
#include "platform/text_util.h"

namespace ostrel::app {

namespace {

constexpr std::size_t kLastExtensionPosition = 250;

// The folder part of a path up to (not including) the last separator before `end`.
std::string_view FolderBefore(std::string_view path, std::size_t end) {
    std::size_t slash = path.substr(0, end).rfind('/');
    if (slash == std::string_view::npos)
        return {};
    return path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

std::size_t FindDataExtension(std::string_view path) {
    for (std::size_t pos = 1; pos <= kLastExtensionPosition && pos + 4 <= path.size(); ++pos) {
        std::string_view four = path.substr(pos, 4);
        if (EqualsNoCase(four, ".hex") || EqualsNoCase(four, ".eep") || EqualsNoCase(four, ".txt"))
            return pos;
    }
    return std::string_view::npos;
}

int SelectDataFile(Programmer& p) {
    std::string_view current = p.state.currentFileName.view();
    std::string folder;
    std::size_t ext = FindDataExtension(current);
    if (ext != std::string_view::npos)
        folder = std::string(FolderBefore(current, ext));
    if (!folder.empty())
        folder = ResolvePath(p.currentDirectory, folder);

    auto chosen = p.windows.AskOpenFile("Open a File", "*.hex, *.eep, readback.txt",
                                        "*.hex;*.eep;readback.txt", folder);
    if (!chosen || chosen->empty())
        return 0;
    std::string path = ResolvePath(p.currentDirectory, *chosen);
    if (path.size() > decltype(p.state.currentFileName)::kCapacity) {
        p.windows.MessageBox(ids::kNoOwner,
                             "The path of the chosen file is too long (at most 279 characters).",
                             "ERROR!", MsgButtons::Ok);
        return 0;
    }
    p.state.currentFileName.Assign(path);
    // Choosing a file makes its folder the current directory.
    p.currentDirectory = std::filesystem::path(path).parent_path().string();
    return 1;
}

int LoadCurrentFile(Programmer& p) {
    ProgrammerState& s = p.state;
    if (s.currentFileName.empty()) {
        s.fileLoaded = 0;
        return 1;
    }
    TextReader reader;
    std::string path = ResolvePath(p.currentDirectory, s.currentFileName.view());
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec) || !reader.Open(path))
        return 1;
    int32_t lines = 0;
    while (devices::ReadTextLine(p, reader) == 0) {
        if (lines < INT32_MAX)
            ++lines;
    }
    reader.Close();
    s.fileLineCount = lines;
    s.fileLoaded = 1;

    std::size_t ext = FindDataExtension(s.currentFileName.view());
    if (ext == std::string_view::npos) {
        s.fileLoaded = 0;
        s.errorText.Assign("Open Error!");
        return 1;
    }
    s.eepromFile = EqualsNoCase(s.currentFileName.view().substr(ext, 4), ".eep") ? 1 : 0;
    s.currentFileName.Truncate(ext + 4);

    std::string_view name = s.currentFileName.view();
    std::size_t slash = name.substr(0, ext).rfind('/');
    s.baseName.Assign(slash == std::string_view::npos ? name : name.substr(slash + 1));

    p.currentDirectory = s.startDirectory.str();
    if (!StorePath(p, true)) {
        s.errorText.Assign("Open Error 'ostrel.cfg'!");
        return 1;
    }
    return 0;
}

void ShowCurrentFileName(Programmer& p) {
    p.windows.SetItemText(p.state.mainWindow, ids::kCurrentFile, p.state.baseName.view());
    EnableField(p, ids::kCurrentFile, true);
    ReadingPause(p);
    EnableField(p, ids::kCurrentFile, false);
}

void OpenFileCommand(Programmer& p) {
    p.state.mainWindow = ids::kMainWindow;
    if (SelectDataFile(p) == 0)
        return;
    LoadCurrentFile(p);
    StoreOfferFlag(p);
    ShowCurrentFileName(p);
}

}  // namespace ostrel::app
