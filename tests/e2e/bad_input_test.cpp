// Hostile and mistaken input through the console: data files that are
// missing, empty, binary, truncated, too big or of an unknown kind, odd paths,
// start directories that lack the device file or cannot take the readback
// files, and damaged settings files. Each gives a clear message and exit
// status 1, never a crash; a file refused before the chip is touched leaves
// the chip as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "tests/e2e/cli_rig.h"
#include "tests/support/child_process.h"

namespace ostrel::testing {
namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// One Intel HEX record as text, with its line end.
std::string Record(unsigned address, const std::vector<unsigned>& data, unsigned type = 0) {
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    char text[16];
    std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                  address & 0xFFFF, type);
    std::string line = text;
    for (unsigned byte : data) {
        std::snprintf(text, sizeof text, "%02X", byte & 0xFF);
        line += text;
        sum += byte;
    }
    std::snprintf(text, sizeof text, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + text;
}

// A rig whose ATmega8 already holds the blink example, so that a run which
// must not touch the chip can be checked with a verify afterwards.
struct ProgrammedRig : CliRig {
    ProgrammedRig() : CliRig("ATmega8") {
        program = CopyIn("examples/blink-atmega8.hex");
        EXPECT_TRUE(ExitedWith(Run({"--yes", "write", program}), 0));
    }
    void ExpectChipUntouched() const {
        EXPECT_TRUE(ExitedWith(Run({"verify", program}), 0)) << "the chip still holds its program";
    }
    std::string program;
};

TEST(BadDataFile, AMissingFileIsNamedAndTheChipIsNotTouched) {
    REQUIRE_CLI();
    ProgrammedRig rig;
    for (const char* command : {"write", "verify", "quick"}) {
        const std::string missing = rig.dir.File("gone.hex");
        ProcessResult r = rig.Run({"--yes", command, missing});
        ASSERT_TRUE(ExitedWith(r, 1));
        EXPECT_TRUE(Contains(r.err, missing)) << r.err;
    }
    rig.ExpectChipUntouched();
}

TEST(BadDataFile, AFolderGivenAsTheFileIsRefused) {
    REQUIRE_CLI();
    ProgrammedRig rig;
    std::filesystem::create_directory(rig.dir.File("folder.hex"));
    ProcessResult r = rig.Run({"--yes", "write", rig.dir.File("folder.hex")});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "folder.hex")) << r.err;
    rig.ExpectChipUntouched();
}

TEST(BadDataFile, AnUnrecognisedExtensionIsRefused) {
    REQUIRE_CLI();
    ProgrammedRig rig;
    for (const char* name : {"blink.bin", "blink", "blink.he"}) {
        SCOPED_TRACE(name);
        std::string file = rig.dir.Write(name, ReadFileBytes(rig.program));
        ProcessResult r = rig.Run({"--yes", "write", file});
        ASSERT_TRUE(ExitedWith(r, 1));
        EXPECT_TRUE(Contains(r.err, name)) << r.err;
        EXPECT_TRUE(Contains(r.err, "not a data file")) << r.err;
    }
    rig.ExpectChipUntouched();
}

// An empty file holds no program. Writing it must not erase the chip and
// report "OK": the user would believe the chip holds what they meant to write.
TEST(BadDataFile, AnEmptyFileIsRefusedBeforeTheChipIsErased) {
    REQUIRE_CLI();
    for (const char* command : {"write", "verify"}) {
        SCOPED_TRACE(command);
        ProgrammedRig rig;
        std::string empty = rig.dir.Write("empty.hex", "");
        ProcessResult r = rig.Run({"--yes", command, empty});
        EXPECT_TRUE(ExitedWith(r, 1)) << "an empty file is not a success";
        EXPECT_TRUE(Contains(r.err, "empty.hex")) << "the message names the file\n" << r.err;
        rig.ExpectChipUntouched();
    }
}

