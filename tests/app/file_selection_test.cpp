// Choosing the current data file, and the start-up of the main window.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/commands.h"
#include "app/file_selection.h"
#include "app/settings.h"
#include "app/startup.h"
#include "core/ids.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using app::LoadCurrentFile;

TEST(LoadCurrentFile, RecognisesExtensionsWithoutRegardToCase) {
    struct Case {
        const char* name;
        Flag eeprom;
    };
    for (Case c : {Case{"prog.HEX", 0}, Case{"data.Eep", 1}, Case{"readback.txt", 0}}) {
        SimRig rig;
        rig.Write(c.name, ":00000001FF\r\n");
        EXPECT_EQ(rig.Load(c.name), 0) << c.name;
        EXPECT_EQ(rig.p.state.eepromFile, c.eeprom);
        EXPECT_EQ(rig.p.state.baseName.view(), c.name);
        EXPECT_EQ(rig.p.state.fileLoaded, 1);
        EXPECT_EQ(rig.p.state.fileLineCount, 1);
    }
}

TEST(LoadCurrentFile, TheExtensionIsTheEndOfTheFileNameAndNothingIsCut) {
    struct Case {
        const char* path;  // relative to the start directory
        int result;
        Flag eeprom;
        const char* baseName;
    };
    for (Case c : {Case{"prog.hex.new", 1, 0, ""}, Case{"prog.hex.bak", 1, 0, ""},
                   Case{"fw.hexfiles/prog.hex", 0, 0, "prog.hex"},
                   Case{"old.hex/prog.eep", 0, 1, "prog.eep"}, Case{"old.hex/notes", 1, 0, ""},
                   Case{"sub/.hex", 1, 0, ""}}) {
        SimRig rig;
        std::filesystem::create_directories(
            std::filesystem::path(rig.dir.File(c.path)).parent_path());
        rig.dir.Write(c.path, ":00000001FF\n");
        rig.p.state.currentFileName.Assign(rig.dir.File(c.path));
        EXPECT_EQ(LoadCurrentFile(rig.p), c.result) << c.path;
        EXPECT_EQ(rig.p.state.fileLoaded, c.result == 0 ? 1 : 0) << c.path;
        EXPECT_EQ(rig.p.state.eepromFile, c.eeprom) << c.path;
        EXPECT_EQ(rig.p.state.baseName.view(), c.baseName) << c.path;
        EXPECT_EQ(rig.p.state.currentFileName.view(), rig.dir.File(c.path)) << "never cut";
    }
}

TEST(LoadCurrentFile, UnrecognisedExtensionMissingFileAndEmptyName) {
    SimRig rig;
    rig.Write("good.hex", "a\nb\n");
    ASSERT_EQ(rig.Load("good.hex"), 0);
    rig.Write("prog.bin", "x");
    EXPECT_EQ(rig.Load("prog.bin"), 1);
    EXPECT_EQ(rig.p.state.fileLoaded, 0);
    EXPECT_EQ(rig.p.state.errorText.view(), "Open Error!");

    ASSERT_EQ(rig.Load("good.hex"), 0);
    EXPECT_EQ(rig.Load("gone.hex"), 1);  // cannot be opened: nothing of the old file stays
    EXPECT_EQ(rig.p.state.fileLoaded, 0);
    EXPECT_EQ(rig.p.state.baseName.view(), "");
    EXPECT_EQ(rig.p.state.fileLineCount, 0);

    rig.p.state.currentFileName.Clear();
    EXPECT_EQ(LoadCurrentFile(rig.p), 1);
    EXPECT_EQ(rig.p.state.fileLoaded, 0);
}

TEST(LoadCurrentFile, EmptyBinaryAndHugeFiles) {
    SimRig rig;
    rig.Write("empty.hex", "");
    EXPECT_EQ(rig.Load("empty.hex"), 0);
    EXPECT_EQ(rig.p.state.fileLineCount, 0);
    EXPECT_EQ(rig.p.state.fileLoaded, 1);

    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 37) & 0xFF));
    rig.Write("noise.hex", binary);
    EXPECT_EQ(rig.Load("noise.hex"), 0);

    rig.Write("huge.hex", std::string(5 * 1024 * 1024, 'A') + "\n" + std::string(300, '\n'));
    EXPECT_EQ(rig.Load("huge.hex"), 0);
    EXPECT_EQ(rig.p.state.fileLineCount, 301);
    EXPECT_EQ(app::OnCommand(rig.p, ids::kVerify), app::CommandResult::Failed)
        << "the check refuses it";
    EXPECT_EQ(rig.windows.messages.back().title, "ERROR!");
}

TEST(LoadCurrentFile, StoresThePathInTheSettingsFile) {
    SimRig rig;
    rig.Write("with blank.hex", ":00000001FF\n");
    ASSERT_EQ(rig.Load("with blank.hex"), 0);
    std::string cfg = rig.dir.Read("ostrel.cfg");
    ASSERT_GE(cfg.size(), 32u);
    EXPECT_EQ(cfg.substr(30, 2), "\r\n");
    EXPECT_EQ(cfg.substr(32, cfg.find('\0', 32) - 32), rig.dir.File("with blank.hex"));
}

