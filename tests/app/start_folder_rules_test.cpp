// The start folder by the Windows rules, checked on every system: the
// per-user folder is %APPDATA%\Ostrel, filled from the folder the program is
// in, and the program's own folder is never the start folder even though it
// holds ostrel.ini (it is the source of the copies, and read-only when
// installed).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/start_folder.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

namespace fs = std::filesystem;
constexpr PathStyle kWindows = PathStyle::Windows;

TEST(StartFolderRules, WindowsTakesAppDataAndTheProgramsOwnFolder) {
    EXPECT_EQ(app::WindowsPerUserFolder("C:\\Users\\ada\\AppData\\Roaming"),
              "C:\\Users\\ada\\AppData\\Roaming\\Ostrel");
    EXPECT_EQ(app::WindowsPerUserFolder("C:/Users/ada/AppData/Roaming/"),
              "C:/Users/ada/AppData/Roaming/Ostrel");
    for (const char* relative : {"", "AppData", "C:AppData"})
        EXPECT_EQ(app::WindowsPerUserFolder(relative), "") << relative;

    TempDir installed;
    const std::string program = JoinPath(installed.str(), "ostrel-cli.exe", kWindows);
    EXPECT_EQ(app::InstalledDataFolder(program, kWindows), "") << "no ostrel.ini beside it yet";
    installed.Write("ostrel.ini", "installed ini");
    EXPECT_EQ(fs::path(app::InstalledDataFolder(program, kWindows)), installed.path());
    EXPECT_EQ(app::InstalledDataFolder("ostrel-cli.exe", kWindows), "") << "no folder";
}

TEST(StartFolderRules, TheProgramsFolderIsNeverTheStartFolder) {
    const struct {
        bool fromProgramFolder;  // the current folder is the installed one
        bool appDataSet;
        bool perUser;  // the per-user folder is chosen
    } kCases[] = {
        {true, true, true},
        {false, true, false},  // a folder of the user's own with ostrel.ini wins
        {true, false, false},  // no per-user folder: the current one, with a problem
    };
    for (const auto& c : kCases) {
        TempDir installed, elsewhere, appData;
        installed.Write("ostrel.ini", "installed ini");
        installed.Write("ostrel-hlp.htm", "help");
        elsewhere.Write("ostrel.ini", "own ini");
        app::StartFolderInputs in;
        in.style = kWindows;
        in.currentDirectory = c.fromProgramFolder ? installed.str() : elsewhere.str();
        in.installedData = installed.str();
        // A separator at its end keeps the path whole on a POSIX system too.
        in.appData = c.appDataSet ? appData.str() + "/" : "";
        app::StartFolder got = app::ChooseStartFolder(in);
        EXPECT_EQ(got.perUser, c.perUser);
        if (c.perUser) {
            const std::string folder = JoinPath(appData.str() + "/", "Ostrel", kWindows);
            EXPECT_EQ(got.directory, folder);
            EXPECT_TRUE(got.filled);
            EXPECT_EQ(ReadFileBytes(JoinPath(folder, "ostrel-hlp.htm")), "help");
        } else {
            EXPECT_EQ(got.directory, in.currentDirectory);
            EXPECT_EQ(got.problem.empty(), c.appDataSet) << got.problem;
        }
    }
}

}  // namespace
}  // namespace ostrel::testing
