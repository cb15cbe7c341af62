// The simulated chip's state file: kept between runs, written safely, and
// never trusted: a damaged file gives a fresh chip and one warning line.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "sim/sim_state_file.h"
#include "tests/sim/line_rig.h"
#include "tests/support/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

using sim::CableKind;
using sim::SimConfig;

SimConfig WithState(const std::string& path, const char* chip = "ATmega8") {
    SimConfig c;
    c.cable = CableKind::Parallel;
    c.chip = chip;
    c.stateFile = path;
    return c;
}

bool IsFresh(const sim::AvrTarget& t) {
    return t.memory() == sim::ChipMemory::Fresh(t.chip());
}

// A valid state file of an ATmega8 with some contents; returns its bytes.
std::string MakeValidFile(const std::string& path) {
    VirtualClock clock;
    {
        sim::SimPort port(clock, WithState(path));
        port.target().SetFlash(0, 0x12);
        port.target().SetEeprom(1, 0x34);
        EXPECT_TRUE(port.Save());
    }
    return ReadFileBytes(path);
}

void ExpectFreshWithOneWarning(const std::string& path, const std::string& why) {
    VirtualClock clock;
    sim::SimPort port(clock, WithState(path));
    EXPECT_TRUE(IsFresh(port.target()));
    const std::string& w = port.warning();
    EXPECT_FALSE(w.empty());
    EXPECT_EQ(w.find('\n'), std::string::npos) << w;
    EXPECT_NE(w.find(path), std::string::npos) << w;
    EXPECT_NE(w.find(why), std::string::npos) << w;
    EXPECT_NE(w.find("starting with a fresh ATmega8"), std::string::npos) << w;
}

TEST(StateFile, MissingFileGivesAFreshChipWithoutWarning) {
    TempDir dir;
    VirtualClock clock;
    sim::SimPort port(clock, WithState(dir.File("none.state")));
    EXPECT_TRUE(IsFresh(port.target()));
    EXPECT_EQ(port.target().Fuse(0), 0xE1);
    EXPECT_EQ(port.warning(), "");
}

TEST(StateFile, ConsecutiveRunsSeeTheSameChip) {
    TempDir dir;
    const std::string path = sim::DefaultStatePath(dir.str());
    EXPECT_EQ(path, JoinPath(dir.str(), "ostrel-sim.state"));
    EXPECT_EQ(FileNameOf(path), "ostrel-sim.state");
    {
        LineRig rig(WithState(path));
        ASSERT_TRUE(Connect(rig.p));
        WriteEeprom(rig.p, 0x1FF, 0x5A);
        Send(rig.p, 0x40, 0x00, 0x03, 0xC3);
        Send(rig.p, 0x4C, 0x00, 0x00, 0x00);
        Send(rig.p, 0xAC, 0xA8, 0x00, 0xC9);  // high fuse
        Send(rig.p, 0xAC, 0xE0, 0x00, 0xFE);  // LB1
        adapter::WaitMs(rig.p, 20);
    }  // saved when the port goes
    LineRig rig(WithState(path));
    EXPECT_EQ(rig.port.warning(), "");
    ASSERT_TRUE(Connect(rig.p));
    EXPECT_EQ(ReadEeprom(rig.p, 0x1FF), 0x5A);
    EXPECT_EQ(ReadFlash(rig.p, 6), 0xC3);
    EXPECT_EQ(Send(rig.p, 0x58, 0x08, 0x00, 0x00) & 0xFF, 0xC9u);
    EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x00, 0x00) & 0xFF, 0xFEu);
}

TEST(StateFile, ClosingTheSerialPortSavesAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.File("chip.state");
    SimConfig c = WithState(path);
    c.cable = CableKind::Cablet2;
    LineRig rig(c);
    ASSERT_EQ(adapter::DetectSerialAdapter(rig.p), 0);
    ASSERT_TRUE(Connect(rig.p));
    WriteEeprom(rig.p, 2, 0x77);
    EXPECT_TRUE(rig.target().dirty());
    adapter::CloseSerialPort(rig.p);
    EXPECT_FALSE(rig.target().dirty());
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    sim::ChipMemory m;
    std::string reason;
    ASSERT_TRUE(sim::DecodeChipState(ReadFileBytes(path), rig.target().chip(), &m, &reason))
        << reason;
    EXPECT_EQ(m.eeprom[2], 0x77);
}

