#include "app/file_selection.h"

#include <filesystem>
#include <string>
#include <utility>

#include "app/commands.h"
#include "app/endings.h"
#include "app/settings.h"
#include "app/start_folder.h"
#include "core/ids.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "platform/text_line.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::app {

namespace {

// The folder part of a path up to (not including) the last separator before `end`.
std::string_view FolderBefore(std::string_view path, std::size_t end) {
    std::size_t slash = LastSeparator(path.substr(0, end));
    if (slash == std::string_view::npos)
        return {};
    return path.substr(0, slash == 0 ? 1 : slash);
}

// Where the dialog starts without a current file: the start folder's
// examples when they are there (a new user's first file is one of them),
// else the start folder itself.
std::string FirstFolder(const Programmer& p) {
    std::string start(p.state.startDirectory.view());
    if (start.empty())
        return start;
    std::string examples = JoinPath(start, kExamplesFolderName);
    std::error_code ec;
    if (std::filesystem::is_directory(FsPath(examples), ec))
        return examples;
    return start;
}

}  // namespace

std::size_t FindDataExtension(std::string_view path) {
    std::string_view name = FileNameOf(path);
    if (name.size() <= 4)
        return std::string_view::npos;
    std::string_view four = name.substr(name.size() - 4);
    if (EqualsNoCase(four, ".hex") || EqualsNoCase(four, ".eep") || EqualsNoCase(four, ".txt"))
        return path.size() - 4;
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
    else
        folder = FirstFolder(p);

    auto chosen = p.windows.AskOpenFile(texts::kOpenAFile, "*.hex, *.eep, readback.txt",
                                        "*.hex;*.eep;readback.txt", folder);
    if (!chosen || chosen->empty())
        return 0;
    std::string path = ResolvePath(p.currentDirectory, *chosen);
    if (path.size() > decltype(p.state.currentFileName)::kCapacity) {
        p.windows.MessageBox(ids::kNoOwner,
                             "The path of the chosen file is too long (at most 279 characters).",
                             texts::kTitleErrorLoud, MsgButtons::Ok, MessageKind::Error);
        return 0;
    }
    if (auto problem = PathLengthProblem(path)) {
        p.windows.MessageBox(ids::kNoOwner,
                             "The path of the chosen file is too long: " + *problem + ".",
                             texts::kTitleErrorLoud, MsgButtons::Ok, MessageKind::Error);
        return 0;
    }
    p.state.currentFileName.Assign(path);
    // Choosing a file makes its folder the current directory.
    p.currentDirectory = FsPath(path).parent_path().string();
    return 1;
}

int LoadCurrentFile(Programmer& p, std::string* problem) {
    ProgrammerState& s = p.state;
    auto refuse = [&](std::string why) {
        // No state of an earlier file may stay behind: the commands would
        // otherwise work on a file the user did not name.
        s.fileLoaded = 0;
        s.eepromFile = 0;
        s.fileLineCount = 0;
        s.baseName.Clear();
        s.errorText.Assign(texts::kOpenError);
        if (problem)
            *problem = std::move(why);
        return 1;
    };
    if (s.currentFileName.empty()) {
        s.fileLoaded = 0;
        return 1;
    }
    std::string_view named = s.currentFileName.view();
    std::size_t ext = FindDataExtension(named);
    if (ext == std::string_view::npos)
        return refuse(std::string(named) +
                      " is not a data file (its name must end in .hex, .eep or .txt).");
    TextReader reader;
    std::string path = ResolvePath(p.currentDirectory, named);
    if (!reader.Open(path))
        return refuse("Cannot open " + path + ": " + reader.why() + ".");
    int32_t lines = 0;
    while (text::ReadTextLine(p.state.lineBuffer, reader) == 0) {
        if (lines < INT32_MAX)
            ++lines;
    }
    reader.Close();
    s.fileLineCount = lines;
    s.fileLoaded = 1;
    s.eepromFile = EqualsNoCase(named.substr(ext, 4), ".eep") ? 1 : 0;
    s.baseName.Assign(FileNameOf(named));

    p.currentDirectory = s.startDirectory.str();
    if (!StorePath(p, true)) {
        s.errorText.Assign(texts::kOpenErrorCfg);
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

CommandResult OpenFileCommand(Programmer& p) {
    p.state.mainWindow = ids::kMainWindow;
    if (SelectDataFile(p) == 0)
        return CommandResult::Cancelled;
    std::string problem;
    int loaded = LoadCurrentFile(p, &problem);
    StoreOfferFlag(p);
    ShowCurrentFileName(p);
    if (loaded == 0)
        return CommandResult::Ok;
    if (!p.state.fileLoaded) {
        p.windows.MessageBox(ids::kNoOwner, p.state.errorText.str() + "\n\n" + problem,
                             texts::kTitleErrorLoud, MsgButtons::Ok, MessageKind::Error);
        return CommandResult::Failed;
    }
    // The file is current; only its path could not be stored for the next start.
    return CommandResult::Ok;
}

}  // namespace ostrel::app