TEST(BadDataFile, ABinaryFileIsRefusedBeforeTheChipIsTouched) {
    REQUIRE_CLI();
    ProgrammedRig rig;
    std::string noise;
    for (int i = 0; i < 3000; ++i)
        noise.push_back(static_cast<char>((i * 97 + 13) & 0xFF));
    std::string file = rig.dir.Write("noise.hex", noise);
    std::string ffLed = rig.dir.Write("ff.hex", std::string("\xFF\xFE:00000001FF\n"));

    for (const char* answer : {"--no-pause", "--yes"}) {
        ProcessResult ff = rig.Run({answer, "write", ffLed});
        ASSERT_TRUE(ExitedWith(ff, 1)) << "a byte FF is no end of file";
        EXPECT_TRUE(Contains(ff.err, "ff.hex")) << ff.err;
        ProcessResult r = rig.Run({answer, "write", file});
        ASSERT_TRUE(ExitedWith(r, 1));
        EXPECT_TRUE(Contains(r.err, "[ERROR!]")) << r.err;
        EXPECT_TRUE(Contains(r.err, "noise.hex")) << r.err;
        EXPECT_FALSE(Contains(r.err, "Checksum wrong, continue!")) << "nothing to go on with";
    }
    rig.ExpectChipUntouched();
}

TEST(BadDataFile, AFileCutInTheMiddleOfARecordIsRefusedBeforeTheChip) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string whole = ReadFileBytes(SourcePath("examples/blink-atmega8.hex"));
    size_t third = whole.find('\n', whole.find('\n') + 1) + 1;  // start of the third record
    ASSERT_LT(third + 12, whole.size());
    std::string cut = rig.dir.Write("cut.hex", whole.substr(0, third + 12));

    for (const char* command : {"write", "verify"}) {
        SCOPED_TRACE(command);
        ProcessResult r = rig.Run({"--yes", command, cut});
        ASSERT_TRUE(ExitedWith(r, 1));
        // The cut record is found by the check, so the chip is never erased for it.
        EXPECT_TRUE(Contains(r.err, "Wrong File-Format!")) << r.err;
        EXPECT_TRUE(Contains(r.err, "cut.hex, line 3")) << r.err;
        EXPECT_TRUE(Contains(r.err, "Nothing was sent to the chip.")) << r.err;
        EXPECT_FALSE(Contains(r.err, "connecting")) << r.err;
    }
}

TEST(BadDataFile, AGiganticFileEndsQuickly) {
    REQUIRE_CLI();
    ProgrammedRig rig;
    std::string file = rig.dir.Write("huge.hex", std::string(6 * 1024 * 1024, 'A') + "\n");
    for (const char* command : {"write", "verify"}) {
        ProcessResult r = rig.Run({"--yes", command, file});
        ASSERT_TRUE(ExitedWith(r, 1));
        EXPECT_TRUE(Contains(r.err, "[ERROR!]")) << r.err;
        EXPECT_TRUE(Contains(r.err, "huge.hex")) << r.err;
    }
    rig.ExpectChipUntouched();
}

TEST(BadDataFile, DataBeyondTheChipStopsWithTheAddress) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string text;
    for (unsigned a = 0; a < 0x2100; a += 16)
        text += Record(a, std::vector<unsigned>(16, a >> 4));
    text += ":00000001FF\n";
    std::string file = rig.dir.Write("large.hex", text);
    ProcessResult r = rig.Run({"--yes", "write", file});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "Out of memory: 1000")) << "word 0x1000 is the first past 8 KB\n"
                                                        << r.err;
}

// Data beyond the chip's flash (here above 64 KB) is refused before anything
// is written. The user cancelled nothing, so the run must not end with
// "Cancelled.".
TEST(BadDataFile, DataBeyondTheFlashIsRefusedWithoutClaimingACancel) {
    REQUIRE_CLI();
    ProgrammedRig rig;
    std::string file = rig.dir.Write(
        "far.hex", Record(0, {0x00, 0x01}, 4) + Record(0, {1, 2, 3, 4}) + ":00000001FF\n");
    ProcessResult r = rig.Run({"--yes", "write", file});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "byte address 0x10000 lies beyond")) << r.err;
    EXPECT_FALSE(Contains(r.err, "Cancelled.")) << "a refusal is not a cancel\n" << r.err;
    rig.ExpectChipUntouched();
}

// Every file a write will send is judged before the chip is touched: the
// EEPROM file that follows the flash and the script too.
TEST(BadDataFile, ABadFollowUpFileStopsTheWriteBeforeTheChip) {
    REQUIRE_CLI();
    ProgrammedRig rig;
    std::string other = rig.dir.Write("other.hex", Record(0, {1, 2, 3, 4}) + ":00000001FF\n");
    rig.dir.Write("other.eep", "not a record\n");
    ProcessResult r = rig.Run({"--yes", "--eep", "write", other});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "other.eep")) << r.err;
    EXPECT_NE(SplitLines(r.err).back(), "OK");
    rig.ExpectChipUntouched();
}

