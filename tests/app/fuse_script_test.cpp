// Fuse and lock scripts run at the end of a Write, against the simulated chip.
#include <gtest/gtest.h>

#include <vector>

#include "app/fuse_script.h"
#include "avr/avr.h"
#include "core/ids.h"
#include "tests/support/fixture.h"
#include "tests/support/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

using Frame = std::array<uint8_t, 4>;

struct ScriptRig : SimRig {
    explicit ScriptRig(const char* chip = "ATmega8") : SimRig({.chip = chip}) {
        Write("prog.hex", ":00000001FF\r\n");
        EXPECT_EQ(Load("prog.hex"), 0);
        EXPECT_EQ(avr::Connect(p), 0);
        chip_ = &SimRig::chip();
        chip_->RecordInstructions(true);
    }
    int Run(std::string_view script) {
        Write("prog.scr", script);
        return app::RunFuseScript(p);
    }
    std::vector<Frame> Sent() { return chip_->instructions(); }
    sim::AvrTarget* chip_ = nullptr;
};

TEST(FuseScript, WriteThenReadBackPasses) {
    ScriptRig rig;
    uint64_t before = rig.clock.NowUs();
    EXPECT_EQ(rig.Run("AC A0 00 E4\r\n50 00 00 E4\r\n"), 0);
    EXPECT_EQ(rig.Sent(), (std::vector<Frame>{{0xAC, 0xA0, 0x00, 0xE4}, {0x50, 0x00, 0x00, 0xE4}}));
    EXPECT_EQ(rig.chip().Fuse(0), 0xE4);
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kActivity), "F+L Bits programmed");
    EXPECT_EQ(rig.windows.beeps, 1);
    // 300 ms after showing "Fuse and Lock Bits", then 5 ms before each half.
    EXPECT_GE(rig.clock.NowUs() - before, 320000u);
}

TEST(FuseScript, AWrongExpectedByteStopsAtItsLine) {
    ScriptRig rig;
    // The comment counts as a line: the message names the line of the file.
    EXPECT_EQ(
        rig.Run("; fuses\nAC A0 00 E4\n50 00 00 E1 expected the factory value\nAC A8 00 D9\n"), 1);
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].title, "ERROR!");
    EXPECT_EQ(rig.windows.messages[0].text,
              "Verify Fuse and Lockbits failed!\n\nLine:  50 00 00 E1\n\nByte 4 received: E4\n\n"
              "prog.scr, line 3: the chip answered E4 where the script expects E1.");
    EXPECT_EQ(rig.Sent().size(), 2u) << "the line after the failure is not sent";
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kActivity), " ");
    EXPECT_FALSE(rig.windows.IsItemEnabled(ids::kMainWindow, ids::kActivity));
    EXPECT_FALSE(rig.windows.IsItemEnabled(ids::kMainWindow, ids::kCurrentFile));
}

TEST(FuseScript, CommentsBlankLineAndLowerCase) {
    ScriptRig rig;
    EXPECT_EQ(rig.Run("; set the clock\nac a0 00 e4\n; check it\n50 00 00 e4\n\nAC A8 00 00\n"), 0);
    EXPECT_EQ(rig.Sent().size(), 2u) << "the blank line ends the script";
    EXPECT_NE(rig.chip().Fuse(1), 0x00);
}

TEST(FuseScript, AnUnterminatedLastLineIsStillExecuted) {
    ScriptRig rig;
    EXPECT_EQ(rig.Run("AC A0 00 E4\n50 00 00 E4"), 0);
    EXPECT_EQ(rig.Sent().size(), 2u);
}

TEST(FuseScript, AMalformedLineIsRefusedBeforeAnythingIsSent) {
    for (const char* bad :
         {"AC A0 00 E4\nAC A0 0G\n", "AC A0 00 E4\n    \n", "AC A0 xx E4\n", "AC\n"}) {
        ScriptRig rig;
        EXPECT_EQ(rig.Run(bad), 1) << bad;
        EXPECT_TRUE(rig.Sent().empty()) << bad;
        ASSERT_EQ(rig.windows.messages.size(), 1u);
        EXPECT_EQ(rig.windows.messages[0].title, "ERROR!");
        EXPECT_NE(rig.windows.messages[0].text.find("Script line"), std::string::npos);
    }
}

TEST(FuseScript, MissingScriptIsNotAnErrorAndAnEmptyOneEndsAtOnce) {
    ScriptRig rig;
    EXPECT_EQ(app::RunFuseScript(rig.p), 0);
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kActivity), "OK");
    EXPECT_EQ(rig.Run(""), 0);
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kActivity), "F+L Bits programmed");
    EXPECT_TRUE(rig.Sent().empty());
}

