// Recognising a readback dump and turning its flash section into Intel HEX.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "image/dump.h"
#include "image/file_names.h"
#include "image/hex_check.h"
#include "image/hex_line.h"
#include "image/hex_records.h"
#include "tests/image/image_test_util.h"

namespace ostrel::image {
namespace {

using testing::ImageRig;
using testing::Record;

bool IsDump(std::string_view path) {
    ImageRig rig;
    rig.p.state.currentFileName.Assign(path);
    return IsDumpFile(rig.p);
}

TEST(IsDumpFile, AnyFirstCharacterFollowedByEadbackTxt) {
    EXPECT_TRUE(IsDump("/home/user/readback.txt"));
    EXPECT_TRUE(IsDump("/home/user/Readback.txt"));
    EXPECT_TRUE(IsDump("/home/user/xeadback.txt"));
    EXPECT_TRUE(IsDump("readback.txt"));
    EXPECT_TRUE(IsDump("C:\\avr\\readback.txt"));
}

TEST(IsDumpFile, TheRestIsComparedWithRegardToCase) {
    EXPECT_FALSE(IsDump("/home/user/READBACK.TXT"));
    EXPECT_FALSE(IsDump("/home/user/readback.TXT"));
    EXPECT_FALSE(IsDump("/home/user/readback.hex"));
    EXPECT_FALSE(IsDump("/home/user/readback.txt.bak"));
    EXPECT_FALSE(IsDump("/home/user/myreadback.txt"));
    EXPECT_FALSE(IsDump("/home/user/eadback.txt"));
    EXPECT_FALSE(IsDump("/readback.txt/prog.hex"));
    EXPECT_FALSE(IsDump(""));
}

// A flash line of a dump for word address `w` with eight words.
std::string DumpLine(int w, const std::string& words) {
    char address[8];
    std::snprintf(address, sizeof address, "%.4X:", static_cast<unsigned>(w));
    return address + words;
}

const std::string kWords0 = " 0C94 3400 0C94 5100 0C94 5100 0C94 5100";
const std::string kWords1 = " 1124 1FBE CFE5 D4E0 DEBF CDBF 0E94 4000";
// What follows the flash lines of a whole dump: an empty line, the EEPROM
// section's heading and its lines (here one).
const std::string kEepromSection = "\r\n\r\nEEPROM-Memory:\r\n\r\n0000: FF FF FF FF FF FF FF FF";

struct Converted {
    int result;
    std::string errorText;
    std::string hexTmp;
    bool hexTmpExists;
};

// The first line of a text: the system's message before our detail line.
std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n') + 1);
}

Converted Convert(const std::string& dump) {
    ImageRig rig;
    rig.p.state.errorText.Assign("untouched");
    // The dump lies in another folder than the start directory.
    std::filesystem::create_directory(rig.dir.path() / "work");
    rig.p.state.currentFileName.Assign("work/readback.txt");
    rig.dir.Write("work/readback.txt", dump);
    rig.p.state.startDirectory.Assign(rig.dir.str());
    rig.p.currentDirectory = rig.dir.str();
    int result = ConvertDumpToHex(rig.p);
    return {result, rig.p.state.errorText.str(), rig.dir.Read("hex.tmp"),
            std::filesystem::exists(rig.dir.File("hex.tmp"))};
}

TEST(ConvertDumpToHex, FirstLineAtAddressZeroGivesLowByteFirstRecords) {
    Converted c = Convert(DumpLine(0, kWords0) + "\r\n" + DumpLine(8, kWords1) + "\r\n\r\n\r\n" +
                          "EEPROM-Memory:\r\n\r\n0000: FF FF FF FF FF FF FF FF");
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.errorText, "untouched");
    // 0C94 3400 gives 940C 0034; the second line is at byte address 0010.
    EXPECT_EQ(c.hexTmp.substr(0, 17), ":10000000940C0034");
    std::string expected = ":10000000940C0034940C0051940C0051940C0051";
    std::string second = ":100010002411BE1FE5CFE0D4BFDEBFCD940E0040";
    // The checksums make every record sum to 0 modulo 256.
    EXPECT_EQ(c.hexTmp, Record(0, 0x0000,
                               {0x94, 0x0C, 0x00, 0x34, 0x94, 0x0C, 0x00, 0x51, 0x94, 0x0C, 0x00,
                                0x51, 0x94, 0x0C, 0x00, 0x51}) +
                            "\r\n" +
                            Record(0, 0x0010,
                                   {0x24, 0x11, 0xBE, 0x1F, 0xE5, 0xCF, 0xE0, 0xD4, 0xBF, 0xDE,
                                    0xBF, 0xCD, 0x94, 0x0E, 0x00, 0x40}) +
                            "\r\n");
    EXPECT_EQ(c.hexTmp.substr(0, expected.size()), expected);
    EXPECT_EQ(c.hexTmp.substr(45, second.size()), second);
}

