#include "app/start_folder.h"
#include "platform/paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ostrel::app {

namespace fs = std::filesystem;

namespace {

bool HasDeviceFile(const std::string& folder) {
    std::error_code ec;
    return !folder.empty() && fs::is_regular_file(FsPath(folder) / kDeviceFileName, ec);
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// Copies every plain file of `from` that `to` lacks. Returns what went wrong
// (empty when nothing did); a file the user already has is left as it is.
std::string CopyMissingFiles(const fs::path& from, const fs::path& to, bool& copied) {
    std::error_code ec;
    fs::directory_iterator it(from, ec);
    if (ec)
        return "cannot read " + from.string() + ": " + ec.message();
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            return "cannot read " + from.string() + ": " + ec.message();
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        fs::path target = to / it->path().filename();
        if (fs::exists(fs::symlink_status(target, typeError)))
            continue;
        if (!fs::copy_file(it->path(), target, fs::copy_options::none, ec))
            return "cannot copy " + it->path().string() + " to " + to.string() + ": " +
                   ec.message();
        copied = true;
        // The start-up opens the device file for writing too: an installed
        // read-only file must not make the user's copy read-only.
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add, ec);
    }
    return {};
}

// True when both name the same existing folder.
bool SameFolder(const std::string& a, const std::string& b) {
    std::error_code ec;
    return !a.empty() && !b.empty() && fs::equivalent(FsPath(a), FsPath(b), ec);
}

}  // namespace

std::string PerUserFolder(const std::string& xdgDataHome, const std::string& home) {
    if (!xdgDataHome.empty() && xdgDataHome.front() == '/')
        return (FsPath(xdgDataHome) / "ostrel").lexically_normal().string();
    if (!home.empty() && home.front() == '/')
        return (FsPath(home) / ".local" / "share" / "ostrel").lexically_normal().string();
    return {};
}

std::string WindowsPerUserFolder(const std::string& appData) {
    if (!IsAbsolutePath(appData, PathStyle::Windows))
        return {};
    return JoinPath(appData, "Ostrel", PathStyle::Windows);
}

std::string InstalledDataFolder(const std::string& executable, PathStyle style) {
    std::size_t separator = LastSeparator(executable, style);
    if (separator == std::string::npos)
        return {};
    std::string folder = executable.substr(0, separator);
    if (style == PathStyle::Posix)
        folder = (FsPath(folder).parent_path() / "share" / "ostrel").lexically_normal().string();
    return HasDeviceFile(folder) ? folder : std::string();
}

std::string InstalledExamplesFolder(const std::string& installedData, PathStyle style) {
    if (installedData.empty())
        return {};
    if (style == PathStyle::Windows)
        return JoinPath(installedData, kExamplesFolderName, PathStyle::Windows);
    return (FsPath(installedData).parent_path() / "doc" / "ostrel" / kExamplesFolderName)
        .lexically_normal()
        .string();
}

StartFolder ChooseStartFolder(const StartFolderInputs& inputs) {
    StartFolder result;
    result.directory = inputs.currentDirectory;
    if (HasDeviceFile(inputs.currentDirectory) &&
        !SameFolder(inputs.currentDirectory, inputs.installedData))
        return result;

    const bool windows = inputs.style == PathStyle::Windows;
    std::string folder = windows ? WindowsPerUserFolder(inputs.appData)
                                 : PerUserFolder(inputs.xdgDataHome, inputs.home);
    if (folder.empty()) {
        if (!inputs.installedData.empty())
            result.problem = windows ? "no per-user folder: APPDATA is not an absolute path"
                                     : "no per-user folder: neither XDG_DATA_HOME nor HOME is an "
                                       "absolute path";
        return result;
    }
    if (!inputs.installedData.empty()) {
        std::error_code ec;
        fs::create_directories(FsPath(folder), ec);
        if (ec) {
            result.problem = "cannot create " + folder + ": " + ec.message();
            return result;
        }
        result.problem = CopyMissingFiles(inputs.installedData, folder, result.filled);
        // The examples are a help, not a need: a system that leaves out the
        // documentation (a minimal Debian) simply has none to copy.
        std::error_code missing;
        if (result.problem.empty() && !inputs.installedExamples.empty() &&
            fs::is_directory(FsPath(inputs.installedExamples), missing)) {
            const fs::path examples = FsPath(folder) / kExamplesFolderName;
            fs::create_directories(examples, ec);
            result.problem =
                ec ? "cannot create " + examples.string() + ": " + ec.message()
                   : CopyMissingFiles(FsPath(inputs.installedExamples), examples, result.filled);
        }
    }
    if (!HasDeviceFile(folder))
        return result;
    result.directory = folder;
    result.perUser = true;
    return result;
}

StartFolder ChooseStartFolderForProcess() {
    StartFolderInputs inputs;
    std::error_code ec;
    fs::path current = fs::current_path(ec);
    if (!ec)
        inputs.currentDirectory = current.string();
    inputs.installedData = InstalledDataFolder(OwnProgramPath());
    inputs.installedExamples = InstalledExamplesFolder(inputs.installedData);
    inputs.xdgDataHome = Variable("XDG_DATA_HOME");
    inputs.home = Variable("HOME");
    inputs.appData = Variable("APPDATA");
    return ChooseStartFolder(inputs);
}

std::string DescribeStartFolder(const StartFolder& folder) {
    if (!folder.perUser)
        return folder.problem.empty() ? std::string()
                                      : "no per-user start folder: " + folder.problem;
    std::string line = "no ostrel.ini in the current folder: start folder " + folder.directory;
    if (folder.filled)
        line += " (set up now from the installed files)";
    if (!folder.problem.empty())
        line += "; " + folder.problem;
    return line;
}

}  // namespace ostrel::app