TEST(BadDataFile, ABadScriptStopsTheWriteBeforeTheChip) {
    REQUIRE_CLI();
    ProgrammedRig rig;
    std::string other = rig.dir.Write("other.hex", Record(0, {1, 2, 3, 4}) + ":00000001FF\n");
    rig.dir.Write("other.scr", "AC A0 00 E4\nZZ 00 00 00\n");
    ProcessResult r = rig.Run({"--yes", "write", other});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "other.scr")) << r.err;
    rig.ExpectChipUntouched();
}

TEST(Paths, BlanksAndNonAsciiLettersInFolderAndFileNamesWork) {
    REQUIRE_CLI();
    const struct {
        const char* folder;
        const char* stem;
    } kCases[] = {
        {"my files", "blink copy"},
        {"Gr\u00fc\u00dfe", "\u00dcberh\u00f6ht \u20ac"},  // UTF-8: the programs' own text
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.folder);
        CliRig rig("ATmega8");
        const std::string folder = rig.dir.File(c.folder);
        std::filesystem::create_directory(FsPath(folder));
        const std::string stem = JoinPath(folder, c.stem);
        std::string file = stem + ".hex";
        WriteFileBytes(file, ReadFileBytes(SourcePath("examples/blink-atmega8.hex")));
        ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", file}), 0));
        ASSERT_TRUE(ExitedWith(rig.Run({"verify", file}), 0));
        EXPECT_EQ(
            CompareImages(ErasedWith(8192, ParseHexImage(ReadFileBytes(file))), rig.ReadHex()), "");
        EXPECT_TRUE(std::filesystem::exists(FsPath(stem + ".tmp")))
            << "the snapshot goes beside the file";
    }
}

TEST(Paths, AStartDirectoryWithBlanksWorks) {
    REQUIRE_CLI();
    TempDir outer;
    CliRig rig("ATmega8");
    std::string start = outer.File("start dir");
    std::filesystem::create_directory(start);
    std::filesystem::copy_file(rig.dir.File("ostrel.ini"), start + "/ostrel.ini");
    std::string file = rig.CopyIn("examples/blink-atmega8.hex");
    std::vector<std::string> common{"--port",     "SIM",   "--virtual-clock",
                                    "--no-pause", "--dir", start};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> args = common;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    ASSERT_TRUE(ExitedWith(rig.RunBare(with({"--yes", "write", file})), 0));
    ProcessResult read = rig.RunBare(with({"readhex"}));
    ASSERT_TRUE(ExitedWith(read, 0));
    EXPECT_EQ(read.out, JoinPath(start, "readback.hex") + "\n");
    EXPECT_EQ(CompareImages(ErasedWith(8192, ParseHexImage(ReadFileBytes(file))),
                            ParseHexImage(ReadFileBytes(JoinPath(start, "readback.hex")))),
              "");
}

TEST(Paths, AFilePathTooLongToStoreIsRefused) {
    REQUIRE_CLI();
    CliRig rig("ATmega8");
    std::string folder = rig.dir.str();
    while (folder.size() < 300) {
        folder += "/" + std::string(40, 'd');
        std::filesystem::create_directory(folder);
    }
    std::string file = folder + "/blink.hex";
    std::filesystem::copy_file(SourcePath("examples/blink-atmega8.hex"), file);
    ProcessResult r = rig.Run({"--yes", "write", file});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "too long")) << r.err;
}

