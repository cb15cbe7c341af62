// The start folder of an installed program: the current folder when it holds
// the device file, else the per-user folder, filled from the installed data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/start_folder.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

namespace fs = std::filesystem;

void Put(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

enum class Where { Current, Home, Xdg };

struct Case {
    const char* name;
    bool currentHasIni;
    bool installed;    // an installed data folder exists
    const char* xdg;   // "abs": an absolute XDG_DATA_HOME, "rel": a relative one, "": unset
    bool userHasIni;   // the per-user folder already holds the user's own ostrel.ini
    bool userHasHelp;  // ... and the user's own help page
    Where expected;
    bool filled;
};

TEST(StartFolder, ChoosesAndFillsThePerUserFolderOnlyWhenTheCurrentFolderLacksTheDeviceFile) {
    const Case cases[] = {
        {"current folder holds ostrel.ini", true, true, "", false, false, Where::Current, false},
        {"first use fills ~/.local/share/ostrel", false, true, "", false, false, Where::Home, true},
        {"XDG_DATA_HOME is honoured", false, true, "abs", false, false, Where::Xdg, true},
        {"a relative XDG_DATA_HOME is ignored", false, true, "rel", false, false, Where::Home,
         true},
        {"the user's files stay, missing ones come", false, true, "", true, false, Where::Home,
         true},
        {"an already filled folder is left alone", false, true, "", true, true, Where::Home, false},
        {"no installed data: a filled folder still serves", false, false, "", true, false,
         Where::Home, false},
        {"no installed data and no folder: current folder", false, false, "", false, false,
         Where::Current, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir current, home, xdg, share, examples;
        examples.Write("blink-atmega8.hex", "installed hex");
        if (c.currentHasIni)
            current.Write("ostrel.ini", "current ini");
        share.Write("ostrel.ini", "installed ini");
        share.Write("ostrel-hlp.htm", "installed help");
        share.Write("wiring.svg", "<svg/>");
        const std::string homeFolder = home.File(".local/share/ostrel");
        const std::string xdgFolder = xdg.File("ostrel");
        const std::string userFolder = std::string(c.xdg) == "abs" ? xdgFolder : homeFolder;
        if (c.userHasIni || c.userHasHelp)
            fs::create_directories(userFolder);
        if (c.userHasIni)
            Put(userFolder + "/ostrel.ini", "user ini");
        if (c.userHasHelp) {
            Put(userFolder + "/ostrel-hlp.htm", "user help");
            Put(userFolder + "/wiring.svg", "user svg");
            fs::create_directories(userFolder + "/examples");
            Put(userFolder + "/examples/blink-atmega8.hex", "user hex");
        }

        app::StartFolderInputs in;
        in.style = PathStyle::Posix;
        in.currentDirectory = current.str();
        in.installedData = c.installed ? share.str() : "";
        in.installedExamples = c.installed ? examples.str() : "";
        in.xdgDataHome = std::string(c.xdg) == "abs"   ? xdg.str()
                         : std::string(c.xdg) == "rel" ? "relative/data"
                                                       : "";
        in.home = home.str();
        app::StartFolder got = app::ChooseStartFolder(in);

        std::string expected = c.expected == Where::Current ? current.str()
                               : c.expected == Where::Xdg   ? xdgFolder
                                                            : homeFolder;
        EXPECT_EQ(got.directory, expected);
        EXPECT_EQ(got.perUser, c.expected != Where::Current);
        EXPECT_EQ(got.filled, c.filled);
        EXPECT_EQ(got.problem, "");
        EXPECT_EQ(app::DescribeStartFolder(got).empty(), !got.perUser);
        if (got.perUser) {
            EXPECT_NE(app::DescribeStartFolder(got).find(expected), std::string::npos);
        }
        if (c.expected == Where::Current) {
            EXPECT_EQ(fs::exists(homeFolder), c.userHasIni || c.userHasHelp);
            continue;
        }
        EXPECT_EQ(ReadFileBytes(expected + "/ostrel.ini"),
                  c.userHasIni ? "user ini" : "installed ini");
        if (c.installed || c.userHasHelp) {
            EXPECT_EQ(ReadFileBytes(expected + "/ostrel-hlp.htm"),
                      c.userHasHelp ? "user help" : "installed help");
        }
        // The examples come into a folder of the user's, the user's own kept.
        if (c.installed || c.userHasHelp) {
            EXPECT_EQ(ReadFileBytes(expected + "/examples/blink-atmega8.hex"),
                      c.userHasHelp ? "user hex" : "installed hex");
        }
        EXPECT_FALSE(std::string(c.xdg) == "abs" && fs::exists(homeFolder)) << "HOME untouched";
    }
}

TEST(StartFolder, TheInstalledDataIsFoundBesideTheProgramsBinFolder) {
    TempDir prefix;
    fs::create_directories(prefix.File("bin"));
    const std::string program = prefix.File("bin/ostrel-cli");
    const PathStyle kLinux = PathStyle::Posix;
    EXPECT_EQ(app::InstalledDataFolder(program, kLinux), "") << "no share/ostrel yet";
    EXPECT_EQ(app::InstalledExamplesFolder("/usr/share/ostrel", kLinux),
              "/usr/share/doc/ostrel/examples");
    EXPECT_EQ(app::InstalledExamplesFolder("C:\\Ostrel", PathStyle::Windows),
              "C:\\Ostrel\\examples");
    EXPECT_EQ(app::InstalledExamplesFolder("", kLinux), "");
    fs::create_directories(prefix.File("share/ostrel"));
    EXPECT_EQ(app::InstalledDataFolder(program, kLinux), "")
        << "share/ostrel without the device file";
    prefix.Write("share/ostrel/ostrel.ini", "ini");
    EXPECT_EQ(app::InstalledDataFolder(program, kLinux), prefix.File("share/ostrel"));
    EXPECT_EQ(app::InstalledDataFolder("", kLinux), "");
}

TEST(StartFolder, APerUserFolderThatCannotBeMadeIsReportedAndTheCurrentFolderKept) {
    TempDir current, share, home;
    share.Write("ostrel.ini", "installed ini");
    home.Write(".local", "a file where a folder should be");
    app::StartFolderInputs in{current.str(), share.str(), "", home.str(), "", PathStyle::Posix, ""};
    app::StartFolder got = app::ChooseStartFolder(in);
    EXPECT_EQ(got.directory, current.str());
    EXPECT_FALSE(got.perUser);
    EXPECT_NE(got.problem.find(home.File(".local/share/ostrel")), std::string::npos) << got.problem;

    in.home = "";
    got = app::ChooseStartFolder(in);
    EXPECT_EQ(got.directory, current.str());
    EXPECT_NE(got.problem.find("HOME"), std::string::npos) << got.problem;
}

}  // namespace
}  // namespace ostrel::testing