TEST(StateFile, UnchangedChipIsNotWrittenAgain) {
    TempDir dir;
    const std::string path = dir.File("chip.state");
    MakeValidFile(path);
    const auto before = std::filesystem::last_write_time(path);
    std::filesystem::last_write_time(path, before - std::chrono::hours(1));
    {
        LineRig rig(WithState(path));
        ASSERT_TRUE(Connect(rig.p));
        EXPECT_EQ(ReadEeprom(rig.p, 1), 0x34);
    }
    EXPECT_EQ(std::filesystem::last_write_time(path), before - std::chrono::hours(1));
}

TEST(StateFile, TruncatedFilesGiveAFreshChipAndOneWarning) {
    TempDir dir;
    const std::string path = dir.File("chip.state");
    const std::string valid = MakeValidFile(path);
    for (std::size_t length :
         {std::size_t{3}, std::size_t{10}, std::size_t{20}, valid.size() / 2, valid.size() - 1}) {
        SCOPED_TRACE(length);
        dir.Write("chip.state", valid.substr(0, length));
        ExpectFreshWithOneWarning(path, length < 8 ? "truncated" : "");
    }
    // An empty file is no state yet (the lock of a first run creates it so):
    // a fresh chip, without a warning.
    dir.Write("chip.state", "");
    {
        VirtualClock clock;
        sim::SimPort port(clock, WithState(path));
        EXPECT_TRUE(IsFresh(port.target()));
        EXPECT_EQ(port.warning(), "");
    }
    dir.Write("chip.state", valid.substr(0, valid.size() / 2));
    ExpectFreshWithOneWarning(path, "is truncated");
}

TEST(StateFile, GarbageAndTamperingAreRefused) {
    TempDir dir;
    const std::string path = dir.File("chip.state");
    const std::string valid = MakeValidFile(path);

    std::mt19937 gen(1234);  // seeded: every run sees the same garbage
    std::string garbage(valid.size(), '\0');
    for (char& c : garbage)
        c = static_cast<char>(gen() & 0xFF);
    dir.Write("chip.state", garbage);
    ExpectFreshWithOneWarning(path, "is not a simulator state file");

    dir.Write("chip.state", "hello\r\nworld\n");
    ExpectFreshWithOneWarning(path, "is not a simulator state file");

    std::string flipped = valid;
    flipped[valid.size() / 2] = static_cast<char>(flipped[valid.size() / 2] ^ 0x01);
    dir.Write("chip.state", flipped);
    ExpectFreshWithOneWarning(path, "fails its checksum");

    std::string version = valid;
    version[8] = 5;  // the first after this program's
    dir.Write("chip.state", version);
    ExpectFreshWithOneWarning(path, "unknown format version");

    dir.Write("chip.state", valid + "x");
    ExpectFreshWithOneWarning(path, "has bytes after its end");

    std::string nameless = valid;
    nameless[9] = 0;
    dir.Write("chip.state", nameless);
    ExpectFreshWithOneWarning(path, "bad chip name");

    dir.Write("chip.state", std::string((1u << 20) + 10, 'O'));
    ExpectFreshWithOneWarning(path, "far too large");

    // A damaged file is replaced by a good one when the port goes.
    dir.Write("chip.state", garbage);
    {
        VirtualClock clock;
        sim::SimPort port(clock, WithState(path));
        EXPECT_FALSE(port.warning().empty());
    }
    VirtualClock clock;
    sim::SimPort port(clock, WithState(path));
    EXPECT_EQ(port.warning(), "");
}

TEST(StateFile, AnotherChipsFileIsNotUsed) {
    TempDir dir;
    const std::string path = dir.File("chip.state");
    {
        VirtualClock clock;
        sim::SimPort port(clock, WithState(path, "ATmega16"));
        port.target().SetEeprom(0, 0x00);
    }
    ExpectFreshWithOneWarning(path, "holds an ATmega16, not an ATmega8");
}

