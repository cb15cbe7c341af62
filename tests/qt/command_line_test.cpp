// The built desktop program started as a user starts it from a terminal,
// without a display: --version and --help answer, an unknown option is a
// usage error, and a start that needs a window says that none can be shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/cli_process.h"

namespace ostrel::testing {
namespace {

// Takes the display variables away for the test's length.
class NoDisplay {
  public:
    NoDisplay() {
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            if (const char* value = std::getenv(name))
                saved_[name] = value;
            ::unsetenv(name);
        }
    }
    ~NoDisplay() {
        for (const auto& [name, value] : saved_)
            ::setenv(name.c_str(), value.c_str(), 1);
    }
    NoDisplay(const NoDisplay&) = delete;
    NoDisplay& operator=(const NoDisplay&) = delete;

  private:
    std::map<std::string, std::string> saved_;
};

TEST(DesktopCommandLine, AnswersWithoutADisplay) {
#ifndef OSTREL_GUI_PROGRAM
    GTEST_SKIP() << "the desktop program was not built";
#else
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* out;  // what standard output starts with
        const char* err;  // what standard error holds
    };
    const Case cases[] = {
        {{"--version"}, 0, "ostrel 3.3\n", ""},
        {{"--help"}, 0, "Usage: ostrel [OPTIONS] [FILE]\n", ""},
        {{"-h", "blink.hex"}, 0, "Usage: ostrel", ""},
        {{"--bogus"}, 2, "", "ostrel: unknown option '--bogus'"},
        {{"-platform"}, 2, "", "needs a value"},
        {{"blink.hex"}, 1, "", "no display to show the window on"},
        {{}, 1, "", "ostrel-cli runs the same commands without one"},
    };
    NoDisplay noDisplay;
    for (const Case& c : cases) {
        ProcessResult r = RunProcess(OSTREL_GUI_PROGRAM, c.arguments);
        SCOPED_TRACE(r.Describe());
        EXPECT_TRUE(ExitedWith(r, c.status));
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u);
        EXPECT_NE(r.err.find(c.err), std::string::npos);
        if (c.status == 0) {
            EXPECT_EQ(r.err, "");
        }
    }
#endif
}

}  // namespace
}  // namespace ostrel::testing