TEST(ConvertDumpToHex, ChecksumsOfAnErasedFlash) {
    std::string ff = " FFFF FFFF FFFF FFFF FFFF FFFF FFFF FFFF";
    Converted c = Convert(DumpLine(0, ff) + "\n" + DumpLine(8, ff) + kEepromSection);
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.hexTmp,
              ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n"
              ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0\r\n");
}

TEST(ConvertDumpToHex, UpToThreeHeaderLinesBeforeTheFirstDataLine) {
    std::string data = DumpLine(0, kWords0) + kEepromSection;
    EXPECT_EQ(Convert("FLASH-Memory:\r\n\r\n" + data).result, 0);
    Converted three = Convert("FLASH-Memory:\r\n\r\nthird\r\n" + data);
    EXPECT_EQ(three.result, 0);
    EXPECT_EQ(three.hexTmp.substr(0, 17), ":10000000940C0034");
    Converted four = Convert("FLASH-Memory:\r\n\r\nthird\r\nfourth\r\n" + data);
    EXPECT_EQ(four.result, 1);
    EXPECT_EQ(four.errorText,
              "Wrong input file!\nreadback.txt: no flash line of address 0000 among its first "
              "four lines.\n");
    EXPECT_FALSE(four.hexTmpExists);
    // A first data line at another address is no dump either.
    EXPECT_EQ(FirstLine(Convert(DumpLine(8, kWords0) + "\r\n").errorText), "Wrong input file!\n");
    EXPECT_EQ(FirstLine(Convert("").errorText), "Wrong input file!\n");
}

TEST(ConvertDumpToHex, EachLineAddressMustFollowTheOneBefore) {
    Converted c = Convert(DumpLine(0, kWords0) + "\n" + DumpLine(0x0100, kWords0) + "\n" +
                          DumpLine(0x0007, kWords0) + "\n");
    EXPECT_EQ(c.result, 1);
    EXPECT_EQ(c.errorText,
              "Wrong input file!\nreadback.txt, line 2: address 0100 where 0008 was expected (a "
              "line missing or out of place?).\n");
    EXPECT_FALSE(c.hexTmpExists);
}

TEST(ConvertDumpToHex, ALineNotShapedLikeAFlashLineIsRefused) {
    Converted c = Convert(DumpLine(0, kWords0) + "\nabcd\n" + DumpLine(8, kWords1) + "\n");
    EXPECT_EQ(c.result, 1);
    EXPECT_EQ(c.errorText,
              "Wrong input file!\nreadback.txt, line 2: the flash line ends after 4 characters; a "
              "flash line holds an address, ':' and eight words (45 characters).\n");
    EXPECT_FALSE(c.hexTmpExists);
}

TEST(ConvertDumpToHex, AShortOrDamagedDataLineIsRefusedNotReadPast) {
    std::string first = DumpLine(0, kWords0) + "\r\n";
    // Seven groups only.
    Converted seven = Convert(first + DumpLine(8, kWords1.substr(0, 35)) + "\r\n");
    EXPECT_EQ(seven.result, 1);
    EXPECT_EQ(FirstLine(seven.errorText), "Wrong input file!\n");
    EXPECT_FALSE(seven.hexTmpExists);
    // The last group one digit short, and a group with a character that is not a digit.
    EXPECT_EQ(FirstLine(Convert(DumpLine(0, kWords0.substr(0, 39)) + "\r\n").errorText),
              "Wrong input file!\n");
    std::string damaged = kWords0;
    damaged[13] = 'x';
    EXPECT_EQ(FirstLine(Convert(DumpLine(0, damaged) + "\r\n").errorText), "Wrong input file!\n");
    // An over-long line among the data; trailing blanks alone are harmless.
    EXPECT_EQ(
        FirstLine(
            Convert(first + DumpLine(8, kWords1) + std::string(600, ' ') + "x\r\n").errorText),
        "Wrong input file!\n");
    EXPECT_EQ(Convert(first + DumpLine(8, kWords1) + std::string(600, ' ') + kEepromSection).result,
              0);
}

