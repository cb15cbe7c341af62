// The parallel port and an FTDI adapter on Windows, end to end: ostrel-cli
// loads DLPORTIO.dll or ftd2xx.dll by name, finds a stand-in of the library
// (tests/win32) that puts the simulated cable and chip behind its functions,
// and writes, verifies and reads the example programs through it, each step
// a run of its own, as a user with the real driver would.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "sim/chip_table.h"
#include "sim/simulator_slot.h"
#include "tests/e2e/cli_rig.h"

namespace ostrel::testing {
namespace {

// Sets a variable of this process, and so of the programs it starts, for
// the life of the object.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        _putenv_s(name, value.c_str());
    }
    ~ScopedVariable() { _putenv_s(name_, had_ ? old_.c_str() : ""); }

  private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

// Makes `folder` the current one (the programs started meanwhile inherit it)
// for the life of the object: the tests run in the folder of the stand-in,
// which the library search order would look into.
class ScopedCurrentFolder {
  public:
    explicit ScopedCurrentFolder(const std::filesystem::path& folder)
        : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~ScopedCurrentFolder() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
    }

  private:
    std::filesystem::path old_;
};

// The stand-ins' folders: their DLLs are built beside the test programs.
std::string StandInFolder(const char* name = "dlportio") {
    return std::string(OSTREL_BINARY_DIR) + "/tests/" + name;
}

TEST(DlPortIo, TheExamplesGoThroughTheDriverIntoTheChipAndComeBack) {
    REQUIRE_CLI();
    const struct {
        const char* image;
        const char* chip;
        const char* port;     // 0378: DLPORTIO; COM3: the FTDI adapter of COM3
        const char* adapter;  // the FTDI chip
    } kCases[] = {
        {"blink-atmega8.hex", "ATmega8", "0378", ""},
        {"eecount-at90s2313.hex", "AT90S2313", "0378", ""},
        {"eecount-at90s2313.eep", "AT90S2313", "0378", ""},
        {"eecount-at90s2313.hex", "AT90S2313", "COM3", "FT232R"},
        {"eecount-at90s2313.eep", "AT90S2313", "COM3", "FT231X"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.image) + " " + c.port + " " + c.adapter);
        CliRig rig(c.chip);
        ScopedCurrentFolder current(rig.dir.path());
        const std::string state = rig.dir.File("standin.state");
        // The library search order finds DLPORTIO.dll and ftd2xx.dll on the PATH.
        const char* path = std::getenv("PATH");
        ScopedVariable searchPath(
            "PATH", StandInFolder() + ";" + StandInFolder("ftd2xx") + ";" + (path ? path : ""));
        ScopedVariable stateFile("OSTREL_DLPORTIO_STATE", state);
        ScopedVariable chip("OSTREL_DLPORTIO_CHIP", c.chip);
        ScopedVariable adapterState("OSTREL_D2XX_STATE", state);
        ScopedVariable adapterChip("OSTREL_D2XX_CHIP", c.chip);
        ScopedVariable adapter("OSTREL_D2XX_ADAPTER", c.adapter);
        const std::string file = rig.CopyIn(std::string("examples/") + c.image);
        const ByteImage source = ParseHexImage(ReadFileBytes(file));
        ASSERT_FALSE(source.empty());
        auto run = [&](std::vector<std::string> args) {
            std::vector<std::string> all{"--port", c.port, "--no-pause", "--dir", rig.dir.str()};
            all.insert(all.end(), args.begin(), args.end());
            return rig.RunBare(all);
        };

        ProcessResult check = run({"check"});
        ASSERT_TRUE(ExitedWith(check, 0));
        EXPECT_NE(check.out.find(c.chip), std::string::npos) << check.out;
        if (*c.adapter != '\0') {
            EXPECT_NE((check.out + check.err).find("synchronous bit-bang mode"), std::string::npos)
                << "the adapter's pins, not its modem lines: " << check.err;
        }
        ASSERT_TRUE(ExitedWith(run({"write", file}), 0));
        ASSERT_TRUE(ExitedWith(run({"verify", file}), 0));
        EXPECT_EQ(sim::ChipOfStateFile(state), c.chip) << "the stand-in kept the chip";

        ProcessResult read = run({"read"});
        ASSERT_TRUE(ExitedWith(read, 0));
        DumpImage dump = ParseDump(rig.dir.Read("readback.txt"));
        ASSERT_TRUE(dump.valid) << dump.problem;
        const sim::ChipInfo* info = sim::FindChip(c.chip);
        ASSERT_NE(info, nullptr);
        const bool eeprom = std::string(c.image).ends_with(".eep");
        const ByteImage expected =
            ErasedWith(eeprom ? info->eepromBytes : info->flashBytes, source);
        EXPECT_EQ(CompareImages(expected, eeprom ? dump.eeprom : dump.flash), "");
    }
}

TEST(DlPortIo, WithoutTheLibraryTheParallelPortIsRefusedWithTheDriverText) {
    REQUIRE_CLI();
    CliRig rig;
    ScopedCurrentFolder current(rig.dir.path());
    // PATH as it is: no DLPORTIO.dll anywhere the search looks.
    ProcessResult r =
        rig.RunBare({"--port", "0378", "--no-pause", "--dir", rig.dir.str(), "check"});
    ASSERT_TRUE(ExitedWith(r, 1));
    const std::string told = r.out + r.err;
    EXPECT_NE(told.find("Driver 'DlPortIO' must be installed!"), std::string::npos) << told;
    EXPECT_NE(told.find("DLPORTIO.dll"), std::string::npos) << told;
}

}  // namespace
}  // namespace ostrel::testing
