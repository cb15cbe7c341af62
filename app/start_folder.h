// Where the programs start when they are run from a folder without the
// device file: an installed Ostrel works from any folder, the first time,
// with nothing copied by hand.
//
// The current directory wins when it holds ostrel.ini (and is not the
// installed data folder itself, which is the source of the per-user copies
// and usually read-only). Otherwise the programs use a start folder of their
// own per user, filled on first use from the installed data folder; files the
// user already has there are never overwritten.
//   Linux:   $XDG_DATA_HOME/ostrel (by default ~/.local/share/ostrel), filled
//            from <prefix>/share/ostrel, found beside the program's bin/ folder.
//   Windows: %APPDATA%\Ostrel, filled from the folder the program is in.
// The installed examples go into its folder "examples" the same way, so the
// package's first steps (write an example, which saves its snapshot beside
// it) work in a folder the user can write.
#pragma once

#include <string>

#include "platform/paths.h"

namespace ostrel::app {

// Name of the device file whose presence makes a folder a start folder.
inline constexpr const char* kDeviceFileName = "ostrel.ini";
// The per-user start folder's copy of the installed examples.
inline constexpr const char* kExamplesFolderName = "examples";

struct StartFolderInputs {
    std::string currentDirectory;  // the process's current directory
    std::string installedData;     // <prefix>/share/ostrel; empty when not known
    std::string xdgDataHome;       // $XDG_DATA_HOME as set (may be empty)
    std::string home;              // $HOME as set (may be empty)
    std::string appData;           // %APPDATA% as set (may be empty; Windows)
    PathStyle style = NativePathStyle();
    std::string installedExamples;  // the installed examples (may be empty or missing)
};

struct StartFolder {
    std::string directory;  // the start directory the program uses
    bool perUser = false;   // the per-user folder was chosen: say so to the user
    bool filled = false;    // files were copied into it during this call
    std::string problem;    // why the per-user folder could not be used or filled
};

// The per-user folder: $XDG_DATA_HOME/ostrel when that variable holds an
// absolute path (relative ones are ignored, as the XDG rules say), else
// $HOME/.local/share/ostrel; empty when neither is usable.
std::string PerUserFolder(const std::string& xdgDataHome, const std::string& home);
// The per-user folder on Windows: %APPDATA%\Ostrel when that variable holds
// an absolute path; empty otherwise.
std::string WindowsPerUserFolder(const std::string& appData);

// The installed data folder of a program at `executable`, when that folder
// holds the device file (empty otherwise): <bin>/../share/ostrel on Linux,
// the program's own folder on Windows.
std::string InstalledDataFolder(const std::string& executable, PathStyle style = NativePathStyle());

// The installed examples beside the installed data folder:
// <prefix>/share/doc/ostrel/examples on Linux, <program folder>\examples on
// Windows; empty when `installedData` is.
std::string InstalledExamplesFolder(const std::string& installedData,
                                    PathStyle style = NativePathStyle());

// Chooses the start folder from explicit inputs (the tests' entry): the current
// directory when it holds ostrel.ini; else the per-user folder, created and
// given every file of the installed data folder it lacks, when it then holds
// ostrel.ini; else the current directory (the start-up then names the
// missing device file).
StartFolder ChooseStartFolder(const StartFolderInputs& inputs);

// The same for this process: its current directory, its own executable
// (OwnProgramPath), XDG_DATA_HOME and HOME, or APPDATA on Windows. A front-end calls this only when
// the user did not name a start directory.
StartFolder ChooseStartFolderForProcess();

// The one line a front-end shows when the per-user folder is used or could
// not be used; empty when there is nothing to say.
std::string DescribeStartFolder(const StartFolder& folder);

}  // namespace ostrel::app