TEST(StartDirectory, WithoutTheDeviceFileTheRunEndsWithOpenError) {
    REQUIRE_CLI();
    CliRig rig;
    std::filesystem::remove(rig.dir.File("ostrel.ini"));
    for (const char* command : {"check", "read"}) {
        ProcessResult r = rig.Run({command});
        ASSERT_TRUE(ExitedWith(r, 1));
        EXPECT_TRUE(Contains(r.err, "Open Error 'ostrel.ini !'")) << r.err;
        EXPECT_TRUE(Contains(r.err, rig.dir.str())) << "says where it looked\n" << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(StartDirectory, AMissingStartDirectoryIsNamed) {
    REQUIRE_CLI();
    CliRig rig;
    const std::string missing = rig.dir.File("nowhere");
    ProcessResult r =
        rig.RunBare({"--port", "SIM", "--virtual-clock", "--no-pause", "--dir", missing, "check"});
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, missing)) << r.err;
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(StartDirectory, ReadbackFilesThatCannotBeCreatedAreNamed) {
    REQUIRE_CLI();
    CliRig rig;
    // A folder in the place of each readback file: it cannot be created, for any user.
    std::filesystem::create_directory(rig.dir.File("readback.txt"));
    std::filesystem::create_directory(rig.dir.File("readback.hex"));
    for (const auto& [command, name] :
         {std::pair{"read", "readback.txt"}, std::pair{"readhex", "readback.hex"}}) {
        ProcessResult r = rig.Run({command});
        ASSERT_TRUE(ExitedWith(r, 1));
        EXPECT_TRUE(Contains(r.err, name)) << r.err;
        EXPECT_EQ(r.out, "") << "no file to point to";
    }
}

TEST(StartDirectory, AReadOnlyStartDirectoryFailsTheReadClearly) {
    REQUIRE_FORKED_CHILD();
    REQUIRE_CLI();
    // Permissions do not stop root: the runs are made as an unprivileged user.
    CliRig rig;
    ASSERT_TRUE(ExitedWith(rig.RunUnprivileged({"read"}), 0));  // settings, state, a readback
    const std::string earlier = rig.dir.Read("readback.txt");
    std::filesystem::permissions(
        rig.dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    ProcessResult r = rig.RunUnprivileged({"read"});
    std::filesystem::permissions(rig.dir.path(), std::filesystem::perms::owner_all);
    ASSERT_TRUE(ExitedWith(r, 1));
    EXPECT_TRUE(Contains(r.err, "readback.txt")) << r.err;
    EXPECT_EQ(r.out, "") << "no file to point to";
    EXPECT_EQ(rig.dir.Read("readback.txt"), earlier) << "the earlier read stays whole";
}

// --- the settings file ----------------------------------------------------------

TEST(Settings, ARunCreatesOstrelCfgStartingWithAPortName) {
    REQUIRE_CLI();
    CliRig rig;
    ASSERT_FALSE(std::filesystem::exists(rig.dir.File("ostrel.cfg")));
    ASSERT_TRUE(ExitedWith(rig.Run({"check"}), 0));
    std::string cfg = rig.dir.Read("ostrel.cfg");
    ASSERT_GE(cfg.size(), 4u);
    const std::string port = cfg.substr(0, 4);
    bool known = port == "0278" || port == "0378" || port == "03BC" || port == "SIM";
    for (int i = 1; i <= 8; ++i)
        known = known || port == "COM" + std::to_string(i);
    EXPECT_TRUE(known) << "'" << port << "'";
}

TEST(Settings, AWriteStoresThePathOfItsFile) {
    REQUIRE_CLI();
    CliRig rig;
    std::string file = rig.CopyIn("examples/blink-atmega8.hex");
    ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", file}), 0));
    std::string cfg = rig.dir.Read("ostrel.cfg");
    ASSERT_GT(cfg.size(), 32u);
    EXPECT_EQ(cfg.substr(32, cfg.find('\0', 32) - 32), file);
    EXPECT_LT(cfg.size(), 303u) << "nothing at or past offset 303";
}

TEST(Settings, ADamagedSettingsFileDoesNotStopTheNextRuns) {
    REQUIRE_CLI();
    std::string garbage;
    for (int i = 0; i < 2000; ++i)
        garbage.push_back(static_cast<char>((i * 31 + 5) & 0xFF));
    for (const std::string& cfg : {garbage, std::string("CO"), std::string(400, '\n')}) {
        SCOPED_TRACE(cfg.size());
        CliRig rig;
        rig.dir.Write("ostrel.cfg", cfg);
        std::string file = rig.CopyIn("examples/blink-atmega8.hex");
        ProcessResult check = rig.Run({"check"});
        ASSERT_TRUE(ExitedWith(check, 0));
        EXPECT_EQ(check.out, "ATmega8\n");
        ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", file}), 0));
        ASSERT_TRUE(ExitedWith(rig.Run({"verify", file}), 0));
    }
}

}  // namespace
}  // namespace ostrel::testing