// Dumps of every size Read writes: four-digit word addresses up to 64K
// words (128 KB), five digits above; each further 64 KB of flash starts
// with its upper address record.
TEST(ConvertDumpToHex, FlashUpTo256KbWithTheUpperAddressOfEach64Kb) {
    struct Size {
        int words;
        int digits;
        int lastWords;          // the last line's address; -1 when as the size gives
        const char* firstLine;  // of the error text; empty when converted
        int upperRecords;
    };
    const Size sizes[] = {
        {32768, 4, -1, "", 0},                      // 64 KB, as always
        {65536, 4, -1, "", 1},                      // ATmega1284P
        {131072, 5, -1, "", 3},                     // ATmega2560
        {131080, 5, -1, "Wrong input file!\n", 0},  // beyond any chip
        {16, 5, 0x0008, "", 0},                     // five digits on a small dump
        {16, 5, -2, "Wrong input file!\n", 0},      // widths mixed
    };
    for (const Size& size : sizes) {
        std::string dump;
        for (int w = 0; w < size.words; w += 8) {
            char address[8];
            const bool mixed = size.lastWords == -2 && w > 0;
            std::snprintf(address, sizeof address, "%.*X:", mixed ? 4 : size.digits,
                          static_cast<unsigned>(w));
            dump += address + kWords0 + "\r\n";
        }
        Converted c = Convert(dump + "\r\nEEPROM-Memory:");
        SCOPED_TRACE(std::to_string(size.words) + " words");
        EXPECT_EQ(c.result, *size.firstLine ? 1 : 0);
        EXPECT_EQ(FirstLine(c.errorText), size.firstLine);
        if (*size.firstLine) {
            EXPECT_FALSE(c.hexTmpExists);
            continue;
        }
        const std::size_t lines = static_cast<std::size_t>(size.words / 8);
        EXPECT_EQ(c.hexTmp.size(), lines * 45u + static_cast<std::size_t>(size.upperRecords) * 17u);
        for (int u = 1; u <= size.upperRecords; ++u) {
            const std::string upper = Record(4, 0, {0, u}) + "\r\n";
            const std::size_t at =
                static_cast<std::size_t>(u) * 4096u * 45u + static_cast<std::size_t>(u - 1) * 17u;
            EXPECT_EQ(c.hexTmp.substr(at, 17), upper) << u;
        }
        EXPECT_EQ(c.hexTmp.substr(c.hexTmp.size() - 45, 7),
                  size.words >= 32768 ? ":10FFF0" : ":100010");
    }
}

TEST(ConvertDumpToHex, FileFailures) {
    ImageRig rig;
    rig.p.state.currentFileName.Assign(rig.dir.File("readback.txt"));
    EXPECT_EQ(ConvertDumpToHex(rig.p), 1);
    EXPECT_EQ(FirstLine(rig.p.state.errorText.str()), "Cannot open input file.\n");

    rig.dir.Write("readback.txt", DumpLine(0, kWords0) + kEepromSection);
    rig.p.state.startDirectory.Assign(rig.dir.File("no-such-folder"));
    EXPECT_EQ(ConvertDumpToHex(rig.p), 1);
    EXPECT_EQ(FirstLine(rig.p.state.errorText.str()), "Cannot open output file.\n");
}

TEST(ConvertDumpToHex, TheStartDirectoryBecomesCurrent) {
    ImageRig rig;
    std::filesystem::create_directory(rig.dir.path() / "elsewhere");
    rig.dir.Write("elsewhere/readback.txt", DumpLine(0, kWords0) + kEepromSection);
    rig.p.currentDirectory = rig.dir.File("elsewhere");
    rig.p.state.currentFileName.Assign("readback.txt");
    ASSERT_EQ(ConvertDumpToHex(rig.p), 0);
    EXPECT_EQ(rig.p.currentDirectory, rig.dir.str());
    EXPECT_EQ(rig.dir.Read("hex.tmp").substr(0, 17), ":10000000940C0034");
    EXPECT_EQ(HexTmpPath(rig.p), rig.dir.File("hex.tmp"));
}

}  // namespace
}  // namespace ostrel::image
