// What a script captures from ostrel-cli: results alone on standard output,
// progress on standard error (each stage's last figure only, since standard
// error is a pipe here), nothing but results and messages with --quiet; the
// version; the cable test's readings; the port devices in --help.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/port_names.h"
#include "tests/e2e/cli_rig.h"

namespace ostrel::testing {
namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int CountEnding(const std::vector<std::string>& lines, const std::string& end) {
    int n = 0;
    for (const std::string& line : lines)
        n += line.size() >= end.size() &&
             line.compare(line.size() - end.size(), end.size(), end) == 0;
    return n;
}

// Sets an environment variable for the child processes of one case.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (value)
            Set(name, value);
    }
    ~ScopedEnv() { Set(name_, nullptr); }

    static void Set(const char* name, const char* value) {
#ifdef _WIN32
        _putenv_s(name, value ? value : "");
#else
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
#endif
    }

  private:
    const char* name_;
};

const std::vector<std::string> kCableSteps = {"start: all low", "RESET high",     "RESET low",
                                              "SCK high",       "SCK low",        "MOSI high",
                                              "MOSI low",       "end: RESET high"};

TEST(ConsoleOutput, ResultsOnStdoutProgressOnStderr) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    const std::string hex = rig.CopyIn("examples/hello-atmega8.hex");
    struct Case {
        std::vector<std::string> args;
        bool bare;  // without the rig's port, clock and folder options
        int status;
        std::string out;  // exactly, unless `checkOut` says more
        std::function<void(const ProcessResult&)> checkOut;
        std::function<void(const std::vector<std::string>&)> checkErr;
        const char* envName = nullptr;
        const char* envValue = nullptr;
    };
    auto noErr = [](const std::vector<std::string>& err) {
        EXPECT_TRUE(err.empty()) << err.front();
    };
    auto errHas = [](const std::vector<std::string>& wanted) {
        return [wanted](const std::vector<std::string>& err) {
            for (const std::string& w : wanted)
                EXPECT_EQ(CountEnding(err, w), 1) << w;
        };
    };
    const std::vector<Case> cases = {
        {{"--version"}, true, 0, "ostrel-cli 3.3\n", nullptr, noErr},
        // Without a terminal, one figure per stage: the last (a fixed speed:
        // Auto adds its line to each connection).
        {{"--speed", "high", "--yes", "write", hex},
         false,
         0,
         "OK\n",
         nullptr,
         [](const std::vector<std::string>& err) {
             EXPECT_EQ(CountEnding(err, "% programmed"), 1);
             EXPECT_EQ(CountEnding(err, "90% programmed"), 1);
             EXPECT_EQ(CountEnding(err, "% verified"), 1);
             EXPECT_EQ(CountEnding(err, "connecting...."), 1);
         }},
        {{"--quiet", "--yes", "write", hex}, false, 0, "OK\n", nullptr, noErr},
        {{"--quiet", "check"}, false, 0, "ATmega8\n", nullptr, noErr},
        // A failure has no result; its message prints even with --quiet.
        {{"--quiet", "verify", rig.CopyIn("examples/blink-atmega8.hex")},
         false,
         1,
         "",
         nullptr,
         [](const std::vector<std::string>& err) {
             ASSERT_FALSE(err.empty());
             EXPECT_TRUE(Contains(err.front(), "Verify failed at Adr: ")) << err.front();
         }},
        // The simulated Cablet2 cable: DSR follows DTR (MOSI), RI never moves.
        {{"cable-test"},
         false,
         0,
         "",
         [](const ProcessResult& r) {
             std::vector<std::string> out = SplitLines(r.out);
             ASSERT_EQ(out.size(), kCableSteps.size() + 1) << r.out;
             for (size_t i = 0; i < kCableSteps.size(); ++i) {
                 EXPECT_EQ(out[i].rfind(kCableSteps[i], 0), 0u) << out[i];
                 EXPECT_TRUE(Contains(out[i], i == 5 ? "DSR 1  RI 0" : "DSR 0  RI 0")) << out[i];
             }
             EXPECT_EQ(out.back().rfind("Cablet2:", 0), 0u) << out.back();
         },
         [](const std::vector<std::string>& err) {
             ASSERT_EQ(err.size(), 1u);
             EXPECT_TRUE(Contains(err[0], "each state is held 2 s")) << err[0];
         }},
        {{"--quiet", "cable-test"},
         false,
         0,
         "",
         [](const ProcessResult& r) {
             EXPECT_EQ(SplitLines(r.out).size(), kCableSteps.size() + 1);
         },
         noErr},
        // A serial port that cannot be opened: the error, no readings.
        {{"--dir", rig.dir.str(), "--port", "COM8", "cable-test"},
         true,
         1,
         "",
         nullptr,
         errHas({"COM-Init-Error!"}),
         "OSTREL_PORT_COM8",
         "/nonexistent/tty"},
        {{"--help"},
         true,
         0,
         "",
         [](const ProcessResult& r) {
             EXPECT_TRUE(Contains(r.out, "  COM3  /dev/ttyUSB7  (set by OSTREL_PORT_COM3)\n"))
                 << r.out;
             EXPECT_TRUE(Contains(
                 r.out, "  0378  " + *ParallelDevicePath(0x378, EnvironmentLookup{}) + "\n"))
                 << r.out;
         },
         noErr,
         "OSTREL_PORT_COM3",
         "/dev/ttyUSB7"},
    };
    for (const Case& c : cases) {
        ScopedEnv env(c.envName ? c.envName : "OSTREL_TEST_UNUSED", c.envValue);
        ProcessResult r = c.bare ? rig.RunBare(c.args) : rig.Run(c.args);
        SCOPED_TRACE(r.command);
        ASSERT_TRUE(ExitedWith(r, c.status));
        if (c.checkOut)
            c.checkOut(r);
        else
            EXPECT_EQ(r.out, c.out);
        if (c.checkErr)
            c.checkErr(SplitLines(r.err));
    }
}

}  // namespace
}  // namespace ostrel::testing
