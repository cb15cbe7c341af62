// The Windows console program on a COM port, end to end through Wine's real
// serial code: a pseudo-terminal stands in for the port behind COM1, and the
// preload library serial_fake.cpp answers its modem-line ioctls from the
// simulated cable and chip. Check, write, verify and read of the examples
// must give the chip contents the file holds, as on Linux.
//
// A Linux program (Wine is started from here), built in the Linux build and
// run by the Windows build's ctest, which names what it needs:
//   OSTREL_WINE               the wine64 loader
//   OSTREL_WINE_CLI           ostrel-cli.exe, as Windows sees it (Z:...)
//   OSTREL_WINE_SERIAL_FAKE   the preload library
// WINEPREFIX (or ~/.wine) must be a prefix whose server is running.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/chip_table.h"
#include "sim/simulator_slot.h"
#include "tests/e2e/cli_process.h"
#include "tests/e2e/cli_rig.h"
#include "tests/support/hex_image.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The slave side of a pseudo-terminal held open for the life of the object.
class FakePort {
  public:
    FakePort() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            slave_ = ::ptsname(master_);
    }
    ~FakePort() {
        if (master_ >= 0)
            ::close(master_);
    }
    const std::string& slave() const { return slave_; }

  private:
    int master_ = -1;
    std::string slave_;
};

TEST(WineSerial, TheExamplesGoThroughCom1IntoTheChipAndComeBack) {
    const std::string wine = Variable("OSTREL_WINE");
    const std::string cli = Variable("OSTREL_WINE_CLI");
    const std::string fake = Variable("OSTREL_WINE_SERIAL_FAKE");
    if (wine.empty() || cli.empty() || fake.empty())
        GTEST_SKIP() << "OSTREL_WINE, OSTREL_WINE_CLI and OSTREL_WINE_SERIAL_FAKE are not set";
    std::string prefix = Variable("WINEPREFIX");
    if (prefix.empty())
        prefix = Variable("HOME") + "/.wine";

    FakePort port;
    ASSERT_FALSE(port.slave().empty()) << "no pseudo-terminal";
    // COM1 is the pseudo-terminal: the key Wine reads at start-up, and the
    // link its running server uses now.
    ProcessResult key = RunProcess(wine, {"reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", "COM1",
                                          "/d", port.slave(), "/f"});
    ASSERT_TRUE(ExitedWith(key, 0));
    const std::filesystem::path link = std::filesystem::path(prefix) / "dosdevices" / "com1";
    std::error_code ec;
    std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(port.slave(), link, ec);
    ASSERT_FALSE(ec) << link << ": " << ec.message();

    const struct {
        const char* image;
        const char* chip;
    } kCases[] = {
        {"blink-atmega8.hex", "ATmega8"},
        {"eecount-at90s2313.eep", "AT90S2313"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.image);
        TempDir dir;
        dir.Write("ostrel.ini", ReadFileBytes(SourcePath("resources/ostrel.ini")));
        const std::string file =
            dir.Write(c.image, ReadFileBytes(SourcePath(std::string("examples/") + c.image)));
        ::setenv("LD_PRELOAD", fake.c_str(), 1);
        ::setenv("OSTREL_FAKE_SERIAL_TTY", port.slave().c_str(), 1);
        ::setenv("OSTREL_FAKE_SERIAL_STATE", dir.File("fake.state").c_str(), 1);
        ::setenv("OSTREL_FAKE_SERIAL_CHIP", c.chip, 1);
        ::setenv("WINEDEBUG", "-all", 1);
        auto run = [&](std::vector<std::string> args) {
            std::vector<std::string> all{cli,          "--port", "COM1",
                                         "--no-pause", "--dir",  "Z:" + dir.str()};
            all.insert(all.end(), args.begin(), args.end());
            ProcessOptions options;
            options.timeoutMs = 120000;
            return RunProcess(wine, all, options);
        };
        const std::string windowsFile = "Z:" + file;
        ProcessResult check = run({"check"});
        ASSERT_TRUE(ExitedWith(check, 0));
        EXPECT_NE(check.out.find(c.chip), std::string::npos) << check.out;
        ASSERT_TRUE(ExitedWith(run({"write", windowsFile}), 0));
        ASSERT_TRUE(ExitedWith(run({"verify", windowsFile}), 0));
        EXPECT_EQ(sim::ChipOfStateFile(dir.File("fake.state")), c.chip)
            << "the chip behind COM1 was the simulated one";
        ProcessResult read = run({"read"});
        ::unsetenv("LD_PRELOAD");
        ASSERT_TRUE(ExitedWith(read, 0));

        DumpImage dump = ParseDump(dir.Read("readback.txt"));
        ASSERT_TRUE(dump.valid) << dump.problem;
        const sim::ChipInfo* chip = sim::FindChip(c.chip);
        ASSERT_NE(chip, nullptr);
        const bool eeprom = std::string(c.image).ends_with(".eep");
        const ByteImage source = ParseHexImage(ReadFileBytes(file));
        EXPECT_EQ(CompareImages(ErasedWith(eeprom ? chip->eepromBytes : chip->flashBytes, source),
                                eeprom ? dump.eeprom : dump.flash),
                  "");
    }
}

}  // namespace
}  // namespace ostrel::testing
