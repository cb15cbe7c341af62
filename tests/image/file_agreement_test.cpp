// The whole-file checks and the readers that feed the chip must accept
// exactly the same files: every variant below goes through both.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "image/dump.h"
#include "image/file_names.h"
#include "image/hex_check.h"
#include "image/hex_line.h"
#include "image/hex_records.h"
#include "tests/image/image_test_util.h"

namespace ostrel::image {
namespace {

using testing::Bytes;
using testing::ImageRig;
using testing::kEndRecord;
using testing::Record;

struct HexCase {
    const char* name;
    std::string content;
    FileVerdict verdict;
    int records;         // data records the stream hands out before it stops
    std::string detail;  // the start of the check's detail ("" when Good)
};

std::string WithBadChecksum(std::string record) {
    record.back() = record.back() == '0' ? '1' : '0';
    return record;
}

std::vector<HexCase> HexCases() {
    const std::string a = Record(0, 0x0000, Bytes(16));
    const std::string b = Record(0, 0x0010, Bytes(3, 0xF0));
    const std::string e = kEndRecord;
    std::string lower = a;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string utf16 = "\xFF\xFE";
    for (char c : a + "\r\n")
        utf16 += std::string{c, '\0'};
    std::string binary;
    for (int i = 0; i < 512; ++i)
        binary.push_back(static_cast<char>((i * 37 + 11) & 0xFF));
    binary[0] = ':';
    const auto G = FileVerdict::Good;
    const auto C = FileVerdict::ChecksumWrong;
    const auto R = FileVerdict::Refused;
    return {
        {"lf", a + "\n" + b + "\n" + e + "\n", G, 2, ""},
        {"crlf", a + "\r\n" + b + "\r\n" + e + "\r\n", G, 2, ""},
        {"lone cr", a + "\r" + b + "\r" + e + "\r", G, 2, ""},
        {"trailing blanks and tabs", a + " \t \n" + b + "\t\n" + e + "  \n", G, 2, ""},
        {"blank lines anywhere", "\n \n" + a + "\n\n" + b + "\r\n\r\n" + e + "\n\n", G, 2, ""},
        {"lower-case digits", lower + "\n" + e + "\n", G, 1, ""},
        {"no end record, no final line end", a + "\n" + b, G, 2, ""},
        {"end record without line end", a + "\n" + e, G, 1, ""},
        {"nothing after the end record is read", a + "\n" + e + "\n\xFFgarbage", G, 1, ""},
        {"empty file", "", G, 0, ""},
        {"checksum wrong", a + "\n" + WithBadChecksum(b) + "\n" + e + "\n", C, 2,
         "prog.hex, line 2: checksum "},
        {"checksum wrong on a last line without line end", a + "\n" + WithBadChecksum(b), C, 2,
         "prog.hex, line 2: checksum "},
        {"checksum wrong in the end record", a + "\n:00000001FE\n", C, 1,
         "prog.hex, line 2: checksum FE, the record adds up to FF."},
        {"refusal wins over an earlier wrong checksum", WithBadChecksum(a) + "\nX\n", R, 1,
         "prog.hex, line 2: the line does not begin with ':'"},
        {"ff where a line begins", a + "\n\xFF" + b + "\n", R, 1,
         "prog.hex, line 2: byte 0xFF where text was expected"},
        {"ff inside a line", a + "\n" + b.substr(0, 5) + "\xFF" + b.substr(5) + "\n", R, 1,
         "prog.hex, line 2: byte 0xFF"},
        {"nul", a + "\n" + std::string(1, '\0') + "\n", R, 1, "prog.hex, line 2: byte 0x00"},
        {"utf-16 text", utf16, R, 0, "prog.hex, line 1: byte 0xFF"},
        {"binary", binary, R, 0, "prog.hex, line 1: "},
        {"ff-led binary", "\xFF\xD8\xFF\xE0" + a + "\n", R, 0, "prog.hex, line 1: byte 0xFF"},
        {"line without colon", a + "\n" + b.substr(1) + "\n", R, 1,
         "prog.hex, line 2: the line does not begin with ':' but with '0'"},
        {"blank before the colon", " " + a + "\n", R, 0,
         "prog.hex, line 1: the line does not begin with ':' but with a blank"},
        {"non-hex digit", a + "\n" + b.substr(0, 14) + "G" + b.substr(15) + "\n", R, 1,
         "prog.hex, line 2: 'G' is not a hexadecimal digit (column 15)."},
        {"record shorter than its length", a.substr(0, 30) + "\n", R, 0,
         "prog.hex, line 1: the record ends after 30 characters; its length 10 needs 43."},
        {"record longer than its length", a + "00\n", R, 0,
         "prog.hex, line 1: '0' after the checksum (column 44)"},
        {"two records on one line", ":0100000055AA :0100010066FF\n", R, 0,
         "prog.hex, line 1: a blank after the checksum (column 14)"},
        {"over-long line", a + "\n" + std::string(600, 'A') + "\n", R, 1,
         "prog.hex, line 2: the line is longer than the longest legal one"},
        {"over-long line without line end", std::string(5000, 'A'), R, 0,
         "prog.hex, line 1: the line is longer"},
        {"garbage last line without line end", a + "\n" + b.substr(0, 12) + "x", R, 1,
         "prog.hex, line 2: 'x' is not a hexadecimal digit"},
        {"unknown record type", a + "\n" + Record(0x06, 0, Bytes(2)) + "\n", R, 1,
         "prog.hex, line 2: record type 06 is not supported."},
        {"data above 16 MB", Record(4, 0, {1, 0}) + "\n" + a + "\n", R, 0,
         "prog.hex, line 1: data above 16 MB (record type 04) is not supported."},
    };
}

struct StreamOutcome {
    int records = 0;
    RecordResult end = RecordResult::Record;
};

StreamOutcome StreamAll(ImageRig& rig, const std::string& path) {
    HexRecordStream stream(rig.p);
    StreamOutcome out;
    if (!stream.Open(path)) {
        ADD_FAILURE() << "cannot open";
        return out;
    }
    for (int guard = 0; guard < 1000; ++guard) {
        HexRecord header;
        out.end = stream.NextRecord(header);
        if (out.end != RecordResult::Record)
            break;
        ++out.records;
        for (int i = 0; i < header.length; ++i)
            EXPECT_GE(stream.NextDataByte(), 0);
        stream.FinishRecord();
    }
    return out;
}

TEST(FileAgreement, CheckAndRecordStreamAcceptTheSameHexFiles) {
    for (const HexCase& c : HexCases()) {
        SCOPED_TRACE(c.name);
        ImageRig rig;
        std::string path = rig.dir.Write("prog.hex", c.content);
        FileCheck check = CheckDataFile(rig.p, path, false);
        EXPECT_EQ(check.verdict, c.verdict) << check.detail;
        EXPECT_EQ(check.detail.substr(0, c.detail.size()), c.detail);
        EXPECT_EQ(check.systemText, c.verdict == FileVerdict::Good            ? ""
                                    : c.verdict == FileVerdict::ChecksumWrong ? "Checksum wrong!"
                                    : c.detail.find("supported") != std::string::npos
                                        ? check.systemText
                                        : "Wrong File-Format!");
        // The EEPROM reading of the same file gives the same verdict.
        EXPECT_EQ(CheckDataFile(rig.p, path, true).verdict, c.verdict);
        // CheckHexFile is the same check with the system's text.
        rig.p.state.currentFileName.Assign(path);
        EXPECT_EQ(CheckHexFile(rig.p), c.verdict == FileVerdict::Good ? 0 : 1);

        StreamOutcome stream = StreamAll(rig, path);
        EXPECT_EQ(stream.end == RecordResult::FormatError, c.verdict == FileVerdict::Refused);
        EXPECT_EQ(stream.records, c.records);
    }
}

TEST(FileAgreement, AFileThatCannotBeOpenedIsRefusedWithItsName) {
    ImageRig rig;
    FileCheck missing = CheckDataFile(rig.p, rig.dir.File("gone.hex"), false);
    EXPECT_EQ(missing.verdict, FileVerdict::Refused);
    EXPECT_EQ(missing.systemText, "Open Error!");
    EXPECT_EQ(missing.detail, "gone.hex cannot be opened: there is no such file.");
    FileCheck folder = CheckDumpFile(rig.p, rig.dir.str());
    EXPECT_EQ(folder.verdict, FileVerdict::Refused);
    EXPECT_EQ(folder.systemText, "Open Error!");
    EXPECT_NE(folder.detail.find("it is a folder"), std::string::npos);
}

// A dump as the Read command writes it: 3 flash lines (24 words) and 16
// bytes of EEPROM.
std::vector<std::string> DumpLines() {
    return {"FLASH-Memory:",
            "",
            "0000: 0C94 3400 0C94 5100 0C94 5100 0C94 5100",
            "0008: 1124 1FBE CFE5 D4E0 DEBF CDBF 0E94 4000",
            "0010: FFFF FFFF FFFF FFFF FFFF FFFF FFFF FFFF",
            "",
            "",
            "EEPROM-Memory:",
            "",
            "0000: FF FF FF FF FF FF FF FF",
            "0008: 00 01 02 03 04 05 06 07"};
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += lines[i] + (i + 1 < lines.size() ? "\r\n" : "");
    return text;
}

TEST(FileAgreement, CheckAndConversionRefuseTheSameDamagedDumps) {
    struct DumpCase {
        const char* name;
        std::function<void(std::vector<std::string>&)> damage;
        std::string detail;  // "" when the dump is good
        int records;         // records in hex.tmp when good
        // Only the check can tell: the dump has the layout of one, but not
        // the sizes of a chip (the conversion does not know the chips).
        bool checkOnly = false;
    };
    using L = std::vector<std::string>;
    const DumpCase cases[] = {
        {"as written", [](L&) {}, "", 3},
        {"lower case and trailing blanks",
         [](L& l) { l[3] = "0008: 1124 1fbe cfe5 d4e0 debf cdbf 0e94 4000 \t"; }, "", 3},
        {"no header", [](L& l) { l.erase(l.begin(), l.begin() + 2); }, "", 3},
        {"empty lines after the end",
         [](L& l) {
             l.insert(l.end(), {"", "  ", ""});
         },
         "", 3},
        {"flash only, no line end", [](L& l) { l.resize(5); },
         "readback.txt: the dump ends after its flash line 5, without its EEPROM section", 0},
        {"cut at a line end in the flash", [](L& l) { l.resize(4); },
         "readback.txt: the dump ends after its flash line 4, without its EEPROM section", 0},
        {"cut before the heading", [](L& l) { l.resize(7); },
         "readback.txt: the dump ends before its EEPROM section", 0},
        {"cut after the heading", [](L& l) { l.resize(8); },
         "readback.txt ends at line 5 with 48 bytes of flash and 0 bytes of EEPROM", 3, true},
        {"the last EEPROM line cut short", [](L& l) { l[10].resize(12); },
         "readback.txt ends at line 11 with 48 bytes of flash and 10 bytes of EEPROM", 3, true},
        {"an EEPROM line deleted", [](L& l) { l.erase(l.begin() + 9); },
         "readback.txt, line 10: address 0008 where 0000 was expected", 0},
        {"a line after a short EEPROM line", [](L& l) { l[9].resize(14); },
         "readback.txt, line 11: a line after the EEPROM section's last, shorter line", 0},
        {"a flash line lost its colon", [](L& l) { l[3][4] = ' '; },
         "readback.txt, line 4: a blank at column 5 where ':' belongs.", 0},
        {"a line deleted", [](L& l) { l.erase(l.begin() + 3); },
         "readback.txt, line 4: address 0010 where 0008 was expected", 0},
        {"two lines swapped", [](L& l) { std::swap(l[3], l[4]); },
         "readback.txt, line 4: address 0010 where 0008 was expected", 0},
        {"a word cut short", [](L& l) { l[4].erase(19, 1); },
         "readback.txt, line 5: a blank at column 20 where a hexadecimal digit belongs.", 0},
        {"a ninth word", [](L& l) { l[2] += " 0000"; },
         "readback.txt, line 3: a blank after the eighth word (column 46).", 0},
        {"an FF byte", [](L& l) { l[3][10] = '\xFF'; },
         "readback.txt, line 4: byte 0xFF where text was expected", 0},
        {"a NUL in the header", [](L& l) { l[0][3] = '\0'; }, "readback.txt, line 1: byte 0x00", 0},
        {"a stray empty line inside the flash", [](L& l) { l.insert(l.begin() + 4, ""); },
         "readback.txt, line 6: the flash section ended at an empty line", 0},
        {"no flash line 0000", [](L& l) { l[2][3] = '8'; },
         "readback.txt: no flash line of address 0000", 0},
    };
    for (const DumpCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines = DumpLines();
        c.damage(lines);
        ImageRig rig;
        // The device file knows a chip of the dump's sizes: 24 words of
        // flash and 16 bytes of EEPROM.
        rig.dir.Write("ostrel.ini", "ATtest\t1E9999\t48\t0\t0\t0\t:0\t16\r\n");
        std::string path = rig.dir.Write("readback.txt", Join(lines));
        FileCheck check = CheckDumpFile(rig.p, path);
        rig.p.state.currentFileName.Assign(path);
        rig.p.state.errorText.Clear();
        int converted = ConvertDumpToHex(rig.p);
        std::string errorText = rig.p.state.errorText.str();
        if (c.detail.empty() || c.checkOnly) {
            if (c.detail.empty()) {
                EXPECT_EQ(check.verdict, FileVerdict::Good) << check.detail;
            }
            EXPECT_EQ(converted, 0) << errorText;
            std::string hex = rig.dir.Read("hex.tmp");
            EXPECT_EQ(hex.size(), 45u * static_cast<unsigned>(c.records));
        }
        if (c.detail.empty())
            continue;
        EXPECT_EQ(check.verdict, FileVerdict::Refused);
        EXPECT_EQ(check.systemText, "Wrong input file!");
        EXPECT_EQ(check.detail.substr(0, c.detail.size()), c.detail) << check.detail;
        if (c.checkOnly)
            continue;
        EXPECT_EQ(converted, 1);
        // The conversion says the same: the system's text, then the same detail.
        EXPECT_EQ(errorText, "Wrong input file!\n" + check.detail + "\n");
        EXPECT_FALSE(std::filesystem::exists(rig.dir.File("hex.tmp")));
    }
}

}  // namespace
}  // namespace ostrel::image