TEST(StateFile, UnreadableOrUnwritablePlacesWarnButNeverCrash) {
    TempDir dir;
    // A directory where the file should be.
    std::filesystem::create_directory(dir.File("adir"));
    {
        VirtualClock clock;
        sim::SimPort port(clock, WithState(dir.File("adir")));
        EXPECT_TRUE(IsFresh(port.target()));
        EXPECT_NE(port.warning().find("cannot be"), std::string::npos) << port.warning();
        port.target().SetEeprom(0, 1);
        EXPECT_FALSE(port.Save());
        EXPECT_NE(port.warning().find("Cannot write the simulated chip state file"),
                  std::string::npos);
    }
    // A folder that does not exist.
    VirtualClock clock;
    // The fresh chip is written at once, so the failure is told at once.
    sim::SimPort port(clock, WithState(dir.File("missing/chip.state")));
    EXPECT_NE(port.warning().find("Cannot write"), std::string::npos) << port.warning();
    port.target().SetEeprom(0, 1);
    EXPECT_FALSE(port.Save());
    EXPECT_NE(port.warning().find("missing/chip.state"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

TEST(StateFile, NoStateFileMeansNothingIsReadOrWritten) {
    TempDir dir;
    VirtualClock clock;
    SimConfig c;
    sim::SimPort port(clock, c);
    port.target().SetEeprom(0, 1);
    EXPECT_TRUE(port.Save());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(StateFile, EncodingRoundTripsAndUsesTheStandardCrc) {
    EXPECT_EQ(sim::Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(sim::Crc32(""), 0u);
    EXPECT_EQ(sim::Crc32(std::string(100000, '\xA5')), 0x5D5EA9CDu);
    const sim::ChipInfo& chip = *sim::FindChip("ATtiny13");
    sim::ChipMemory m = sim::ChipMemory::Fresh(chip);
    for (std::size_t i = 0; i < m.flash.size(); ++i)
        m.flash[i] = static_cast<uint8_t>(i * 7);
    m.eeprom[63] = 0x01;
    m.lock = 0xFC;
    m.fuses = {0x6A, 0xFB, 0xFF};
    const std::string bytes = sim::EncodeChipState(chip, m);
    EXPECT_EQ(bytes.size(), 8u + 1 + 1 + 8 + 8 + 4 + 1024 + 64 + 4);
    EXPECT_EQ(bytes.substr(0, 9), "OSTRLSIM\x03");
    // The checksum these bytes carried in format version 1 when the program
    // computed its CRC-32 with its own table: files saved then still read.
    const std::string first = StateFileOfVersion(bytes, 1);
    EXPECT_EQ(first.substr(first.size() - 4), std::string("\x3C\x12\x3B\x57", 4));
    sim::ChipMemory back;
    std::string reason;
    ASSERT_TRUE(sim::DecodeChipState(bytes, chip, &back, &reason)) << reason;
    EXPECT_EQ(back, m);
    // The same bytes do not fit another chip of other sizes.
    EXPECT_FALSE(sim::DecodeChipState(bytes, *sim::FindChip("ATtiny12"), &back, &reason));
}

// Files of format versions 1 and 2 (2: a command cut off) hold a stand-in
// fuse byte for the AT90S chips of one fuse bit and the ATtiny22: those load
// with their factory fuses, say so and answer, and are written again at once
// in this version's form; the rest loads as the file holds it.
TEST(StateFile, EarlierVersionsGiveTheirStandInFusesTheFactoryValues) {
    struct Case {
        const char* chip;
        uint8_t version, fileFuse;  // the file's version and low fuse byte
        bool factory, answers;      // factory fuses loaded; Programming Enable echoes
        uint8_t onDisk;             // the file's version once loaded
    };
    const std::vector<Case> cases = {
        {"AT90S2343", 1, 0xFF, true, true, 3},
        {"AT90S4433", 1, 0xDF, false, true, 1},  // its fuses as written then
        {"ATtiny22", 2, 0xFF, true, true, 4},
        {"ATmega8", 1, 0xE4, false, true, 1},
        {"ATmega8", 2, 0xE4, false, true, 2},
        {"AT90S2343", 3, 0xDF, false, false, 3},  // RCEN unprogrammed, no external clock
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " version " + std::to_string(c.version));
        TempDir dir;
        const sim::ChipInfo& chip = *sim::FindChip(c.chip);
        sim::ChipMemory m = sim::ChipMemory::Fresh(chip);
        m.flash[1] = 0xA5;
        m.lock = 0xFC;
        m.fuses[0] = c.fileFuse;
        dir.Write("chip.state", StateFileOfVersion(sim::EncodeChipState(chip, m), c.version));
        LineRig rig(WithState(dir.File("chip.state"), c.chip));
        if (c.factory)
            m.fuses = chip.fuseDefaults;
        EXPECT_EQ(rig.target().memory(), m);
        EXPECT_EQ(ReadFileBytes(dir.File("chip.state"))[8], static_cast<char>(c.onDisk));
        const std::string& w = rig.port.warning();
        EXPECT_EQ(w.find("uncertain") != std::string::npos, c.version % 2 == 0) << w;
        EXPECT_EQ(w.find("set to its factory values") != std::string::npos, c.factory) << w;
        EXPECT_EQ(Connect(rig.p), c.answers);
    }
}

}  // namespace
}  // namespace ostrel::testing
