// The cable test window's words, the same in every window front-end.
#include <gtest/gtest.h>

#include <string>

#include "adapter/cable_test.h"
#include "ui/cable_test.h"

namespace ostrel::testing {
namespace {

TEST(CableTestWords, TheLineUnderTheReadingsNamesTheCableOrTheStop) {
    using adapter::CableVerdict;
    struct Case {
        CableVerdict verdict;
        bool stopped;
        std::string line;
    };
    const Case cases[] = {
        {CableVerdict::Cablet2, false, "Cablet2: DSR followed MOSI (DTR looped back to DSR)"},
        {CableVerdict::Cablet1, true,
         "Stopped. Cablet1: RI followed RESET (break looped back to RI)"},
        {CableVerdict::NoLoopBack, false,
         "no loop-back answered: neither RI followed RESET nor DSR followed DTR (a plain cable, "
         "or the loop-back wire is broken)"},
        {CableVerdict::Unknown, true, "Stopped before the loop-backs were driven."},
    };
    for (const Case& c : cases) {
        adapter::CableTestResult result;
        result.verdict = c.verdict;
        result.stopped = c.stopped;
        EXPECT_EQ(ui::CableTestVerdictLine(result), c.line);
    }
}

TEST(CableTestWords, TheIntroNamesThePortAndTheHoldAndTheWidestReadingIsSerial) {
    const std::string intro = ui::CableTestIntro("COM3");
    EXPECT_EQ(intro.rfind("Port COM3: RESET, SCK and MOSI go high and low one at a time", 0), 0u)
        << intro;
    EXPECT_NE(
        intro.find("each state held " + std::to_string(adapter::kCableTestPauseMs / 1000) + " s."),
        std::string::npos)
        << intro;
    const adapter::CableReading widest = ui::WidestCableReading();
    EXPECT_TRUE(widest.serial);
    // No state's reading is wider.
    adapter::CableReading other = widest;
    other.step = "MOSI high";
    EXPECT_GE(adapter::FormatReading(widest).size(), adapter::FormatReading(other).size());
}

}  // namespace
}  // namespace ostrel::testing
