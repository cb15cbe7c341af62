// Help Topics, Look for new version, About and the wiring picture.
#include "dialogs/help.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/ids.h"
#include "tests/support/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

TEST(HelpTopics, OpensThePageInTheCurrentDirectory) {
    SimRig rig;
    rig.Write("ostrel-hlp.htm", "<html><body>help</body></html>");
    dialogs::HelpTopics(rig.p);
    EXPECT_EQ(rig.windows.documents, std::vector<std::string>{rig.dir.File("ostrel-hlp.htm")});
    EXPECT_TRUE(rig.windows.messages.empty());
}

TEST(HelpTopics, MissingPageIsReported) {
    SimRig rig;
    dialogs::HelpTopics(rig.p);
    EXPECT_TRUE(rig.windows.documents.empty());
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].text, "ostrel-hlp.htm not found!");
    EXPECT_EQ(rig.windows.messages[0].title, "Error");
    EXPECT_EQ(rig.windows.messages[0].owner, ids::kNoOwner);
    EXPECT_EQ(rig.windows.messages[0].buttons, MsgButtons::Ok);
}

TEST(HelpTopics, LooksInTheFolderOfTheLastOpenedFile) {
    SimRig rig;
    rig.Write("ostrel-hlp.htm", "<html></html>");
    TempDir other;
    rig.p.currentDirectory = other.str();
    dialogs::HelpTopics(rig.p);
    EXPECT_TRUE(rig.windows.documents.empty());
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].text, "ostrel-hlp.htm not found!");

    other.Write("ostrel-hlp.htm", "<html></html>");
    dialogs::HelpTopics(rig.p);
    EXPECT_EQ(rig.windows.documents, std::vector<std::string>{other.File("ostrel-hlp.htm")});
}

TEST(HelpTopics, AFolderOfThatNameIsNoPage) {
    SimRig rig;
    std::filesystem::create_directory(rig.dir.path() / "ostrel-hlp.htm");
    dialogs::HelpTopics(rig.p);
    EXPECT_TRUE(rig.windows.documents.empty());
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].text, "ostrel-hlp.htm not found!");
}

// The project's page in the desktop's browser; where none can show it, the
// user is told where to look instead. The help page is not needed for either.
TEST(LookForNewVersion, OpensTheProjectsPageOrSaysWhereToLook) {
    for (bool browser : {true, false}) {
        SCOPED_TRACE(browser ? "a browser" : "no browser");
        SimRig rig;
        rig.windows.documentsOpen = browser;
        dialogs::LookForNewVersion(rig.p);
        EXPECT_EQ(rig.windows.documents, std::vector<std::string>{dialogs::kProjectPage});
        if (browser) {
            EXPECT_TRUE(rig.windows.messages.empty());
            continue;
        }
        ASSERT_EQ(rig.windows.messages.size(), 1u);
        EXPECT_EQ(rig.windows.messages[0].text, dialogs::NoBrowserText());
        EXPECT_NE(rig.windows.messages[0].text.find(dialogs::kProjectPage), std::string::npos);
        EXPECT_EQ(rig.windows.messages[0].owner, ids::kNoOwner);
    }
}

TEST(About, ThreeLinesUnderTheVersionTitle) {
    SimRig rig;
    dialogs::About(rig.p);
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    const ShownMessage& m = rig.windows.messages[0];
    EXPECT_EQ(m.title, "Ostrel  V3.3");
    EXPECT_EQ(m.owner, ids::kNoOwner);
    EXPECT_EQ(m.buttons, MsgButtons::Ok);
    // A credit line, a line about help, and the empty line after the last line end.
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (std::size_t nl; (nl = m.text.find('\n', pos)) != std::string::npos; pos = nl + 1)
        lines.push_back(m.text.substr(pos, nl - pos));
    lines.push_back(m.text.substr(pos));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Ostrel - in-system programmer for AVR chips, 2026 The Ostrel developers");
    // The help line names the very file Help Topics opens, in the start folder.
    EXPECT_EQ(lines[1], "Help: " + rig.dir.File("ostrel-hlp.htm") + " (Help > Help Topics)");
    EXPECT_EQ(lines[2], "");
    EXPECT_TRUE(rig.windows.documents.empty());
}

TEST(WiringPicture, EnterAndEscapeBothCloseItWith1) {
    for (int key : {ids::kOkCommand, ids::kCancelCommand}) {
        SimRig rig;
        rig.windows.dialogScript = [&](int dialog, DialogHandler& handler) {
            EXPECT_EQ(dialog, ids::kWiringDialog);
            handler.OnCommand(key);
        };
        EXPECT_EQ(dialogs::ShowWiringPicture(rig.p), 1);
        EXPECT_EQ(rig.windows.log.front(), "dialog 1039 owner 103");
    }
}

TEST(WiringPicture, OtherCommandsLeaveItOpen) {
    SimRig rig;
    rig.windows.dialogScript = [&](int, DialogHandler& handler) {
        handler.OnCommand(ids::kWiringPicture);
        handler.OnCommand(1000);
        EXPECT_FALSE(rig.windows.WindowEnded(ids::kWiringDialog));
    };
    dialogs::ShowWiringPicture(rig.p);
    EXPECT_FALSE(rig.windows.WindowEnded(ids::kWiringDialog));
}

}  // namespace
}  // namespace ostrel::testing