TEST(OpenFile, TheDialogStartsInTheCurrentFilesFolderAndTheNameIsShown) {
    SimRig rig;
    rig.Write("first.hex", ":00000001FF\n");
    ASSERT_EQ(rig.Load("first.hex"), 0);
    rig.Write("second.eep", ":00000001FF\n");
    rig.windows.fileChoices.push_back(rig.dir.File("second.eep"));
    app::OnCommand(rig.p, ids::kFileOpen);
    ASSERT_EQ(rig.windows.fileDialogs.size(), 1u);
    EXPECT_EQ(rig.windows.fileDialogs[0],
              "Open a File|*.hex, *.eep, readback.txt|"
              "*.hex;*.eep;readback.txt|" +
                  rig.dir.str());
    EXPECT_EQ(rig.p.state.baseName.view(), "second.eep");
    EXPECT_EQ(rig.p.state.eepromFile, 1);
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kCurrentFile), "second.eep");
    EXPECT_FALSE(rig.windows.IsItemEnabled(ids::kMainWindow, ids::kCurrentFile));
    EXPECT_EQ(rig.dir.Read("ostrel.cfg").substr(27, 3), "\r\n1");

    rig.windows.fileChoices.push_back(std::nullopt);  // cancelled: nothing changes
    app::OnCommand(rig.p, ids::kFileOpen);
    EXPECT_EQ(rig.p.state.baseName.view(), "second.eep");
}

// Where the dialog starts, and a chosen name that is no file: File > Open
// fails there, naming it, and no earlier file stays current.
TEST(OpenFile, StartFolderAndNamesThatAreNoFile) {
    struct Case {
        const char* what;
        bool examples;         // the start folder has its examples
        const char* current;   // the current file before, "" for none
        const char* chosen;    // what the dialog answers
        const char* startsIn;  // folder of the dialog, below the start folder
        bool chosenIsCurrent;  // the choice became the current file
    };
    const Case cases[] = {
        {"first start with examples", true, "", "examples/blink.hex", "/examples", true},
        {"first start without examples", false, "", "own.hex", "", true},
        {"the current file's folder wins", true, "work/old.hex", "own.hex", "/work", true},
        {"a name that does not exist", true, "own.hex", "missing.hex", "", false},
        {"a folder is no file", true, "", "work", "/examples", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimRig rig;
        std::filesystem::create_directories(rig.dir.File("work"));
        rig.Write("work/old.hex", ":00000001FF\n");
        rig.Write("own.hex", ":00000001FF\n");
        if (c.examples) {
            std::filesystem::create_directories(rig.dir.File("examples"));
            rig.Write("examples/blink.hex", ":00000001FF\n");
        }
        if (*c.current != '\0') {
            ASSERT_EQ(rig.Load(c.current), 0);
        }
        rig.windows.fileChoices.push_back(rig.dir.File(c.chosen));
        app::CommandResult result = app::OnCommand(rig.p, ids::kFileOpen);
        ASSERT_EQ(rig.windows.fileDialogs.size(), 1u);
        const std::string& shown = rig.windows.fileDialogs[0];
        // The folder as the system writes it, with its own separator.
        std::string startsIn = c.startsIn;
        if (!startsIn.empty())
            startsIn[0] = static_cast<char>(std::filesystem::path::preferred_separator);
        EXPECT_EQ(shown.substr(shown.rfind('|') + 1), rig.dir.str() + startsIn);
        if (c.chosenIsCurrent) {
            EXPECT_EQ(rig.p.state.currentFileName.view(), rig.dir.File(c.chosen));
            EXPECT_EQ(rig.p.state.fileLoaded, 1);
            EXPECT_EQ(result, app::CommandResult::Ok);
            EXPECT_TRUE(rig.windows.messages.empty());
        } else {
            EXPECT_EQ(result, app::CommandResult::Failed);
            EXPECT_EQ(rig.p.state.fileLoaded, 0);
            EXPECT_TRUE(rig.p.state.baseName.empty());
            ASSERT_EQ(rig.windows.messages.size(), 1u);
            EXPECT_NE(rig.windows.messages[0].text.find(c.chosen), std::string::npos);
        }
    }
}

// --- start-up ---

struct StartRig : SimRig {
    StartRig() {
        dir.Write("ostrel.cfg", "");
        std::filesystem::remove(dir.File("ostrel.cfg"));
    }
};

TEST(Startup, FirstStartInAFolderWithOnlyTheDeviceFile) {
    StartRig rig;
    rig.p.state.directPortIo = 0;
    rig.p.state.adapterKind = AdapterKind::Parallel;
    EXPECT_TRUE(app::OpenMainWindow(rig.p, std::nullopt));
    EXPECT_EQ(rig.dir.Read("ostrel.cfg"), std::string("COM2\0\0A", 7));
    EXPECT_TRUE(rig.windows.IsMenuChecked(ids::kSpeedAuto));
    EXPECT_TRUE(rig.windows.IsMenuChecked(ids::kCom2));
    EXPECT_FALSE(rig.windows.IsItemEnabled(ids::kMainWindow, ids::kDeviceList));
    EXPECT_EQ(rig.windows.SelectedListEntry(), 0);
    EXPECT_EQ(rig.windows.ListEntry(0), "AT90S1200");
    EXPECT_TRUE(rig.windows.messages.empty());
    const auto& list = rig.windows.ListEntries();
    for (size_t i = 1; i < list.size(); ++i)
        EXPECT_LE(strcasecmp(list[i - 1].c_str(), list[i].c_str()), 0);
}

TEST(Startup, MissingDeviceFileEndsTheProgram) {
    StartRig rig;
    std::filesystem::remove(rig.dir.File("ostrel.ini"));
    EXPECT_FALSE(app::OpenMainWindow(rig.p, std::nullopt));
    EXPECT_EQ(rig.windows.MessageTexts(),
              std::vector<std::string>{"Error!: Open Error 'ostrel.ini !'"});
    int result = 0;
    EXPECT_TRUE(rig.windows.WindowEnded(ids::kMainWindow, &result));
}

TEST(Startup, ReopenOfferShowsTheNameUpToItsFirstBlankAndDeclineIsRemembered) {
    StartRig rig;
    rig.Write("my file.hex", ":00000001FF\n");
    rig.Write("ostrel.cfg", "COM1");
    rig.p.state.currentFileName.Assign(rig.dir.File("my file.hex"));
    rig.p.state.startDirectory.Assign(rig.dir.str());
    app::StorePath(rig.p, true);
    rig.windows.answers = {MsgResult::Cancel};
    EXPECT_TRUE(app::OpenMainWindow(rig.p, std::nullopt));
    EXPECT_EQ(rig.windows.MessageTexts(), std::vector<std::string>{"Ostrel: Open 'my' ?"});
    EXPECT_EQ(rig.p.state.fileLoaded, 0);
    EXPECT_EQ(rig.dir.Read("ostrel.cfg")[29], '0');

    SimRig next;  // the next start in the same folder asks nothing
    next.Write("ostrel.cfg", rig.dir.Read("ostrel.cfg"));
    next.Write("my file.hex", ":00000001FF\n");
    EXPECT_TRUE(app::OpenMainWindow(next.p, std::nullopt));
    EXPECT_TRUE(next.windows.messages.empty());
}

TEST(Startup, AcceptedOfferMakesTheFileCurrent) {
    StartRig rig;
    rig.Write("prog.hex", ":00000001FF\n");
    rig.Write("ostrel.cfg", "COM1");
    rig.p.state.currentFileName.Assign(rig.dir.File("prog.hex"));
    rig.p.state.startDirectory.Assign(rig.dir.str());
    app::StorePath(rig.p, true);
    EXPECT_TRUE(app::OpenMainWindow(rig.p, std::nullopt));
    EXPECT_EQ(rig.p.state.fileLoaded, 1);
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kCurrentFile), "prog.hex");
}

