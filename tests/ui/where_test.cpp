// Where things went, as the activity line and the first-start box say it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ids.h"
#include "platform/paths.h"
#include "tests/support/sim_rig.h"
#include "ui/where.h"

namespace ostrel::testing {
namespace {

TEST(WhereItWent, NamesTheFileWithItsFolderMostDetailedFirst) {
    struct Case {
        int command;
        const char* ending;  // the activity line at the command's end
        std::vector<std::string> lines;
        std::string tipHas;
    };
    // A file of the start folder is joined to it with the system's separator.
    const std::string home = "/home/ada/.local/share/ostrel";
    const Case cases[] = {
        {ids::kRead,
         "readback.txt saved    ",
         {"readback.txt saved in ~/.local/share/ostrel", "readback.txt saved in \u2026/ostrel",
          JoinPath("~/.local/share/ostrel", "readback.txt")},
         "Saved: " + JoinPath(home, "readback.txt")},
        {ids::kReadbackInhx,
         "",
         {"readback.hex saved in ~/.local/share/ostrel", "readback.hex saved in \u2026/ostrel",
          JoinPath("~/.local/share/ostrel", "readback.hex")},
         "Saved: " + JoinPath(home, "readback.hex")},
        {ids::kWrite,
         "F+L Bits programmed",
         {"F+L Bits programmed: ~/avr/blink/blink.hex",
          "F+L Bits programmed: \u2026/blink/blink.hex", "~/avr/blink/blink.hex"},
         "Its copy as written: /home/ada/avr/blink/blink.tmp"},
        {ids::kQuick,
         "OK",
         {"OK: ~/avr/blink/blink.hex", "OK: \u2026/blink/blink.hex", "~/avr/blink/blink.hex"},
         "What changed since the last write: /home/ada/avr/blink/blink.dif"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        SimRig rig;
        rig.p.state.startDirectory.Assign(home);
        rig.p.state.currentFileName.Assign("/home/ada/avr/blink/blink.hex");
        std::optional<ui::FileShown> shown =
            ui::WhereItWent(rig.p, c.command, c.ending, "/home/ada/");
        ASSERT_TRUE(shown.has_value());
        EXPECT_EQ(shown->lines, c.lines);
        EXPECT_NE(shown->tip.find(c.tipHas), std::string::npos) << shown->tip;
    }
    SimRig rig;
    for (int other : {ids::kVerify, ids::kCheck, ids::kEraseAll, ids::kFileOpen})
        EXPECT_FALSE(ui::WhereItWent(rig.p, other, "OK", "/home/ada").has_value()) << other;
}

TEST(WhereItWent, WritesTheHomeFolderAsTilde) {
    struct Case {
        const char* path;
        const char* home;
        const char* shown;
    };
    const Case cases[] = {
        {"/home/ada/x/readback.txt", "/home/ada", "~/x/readback.txt"},
        {"/home/ada/x", "/home/ada/", "~/x"},
        {"/home/ada", "/home/ada", "~"},
        {"/home/adam/x", "/home/ada", "/home/adam/x"},
        {"/srv/x", "/home/ada", "/srv/x"},
        {"/x/y", "/", "/x/y"},
        {"/x/y", "", "/x/y"},
        // A Windows path, whose folders end in backslashes.
        {"C:\\Users\\ada\\x", "C:\\Users\\ada\\", "~\\x"},
        {"C:\\Users\\adam\\x", "C:\\Users\\ada", "C:\\Users\\adam\\x"},
        {"C:\\Users\\ada\\x", "", "C:\\Users\\ada\\x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ui::ShortPath(c.path, c.home), c.shown) << c.path << " " << c.home;
}

// In a Windows path the folder ends at a backslash, and its shortened form
// keeps it.
TEST(WhereItWent, ShortensAWindowsFolderAtItsBackslash) {
    SimRig rig;
    rig.p.state.startDirectory.Assign("C:\\Users\\ada\\AppData\\Roaming\\Ostrel");
    std::optional<ui::FileShown> shown = ui::WhereItWent(rig.p, ids::kRead, "", "");
    ASSERT_TRUE(shown.has_value());
    ASSERT_EQ(shown->lines.size(), 3u);
    EXPECT_EQ(shown->lines[0], "readback.txt saved in C:\\Users\\ada\\AppData\\Roaming\\Ostrel");
    EXPECT_EQ(shown->lines[1], "readback.txt saved in \u2026\\Ostrel");
}

TEST(StartFolderMessage, SaysWhereAndWhyOnceOrWhatWentWrong) {
    struct Case {
        app::StartFolder folder;
        std::string message;  // its start; empty: no box
    };
    const Case cases[] = {
        {{"/home/ada/.local/share/ostrel", true, true, ""},
         "Ostrel keeps its device list, settings and read-back files in "
         "~/.local/share/ostrel.\n\nIt was started in a folder without a device list"},
        {{"/home/ada/.local/share/ostrel", true, false, ""}, ""},
        {{"/home/ada/work", false, false, ""}, ""},
        {{"/home/ada/work", false, false, "cannot create /x: Permission denied"},
         "Ostrel could not set up its folder for your files: cannot create /x: Permission "
         "denied\n\nIt works in ~/work instead."},
    };
    for (const Case& c : cases) {
        std::string message = ui::StartFolderMessage(c.folder, "/home/ada");
        if (c.message.empty()) {
            EXPECT_EQ(message, "");
        } else {
            EXPECT_EQ(message.rfind(c.message, 0), 0u) << message;
        }
        std::string tip = ui::StartFolderTip(c.folder);
        EXPECT_NE(tip.find(c.folder.directory), std::string::npos);
        EXPECT_EQ(tip.find("set up now"), std::string::npos);
    }
}

}  // namespace
}  // namespace ostrel::testing
