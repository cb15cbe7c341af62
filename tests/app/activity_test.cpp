// The activity line and the shared endings of the chip commands.
#include <gtest/gtest.h>

#include "app/endings.h"
#include "core/ids.h"
#include "tests/support/fixture.h"

namespace ostrel::testing {
namespace {

const std::string kBlanks(80, ' ');

TEST(ShowActivity, CutsAtTheFirstControlOrNonAsciiByteAndPadsWith80Blanks) {
    struct Case {
        std::string text;
        std::string shown;
    };
    for (const Case& c : {Case{"connecting....\n", "connecting...." + kBlanks}, Case{"", kBlanks},
                          Case{"\x80rest", kBlanks}, Case{"ab\tcd", "ab" + kBlanks},
                          Case{"x\x7fy", "x\x7fy" + kBlanks}}) {
        RecordingRig rig;
        rig.p.state.activityText.Assign(c.text);
        app::ShowActivity(rig.p);
        ASSERT_EQ(rig.windows.activity.size(), 1u);
        EXPECT_EQ(rig.windows.activity[0], c.shown);
        EXPECT_EQ(rig.windows.pendingEventPasses, 1);
    }
}

TEST(ShowActivity, TextAtTheBufferLimitNeverOverruns) {
    RecordingRig rig;
    rig.p.state.activityText.Assign(std::string(203, 'x'));
    app::ShowActivity(rig.p);
    ASSERT_EQ(rig.windows.activity.size(), 1u);
    EXPECT_EQ(rig.windows.activity[0].size(), 203u);
    EXPECT_EQ(rig.windows.activity[0].substr(0, 124), std::string(124, 'x'));
}

TEST(ShowActivityEvery16, RefreshesOnlyOnMultiplesOf16) {
    RecordingRig rig;
    for (int32_t a = 0x10; a <= 0x20; ++a) {
        rig.p.state.memAddress = a;
        app::ShowActivityEvery16(rig.p);
    }
    EXPECT_EQ(rig.windows.activity.size(), 2u);
    EXPECT_EQ(rig.windows.pendingEventPasses, 2);
}

TEST(ReportFailure, ShowsTheErrorAndGreysBothFields) {
    RecordingRig rig;
    rig.p.state.errorText.Assign("No Adaptor found at COM2\n");
    app::ReportFailure(rig.p);
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].title, "Error");
    EXPECT_EQ(rig.windows.messages[0].text, "No Adaptor found at COM2\n");
    EXPECT_EQ(rig.windows.messages[0].owner, ids::kMainWindow);
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kActivity), " " + kBlanks);
    EXPECT_FALSE(rig.windows.IsItemEnabled(ids::kMainWindow, ids::kActivity));
    EXPECT_FALSE(rig.windows.IsItemEnabled(ids::kMainWindow, ids::kCurrentFile));
    EXPECT_EQ(rig.p.state.errorText.view(), "No Adaptor found at COM2\n");
}

TEST(ReportOk, ShowsOkForASecondThenGreys) {
    RecordingRig rig;
    app::UsualStart(rig.p);
    uint64_t before = rig.clock.NowUs();
    app::ReportOk(rig.p);
    EXPECT_GE(rig.clock.NowUs() - before, 1000000u);
    EXPECT_EQ(rig.windows.ItemText(ids::kMainWindow, ids::kActivity), "OK");
    EXPECT_FALSE(rig.windows.IsItemEnabled(ids::kMainWindow, ids::kActivity));

    RecordingRig quick;
    quick.p.skipReadingPauses = true;
    app::ReportOk(quick.p);
    EXPECT_LT(quick.clock.NowUs(), 1000000u);
}

}  // namespace
}  // namespace ostrel::testing
