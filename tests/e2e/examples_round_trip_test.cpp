// The example programs, as avr-gcc built them, go through ostrel-cli into a
// simulated chip and come back: write, verify, readhex and read, each a
// separate run of the program, and the memories read back equal the source
// file byte for byte (FF everywhere the file puts nothing). Both ways of
// programming flash are covered: the AT90S2313 is written byte by byte, the
// ATmega8 a page at a time with a verifying second pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "sim/chip_table.h"
#include "tests/e2e/cli_rig.h"

namespace ostrel::testing {
namespace {

const char* const kChips[] = {"AT90S2313", "ATmega8"};

// examples/*.hex and examples/*.eep, by name.
std::vector<std::string> ExampleImages() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(SourcePath("examples"), ec)) {
        std::string ext = entry.path().extension().string();
        if (ext == ".hex" || ext == ".eep")
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Stem(const std::string& name) {
    return name.substr(0, name.rfind('.'));
}
bool IsEeprom(const std::string& name) {
    return name.size() > 4 && name.ends_with(".eep");
}

std::string LastLine(const std::string& text) {
    std::vector<std::string> lines = SplitLines(text);
    return lines.empty() ? std::string() : lines.back();
}

const sim::ChipInfo& Chip(const std::string& name) {
    const sim::ChipInfo* chip = sim::FindChip(name);
    EXPECT_NE(chip, nullptr) << name;
    static const sim::ChipInfo kNone{};
    return chip ? *chip : kNone;
}

TEST(ExampleImages, AreThereToTest) {
    std::vector<std::string> images = ExampleImages();
    EXPECT_GE(std::count_if(images.begin(), images.end(), IsEeprom), 1);
    EXPECT_GE(std::count_if(images.begin(), images.end(),
                            [](const std::string& n) { return !IsEeprom(n); }),
              2);
}

class ExampleRoundTrip : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {};

TEST_P(ExampleRoundTrip, WriteVerifyAndReadBackEqualTheFile) {
    REQUIRE_CLI();
    const auto& [image, chipName] = GetParam();
    const sim::ChipInfo& chip = Chip(chipName);
    CliRig rig(chipName);
    std::string file = rig.CopyIn("examples/" + image);
    const ByteImage source = ParseHexImage(ReadFileBytes(file));
    ASSERT_FALSE(source.empty()) << image;
    const uint32_t size = IsEeprom(image) ? chip.eepromBytes : chip.flashBytes;
    if (source.rbegin()->first >= size)
        GTEST_SKIP() << image << " does not fit the " << chipName << " (" << size << " bytes)";

    // A fuse script belongs to the chip its program was built for: it goes
    // beside the file only then (on another chip its fuse values make no sense).
    std::string lowerChip = chipName;
    std::transform(lowerChip.begin(), lowerChip.end(), lowerChip.begin(), ::tolower);
    const bool ownChip = Stem(image).ends_with("-" + lowerChip);
    const bool withScript =
        ownChip && std::filesystem::exists(SourcePath("examples/" + Stem(image) + ".scr"));
    if (withScript)
        rig.CopyIn("examples/" + Stem(image) + ".scr");

    ProcessResult write = rig.Run({"--yes", "write", file});
    ASSERT_TRUE(ExitedWith(write, 0));
    // "OK" once, on standard output; the script's closing text stays on the activity line.
    EXPECT_EQ(write.out, "OK\n");
    if (withScript) {
        EXPECT_EQ(LastLine(write.err), "F+L Bits programmed") << write.err;
    } else {
        EXPECT_EQ(write.err.find("OK"), std::string::npos) << write.err;
    }
    EXPECT_EQ(rig.dir.Read(Stem(image) + ".tmp"), ReadFileBytes(file))
        << "the snapshot of the file written";

    ProcessResult verify = rig.Run({"verify", file});
    ASSERT_TRUE(ExitedWith(verify, 0));
    EXPECT_EQ(verify.out, "OK\n");
    EXPECT_NE(LastLine(verify.err), "OK") << "OK is said once, on standard output";

    ProcessResult read = rig.Run({"read"});
    ASSERT_TRUE(ExitedWith(read, 0));
    EXPECT_EQ(read.out, rig.dir.File("readback.txt") + "\n");
    DumpImage dump = ParseDump(rig.dir.Read("readback.txt"));
    ASSERT_TRUE(dump.valid) << dump.problem;

    if (IsEeprom(image)) {
        EXPECT_EQ(CompareImages(ErasedWith(chip.eepromBytes, source), dump.eeprom), "");
        EXPECT_EQ(CompareImages(ErasedWith(chip.flashBytes, {}), dump.flash), "")
            << "an EEPROM file leaves the flash alone";
        return;
    }
    const ByteImage expected = ErasedWith(chip.flashBytes, source);
    EXPECT_EQ(CompareImages(expected, dump.flash), "") << "readback.txt, flash";
    EXPECT_EQ(CompareImages(ErasedWith(chip.eepromBytes, {}), dump.eeprom), "")
        << "without --eep a flash write leaves the EEPROM alone";
    EXPECT_EQ(CompareImages(expected, rig.ReadHex()), "") << "readback.hex";
}

std::vector<std::tuple<std::string, std::string>> Cases() {
    std::vector<std::tuple<std::string, std::string>> cases;
    for (const std::string& image : ExampleImages())
        for (const char* chip : kChips)
            cases.emplace_back(image, chip);
    return cases;
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<std::string, std::string>>& info) {
    std::string name = std::get<0>(info.param) + "_into_" + std::get<1>(info.param);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleRoundTrip, ::testing::ValuesIn(Cases()), CaseName);

// With "Program eep- after hexfile" on, one write puts the program and the
// EEPROM file beside it into the chip; with it off only the program goes in.
TEST(ExampleRoundTrip, EepOptionWritesTheEepromFileBesideTheProgram) {
    REQUIRE_CLI();
    for (const char* chipName : kChips) {
        SCOPED_TRACE(chipName);
        const sim::ChipInfo& chip = Chip(chipName);
        std::string lower = chipName;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        const std::string stem = "eecount-" + lower;
        if (!std::filesystem::exists(SourcePath("examples/" + stem + ".eep")))
            GTEST_SKIP() << "no EEPROM example for " << chipName;

        CliRig rig(chipName);
        std::string hex = rig.CopyIn("examples/" + stem + ".hex");
        std::string eep = rig.CopyIn("examples/" + stem + ".eep");
        const ByteImage program = ParseHexImage(ReadFileBytes(hex));
        const ByteImage data = ParseHexImage(ReadFileBytes(eep));
        ASSERT_FALSE(data.empty());

        ASSERT_TRUE(ExitedWith(rig.Run({"--yes", "write", hex}), 0));
        ASSERT_TRUE(ExitedWith(rig.Run({"read"}), 0));
        DumpImage dump = ParseDump(rig.dir.Read("readback.txt"));
        ASSERT_TRUE(dump.valid) << dump.problem;
        EXPECT_EQ(CompareImages(ErasedWith(chip.eepromBytes, {}), dump.eeprom), "")
            << "option off: the EEPROM stays erased";

        ProcessResult both = rig.Run({"--yes", "--eep", "write", hex});
        ASSERT_TRUE(ExitedWith(both, 0));
        ASSERT_TRUE(ExitedWith(rig.Run({"read"}), 0));
        dump = ParseDump(rig.dir.Read("readback.txt"));
        ASSERT_TRUE(dump.valid) << dump.problem;
        EXPECT_EQ(CompareImages(ErasedWith(chip.flashBytes, program), dump.flash), "");
        EXPECT_EQ(CompareImages(ErasedWith(chip.eepromBytes, data), dump.eeprom), "");
        ASSERT_TRUE(ExitedWith(rig.Run({"verify", eep}), 0));
    }
}

// A readback.txt is itself a source: the dump of one chip, written into a
// fresh chip of the same kind, makes the same flash.
TEST(ExampleRoundTrip, AReadbackDumpWritesTheSameFlashIntoAnotherChip) {
    REQUIRE_CLI();
    CliRig first("ATmega8");
    std::string hex = first.CopyIn("examples/blink-atmega8.hex");
    ASSERT_TRUE(ExitedWith(first.Run({"--yes", "write", hex}), 0));
    ASSERT_TRUE(ExitedWith(first.Run({"read"}), 0));

    CliRig second("ATmega8");
    std::string dump = second.dir.Write("readback.txt", first.dir.Read("readback.txt"));
    ProcessResult write = second.Run({"--yes", "write", dump});
    ASSERT_TRUE(ExitedWith(write, 0));
    EXPECT_EQ(write.err.find("Checksum"), std::string::npos) << "a dump is not checked as hex";
    EXPECT_EQ(
        CompareImages(ErasedWith(Chip("ATmega8").flashBytes, ParseHexImage(ReadFileBytes(hex))),
                      second.ReadHex()),
        "");
}

}  // namespace
}  // namespace ostrel::testing
