// The readback writers against a chip behind the parallel cable.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "image/dump.h"
#include "image/file_names.h"
#include "image/hex_check.h"
#include "image/hex_line.h"
#include "image/hex_records.h"
#include "image/readback.h"
#include "tests/image/image_test_util.h"
#include "tests/image/spi_target.h"
#include "tests/support/child_process.h"

namespace ostrel::image {
namespace {

using testing::ImageRig;
using testing::RunInChild;
using testing::SpiTarget;

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

TEST(WriteDump, ExactLayoutOfASmallChip) {
    ImageRig rig;
    SpiTarget chip(rig, 16, 10);
    chip.flash[0] = 0x0C94;
    chip.flash[1] = 0x3400;
    chip.flash[15] = 0x1234;
    for (int a = 0; a < 10; ++a)
        chip.eeprom[a] = static_cast<uint8_t>(a + 1);
    chip.eeprom[9] = 0xA5;
    ASSERT_EQ(WriteDump(rig.p), 0);
    EXPECT_EQ(rig.dir.Read("readback.txt"),
              "FLASH-Memory:\r\n"
              "\r\n"
              "0000: 0C94 3400 FFFF FFFF FFFF FFFF FFFF FFFF\r\n"
              "0008: FFFF FFFF FFFF FFFF FFFF FFFF FFFF 1234\r\n"
              "\r\n"
              "\r\n"
              "EEPROM-Memory:\r\n"
              "\r\n"
              "0000: 01 02 03 04 05 06 07 08\r\n"
              "0008: 09 A5");
}

TEST(WriteDump, ReadsTheHighByteFirstAndEveryByteOnce) {
    ImageRig rig;
    SpiTarget chip(rig, 8, 2);
    ASSERT_EQ(WriteDump(rig.p), 0);
    ASSERT_EQ(chip.instructions.size(), 8u * 2u + 2u);
    EXPECT_EQ(chip.instructions[0], 0x28000000u);
    EXPECT_EQ(chip.instructions[1], 0x20000000u);
    EXPECT_EQ(chip.instructions[14], 0x28000700u);
    EXPECT_EQ(chip.instructions[15], 0x20000700u);
    EXPECT_EQ(chip.instructions[16], 0xA0000000u);
    EXPECT_EQ(chip.instructions[17], 0xA0000100u);
}

TEST(WriteDump, A4096WordChipWith256EepromBytesGives550Lines) {
    ImageRig rig;
    SpiTarget chip(rig, 4096, 256);
    for (int w = 0; w < 4096; ++w)
        chip.flash[w] = static_cast<uint16_t>(w * 7 + 3);
    ASSERT_EQ(WriteDump(rig.p), 0);
    std::string dump = rig.dir.Read("readback.txt");
    auto lines = SplitCrLf(dump);
    ASSERT_EQ(lines.size(), 1u + 1 + 512 + 2 + 1 + 1 + 32);
    EXPECT_NE(dump.substr(dump.size() - 2), "\r\n");  // the last line has no line end
    EXPECT_EQ(lines[0], "FLASH-Memory:");
    EXPECT_EQ(lines[1], "");
    for (int i = 2; i < 514; ++i)
        ASSERT_EQ(lines[i].size(), 45u) << i;
    EXPECT_EQ(lines[2].substr(0, 15), "0000: 0003 000A");
    EXPECT_EQ(lines[513].substr(0, 5), "0FF8:");  // word addresses
    EXPECT_EQ(lines[514], "");
    EXPECT_EQ(lines[515], "");
    EXPECT_EQ(lines[516], "EEPROM-Memory:");
    EXPECT_EQ(lines[517], "");
    for (int i = 518; i < 550; ++i)
        ASSERT_EQ(lines[i].size(), 29u) << i;
    EXPECT_EQ(lines[549].substr(0, 5), "00F8:");  // byte addresses
}

TEST(WriteReadbackHex, ExactLayoutLowByteFirstWithChecksums) {
    ImageRig rig;
    SpiTarget chip(rig, 16, 4);
    chip.flash[0] = 0x0C94;
    chip.flash[1] = 0x3400;
    ASSERT_EQ(WriteReadbackHex(rig.p), 0);
    EXPECT_EQ(rig.dir.Read("readback.hex"),
              ":10000000940C0034FFFFFFFFFFFFFFFFFFFFFFFF28\r\n"
              ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0\r\n"
              ":00000001FF");
    // Low byte, then high byte of each word; no EEPROM reads.
    ASSERT_EQ(chip.instructions.size(), 32u);
    EXPECT_EQ(chip.instructions[0], 0x20000000u);
    EXPECT_EQ(chip.instructions[1], 0x28000000u);
    EXPECT_EQ(chip.instructions[31], 0x28000F00u);
}

TEST(WriteReadbackHex, ErasedChipOf4096WordsGives512RecordsAndTheEndRecord) {
    ImageRig rig;
    SpiTarget chip(rig, 4096, 256);
    ASSERT_EQ(WriteReadbackHex(rig.p), 0);
    auto lines = SplitCrLf(rig.dir.Read("readback.hex"));
    ASSERT_EQ(lines.size(), 513u);
    EXPECT_EQ(lines[0], ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00");
    EXPECT_EQ(lines[1], ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0");
    EXPECT_EQ(lines[511].substr(0, 9), ":101FF000");
    EXPECT_EQ(lines[512], ":00000001FF");
    // The file passes the check and streams completely.
    rig.p.state.currentFileName.Assign(rig.dir.File("readback.hex"));
    EXPECT_EQ(CheckHexFile(rig.p), 0);
}

TEST(WriteReadbackHex, AFlashSizeThatIsNoMultipleOf8EndsWithAShorterRecord) {
    ImageRig rig;
    SpiTarget chip(rig, 10, 0);
    chip.flash[8] = 0x0102;
    chip.flash[9] = 0x0304;
    ASSERT_EQ(WriteReadbackHex(rig.p), 0);
    auto lines = SplitCrLf(rig.dir.Read("readback.hex"));
    ASSERT_EQ(lines.size(), 3u);
    // 04 + 00 + 10 + 00 + 02 01 04 03 = 0x1E; checksum E2.
    EXPECT_EQ(lines[1], ":0400100002010403E2");
    EXPECT_EQ(lines[2], ":00000001FF");
}

TEST(WriteReadbackHex, FlashAbove64KbGetsAnExtendedAddressRecord) {
    ImageRig rig;
    SpiTarget chip(rig, 32768 + 8, 0);
    chip.flash[32768] = 0xBEEF;
    ASSERT_EQ(WriteReadbackHex(rig.p), 0);
    auto lines = SplitCrLf(rig.dir.Read("readback.hex"));
    ASSERT_EQ(lines.size(), 4096u + 1 + 1 + 1);
    EXPECT_EQ(lines[4095].substr(0, 9), ":10FFF000");
    EXPECT_EQ(lines[4096], ":020000040001F9");
    EXPECT_EQ(lines[4097].substr(0, 13), ":10000000EFBE");
}

TEST(WriteDump, TheAddressFieldIsWideEnoughForTheChip) {
    struct Case {
        int32_t words;
        std::size_t line;   // of the last flash line
        std::string first;  // its first characters
        std::string zero;   // the first flash line's
    };
    for (const Case& c : {Case{0x10000, 8193, "FFF8: FFFF", "0000: FFFF"},
                          Case{0x10008, 8194, "10000: FFFF", "00000: FFFF"}}) {
        ImageRig rig;
        SpiTarget chip(rig, c.words, 0);
        ASSERT_EQ(WriteDump(rig.p), 0);
        auto lines = SplitCrLf(rig.dir.Read("readback.txt"));
        ASSERT_GT(lines.size(), c.line);
        EXPECT_EQ(lines[2].substr(0, c.zero.size()), c.zero);
        EXPECT_EQ(lines[c.line].substr(0, c.first.size()), c.first);
    }
}

TEST(ReadbackProgress, FiguresShowOnlyWhenTheyChangeAndCarryOverToTheEeprom) {
    ImageRig rig;
    SpiTarget chip(rig, 8, 4);
    ASSERT_EQ(WriteDump(rig.p), 0);
    EXPECT_EQ(rig.Activity(),
              (std::vector<std::string>{
                  "12%  flash memory", "25%  flash memory", "37%  flash memory",
                  "50%  flash memory", "62%  flash memory", "75%  flash memory",
                  "87%  flash memory", "0%  eeprom", "25%  eeprom", "50%  eeprom", "75%  eeprom"}));
}

TEST(ReadbackProgress, AFlashPartThatEndsAtZeroShowsNoZeroForTheEeprom) {
    ImageRig rig;
    SpiTarget chip(rig, 1, 3);
    ASSERT_EQ(WriteDump(rig.p), 0);
    EXPECT_EQ(rig.Activity(), (std::vector<std::string>{"33%  eeprom", "66%  eeprom"}));

    ImageRig big;
    SpiTarget bigChip(big, 1000, 0);
    ASSERT_EQ(WriteReadbackHex(big.p), 0);
    auto shown = big.Activity();
    ASSERT_EQ(shown.size(), 99u);  // 1% to 99%, each once
    EXPECT_EQ(shown.front(), "1%  flash memory");
    EXPECT_EQ(shown.back(), "99%  flash memory");
}

TEST(Readback, TheDumpConvertsToTheSameRecordsAsReadbackHex) {
    ImageRig rig;
    SpiTarget chip(rig, 512, 64);
    for (int w = 0; w < 512; ++w)
        chip.flash[w] = static_cast<uint16_t>(w * 0x9E37 + 0x0C94);
    ASSERT_EQ(WriteDump(rig.p), 0);
    ASSERT_EQ(WriteReadbackHex(rig.p), 0);
    rig.p.state.currentFileName.Assign(rig.dir.File("readback.txt"));
    ASSERT_TRUE(IsDumpFile(rig.p));
    ASSERT_EQ(ConvertDumpToHex(rig.p), 0);
    std::string hex = rig.dir.Read("readback.hex");
    std::string converted = rig.dir.Read("hex.tmp");
    ASSERT_EQ(hex.substr(hex.size() - 11), ":00000001FF");
    EXPECT_EQ(converted, hex.substr(0, hex.size() - 11));
    EXPECT_EQ(converted.size(), 64u * 45u);
}

TEST(Readback, AFileThatCannotBeCreatedIsNamedAndTheChipIsNotRead) {
    ImageRig rig;
    SpiTarget chip(rig, 8, 8);
    rig.p.state.startDirectory.Assign(rig.dir.File("no-such-folder"));
    rig.port.calls.clear();
    EXPECT_EQ(WriteDump(rig.p), 1);
    EXPECT_EQ(rig.p.state.errorText.str(),
              "Cannot create output file readback.txt (No such file or directory).\n");
    EXPECT_EQ(WriteReadbackHex(rig.p), 1);
    EXPECT_EQ(rig.p.state.errorText.str(),
              "Cannot create output file readback.hex (No such file or directory).\n");
    EXPECT_TRUE(rig.port.calls.empty());
    EXPECT_TRUE(chip.instructions.empty());
}

TEST(Readback, AFailedWriteIsReportedAndTheOldFileStays) {
    REQUIRE_FORKED_CHILD();
    // A full disk, without filling one: the child may write no file longer
    // than 300 bytes, so the dump breaks off early in its flash section.
    struct Case {
        const char* name;
        int (*writer)(Programmer&, const BeforeReplacing&);
    } cases[] = {{"readback.txt", WriteDump}, {"readback.hex", WriteReadbackHex}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageRig rig;
        SpiTarget chip(rig, 64, 64);
        const std::string old = "the user's earlier file\r\n";
        rig.dir.Write(c.name, old);
        std::string why;
        EXPECT_TRUE(RunInChild(
            [&] {
                EXPECT_EQ(c.writer(rig.p, nullptr), 1);
                EXPECT_EQ(rig.p.state.errorText.str(),
                          std::string("Cannot write output file ") + c.name +
                              " (File too large); the file of that name is as it was.\n");
            },
            {.unprivileged = false, .fileSizeLimit = 300}, &why))
            << why;
        EXPECT_EQ(rig.dir.Read(c.name), old);
        // Nothing of the broken file is left beside it.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(rig.dir.path()),
                                std::filesystem::directory_iterator()),
                  1);
        // A chip that stopped answering (the command's question before the
        // file takes the earlier one's place): the earlier file stays too.
        EXPECT_EQ(c.writer(rig.p, [] { return false; }), 1);
        EXPECT_EQ(rig.dir.Read(c.name), old);
        EXPECT_EQ(c.writer(rig.p, [] { return true; }), 0);
        EXPECT_NE(rig.dir.Read(c.name), old);
    }
}

}  // namespace
}  // namespace ostrel::image