TEST(Startup, CommandLineFileIsWrittenAndTheProgramEnds) {
    StartRig rig;
    rig.Write("prog.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
    EXPECT_FALSE(app::OpenMainWindow(rig.p, rig.dir.File("prog.hex")));
    EXPECT_EQ(rig.chip().Flash(3), 0x04);
    EXPECT_EQ(rig.chip().chipErases(), 0) << "the start-up write never erases";
    int result = 0;
    EXPECT_TRUE(rig.windows.WindowEnded(ids::kMainWindow, &result));
}

TEST(Startup, CommandLineFileThatFailsKeepsTheWindowOpen) {
    StartRig rig;
    rig.Write("prog.bin", "x");
    EXPECT_TRUE(app::OpenMainWindow(rig.p, rig.dir.File("prog.bin")));
    ASSERT_EQ(rig.windows.messages.size(), 1u) << "the file that is not written is named";
    EXPECT_EQ(rig.windows.messages[0].title, "ERROR!");
    EXPECT_NE(rig.windows.messages[0].text.find("prog.bin is not a data file"), std::string::npos);
    std::string cfg = rig.dir.Read("ostrel.cfg");
    EXPECT_EQ(cfg.substr(32, cfg.find('\0', 32) - 32), rig.dir.File("prog.bin"));

    StartRig tooLong;
    EXPECT_TRUE(app::OpenMainWindow(tooLong.p, "/" + std::string(400, 'x') + ".hex"));
    ASSERT_EQ(tooLong.windows.messages.size(), 1u);
    EXPECT_NE(tooLong.windows.messages[0].text.find("too long"), std::string::npos);
}

}  // namespace
}  // namespace ostrel::testing