TEST(FuseScript, OnlyReadInstructionsAreChecked) {
    ScriptRig rig;
    // AC E0 (write lock) answers whatever; no check. 58 00 with the lock byte read.
    EXPECT_EQ(rig.Run("AC FF FF FF\n58 00 00 FF\n"), 0);
}

// Every line a run would read is checked before the first is sent: a
// refused script sends nothing, and the problem names the file and the line.
TEST(CheckFuseScript, EveryByteIsTwoDigitsAtItsPlaceOrNothingIsSent) {
    using namespace std::string_literals;
    struct Case {
        std::string script;
        int badLine;          // 0: the script is good
        std::string problem;  // part of the problem text
    };
    const Case cases[] = {
        {"AC A0 00 E4\n50 00 00 E4\n", 0, ""},
        {"ac\ta0\t00\te4 ; tabs and a comment\n", 0, ""},
        {"; only a comment\nAC A0 00 E4;note\n\nnot read after the empty line\n", 0, ""},
        {"AC A0 00 E4", 0, ""},
        {"AC A0 00 E4\nAC A8 0 D9\n", 2, "byte 3 must be two hexadecimal digits at characters 7-8"},
        {" C A0 00 E4\n", 1, "byte 1 must be two hexadecimal digits at characters 1-2"},
        {"AC A0 00 E\n", 1, "byte 4 must be two hexadecimal digits at characters 10-11"},
        {"AC  A0 00 E4\n", 1, "byte 2 must be two hexadecimal digits at characters 4-5"},
        // Characters 3, 6 and 9 separate, whatever they hold; after 11 comes a comment.
        {"ACxA0 00 E4\n", 0, ""},
        {"AC-A0-00-E1\n", 0, ""},
        {"AC A0 00 E1 fuse low\nAC A0 00 E41\n", 0, ""},
        {"AC A0\n", 1, "byte 3 must be two hexadecimal digits at characters 7-8"},
        {"AC A0 00 E4\n    \n", 2, "byte 1 must be"},
        {"AC A0 00 E4\nAC A8 00 D9\xFF\n50 00 00 E4\n", 2,
         "a byte FF at character 12, which is no text"},
        {"AC A0 00 E4\n; comment\xFF\nAC A8 00 D9\n", 2, "a byte FF at character 10"},
        {"AC A0 00 E4\0AC A8 00 D9\n"s, 1, "a byte 00 at character 12"},
        {"\xFF\xFF\xFF\xFF", 1, "a byte FF at character 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        TempDir dir;
        RecordingRig rig;
        rig.p.currentDirectory = dir.str();
        rig.p.state.currentFileName.Assign(dir.File("prog.hex"));
        std::string path = dir.Write("prog.scr", c.script);
        std::string problem = "left over";
        EXPECT_EQ(app::CheckFuseScript(rig.p, path, problem), c.badLine == 0);
        if (c.badLine == 0) {
            EXPECT_EQ(problem, "");
            continue;
        }
        const std::string where = "Script line " + std::to_string(c.badLine) + " of prog.scr: ";
        EXPECT_EQ(problem.rfind(where, 0), 0u) << problem;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;

        EXPECT_EQ(app::RunFuseScript(rig.p), 1);
        EXPECT_TRUE(rig.port.calls.empty()) << "a port operation before the refusal";
        ASSERT_EQ(rig.windows.messages.size(), 1u);
        EXPECT_EQ(rig.windows.messages[0].title, "ERROR!");
        EXPECT_EQ(rig.windows.messages[0].text, problem + "\n\nNothing of the script was sent.");
    }
    // No script: nothing to refuse.
    RecordingRig rig;
    std::string problem;
    EXPECT_TRUE(app::CheckFuseScript(rig.p, "", problem));
    EXPECT_TRUE(app::CheckFuseScript(rig.p, "/nonexistent/prog.scr", problem));
}

TEST(ParseScriptLine, ExactlyTwoDigitsPerByte) {
    EXPECT_EQ(app::ParseScriptLine("AC A0 00 E4 ; comment"),
              (std::optional<std::array<uint8_t, 4>>{{0xAC, 0xA0, 0x00, 0xE4}}));
    EXPECT_FALSE(app::ParseScriptLine(" C A0 00 E4"));
    EXPECT_FALSE(app::ParseScriptLine("AC A8 0 D9"));
    EXPECT_FALSE(app::ParseScriptLine("AC A0 00"));
    EXPECT_FALSE(app::ParseScriptLine(""));
    // A line that ends right after a byte: nothing past its end is read
    // (under AddressSanitizer a read past these exact-size buffers fails).
    for (std::string_view text : {"AC", "AC A0", "AC A0 00"}) {
        const std::vector<char> exact(text.begin(), text.end());
        EXPECT_FALSE(app::ParseScriptLine(std::string_view(exact.data(), exact.size()))) << text;
    }
}

}  // namespace
}  // namespace ostrel::testing
