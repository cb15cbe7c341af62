// The syntax, checksum and record type check that runs before the chip is touched.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

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

// Runs the check over `content`; the result and errorText.
std::pair<int, std::string> Check(const std::string& content) {
    ImageRig rig;
    rig.p.state.errorText.Assign("untouched");
    rig.UseFile("prog.hex", content);
    int result = CheckHexFile(rig.p);
    return {result, rig.p.state.errorText.str()};
}

const std::pair<int, std::string> kPassed{0, "untouched"};
const std::pair<int, std::string> kWrongFormat{1, "Wrong File-Format!"};
const std::pair<int, std::string> kChecksum{1, "Checksum wrong!"};

TEST(CheckHexFile, AcceptsGoodFilesInEitherCaseAndWithAnyLineEnd) {
    std::string data = Record(0, 0x0000, Bytes(16)) + "\r\n" + Record(0, 0x0010, Bytes(16, 0xF0));
    EXPECT_EQ(Check(data + "\r\n" + kEndRecord + "\r\n"), kPassed);
    EXPECT_EQ(Check(data + "\n" + kEndRecord + "\n"), kPassed);
    EXPECT_EQ(Check(data + "\r" + kEndRecord + "\r"), kPassed);
    // Lower-case digits.
    std::string lower = Record(0, 0xABC0, Bytes(16, 0xF0));
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_NE(lower, Record(0, 0xABC0, Bytes(16, 0xF0)));
    EXPECT_EQ(Check(lower + "\n"), kPassed);
}

TEST(CheckHexFile, EndRecordWithoutLineEndPasses) {
    EXPECT_EQ(Check(Record(0, 0, Bytes(4)) + "\n" + kEndRecord), kPassed);
}

TEST(CheckHexFile, TheSystemsThreeTexts) {
    ImageRig rig;
    rig.p.state.currentFileName.Assign(rig.dir.File("missing.hex"));
    EXPECT_EQ(CheckHexFile(rig.p), 1);
    EXPECT_EQ(rig.p.state.errorText.str(), "Open Error!");

    EXPECT_EQ(Check("10000000\n"), kWrongFormat);
    EXPECT_EQ(Check(Record(0, 0, Bytes(4)) + "\n;comment\n"), kWrongFormat);
    std::string bad = Record(0, 0x0100, Bytes(8));
    bad[bad.size() - 1] = bad.back() == '0' ? '1' : '0';
    EXPECT_EQ(Check(Record(0, 0, Bytes(8)) + "\n" + bad + "\n"), kChecksum);
}

TEST(CheckHexFile, BlankLinesAreReadOverAndTheLinesAfterThemChecked) {
    EXPECT_EQ(Check(Record(0, 0, Bytes(4)) + "\n\nrubbish\n"), kWrongFormat);
    EXPECT_EQ(Check("\n" + Record(0, 0, Bytes(4)) + "\n  \n\n"), kPassed);
}

TEST(CheckHexFile, EveryLegalLengthUpTo255BytesIsAccepted) {
    for (int n : {1, 16, 32, 254, 255}) {
        SCOPED_TRACE(n);
        std::string record = Record(0, 0x0200, Bytes(n, 7));
        EXPECT_EQ(record.size(), 11u + 2u * static_cast<unsigned>(n));
        EXPECT_EQ(Check(record + "\n" + kEndRecord + "\n"), kPassed);
    }
}

TEST(CheckHexFile, ALineLongerThanTheLongestRecordIsRefusedNotCut) {
    // A legal 255-byte record with one more character: were it cut at the
    // longest record's length it would pass its checksum.
    std::string record = Record(0, 0, Bytes(255, 1));
    EXPECT_EQ(Check(record + "0\n"), kWrongFormat);
    EXPECT_EQ(Check(record + std::string(5000, '0') + "\n"), kWrongFormat);
    // Blanks after the checksum are allowed, anything else is not.
    EXPECT_EQ(Check(Record(0, 0, Bytes(2)) + " \n"), kPassed);
    EXPECT_EQ(Check(Record(0, 0, Bytes(2)) + " x\n"), kWrongFormat);
}

TEST(CheckHexFile, ARecordShorterThanItsLengthIsRefused) {
    std::string record = Record(0, 0, Bytes(16));
    EXPECT_EQ(Check(record.substr(0, record.size() - 2) + "\n"), kWrongFormat);
    EXPECT_EQ(Check(":10\n"), kWrongFormat);
    EXPECT_EQ(Check(":\n"), kWrongFormat);
}

TEST(CheckHexFile, DigitsThatAreNotHexadecimalAreRefused) {
    // 'G' in a data byte, in the length, in the address, in the type and in the checksum.
    std::string record = Record(0, 0x0040, Bytes(4, 0x30));
    for (std::size_t pos : {1u, 4u, 8u, 10u, 17u, 18u}) {
        SCOPED_TRACE(pos);
        std::string bad = record;
        bad[pos] = 'G';
        EXPECT_EQ(Check(bad + "\n"), kWrongFormat);
    }
    // A blank inside the data, and a sign that a number reader would skip.
    std::string blank = record;
    blank[9] = ' ';
    EXPECT_EQ(Check(blank + "\n"), kWrongFormat);
    std::string sign = record;
    sign[9] = '+';
    EXPECT_EQ(Check(sign + "\n"), kWrongFormat);
}

TEST(CheckHexFile, RecordTypesThatChangeNothingPass) {
    std::string end = std::string("\n") + kEndRecord + "\n";
    EXPECT_EQ(Check(Record(2, 0, {0, 0}) + "\n" + Record(0, 0, Bytes(4)) + end), kPassed);
    EXPECT_EQ(Check(Record(4, 0, {0, 0}) + "\n" + Record(0, 0, Bytes(4)) + end), kPassed);
    EXPECT_EQ(Check(Record(3, 0, {0, 0, 0, 0}) + end), kPassed);
    EXPECT_EQ(Check(Record(5, 0, {0, 0, 0x12, 0x34}) + end), kPassed);
}

TEST(CheckHexFile, AddressRecordsAreAcceptedUpTo16MbAndEepromDataIsNamed) {
    const std::string data = Record(0, 0, Bytes(4)) + "\n";
    const std::string end = std::string(kEndRecord) + "\n";
    EXPECT_EQ(Check(Record(4, 0, {0, 1}) + "\n" + data + end), kPassed);
    EXPECT_EQ(Check(Record(2, 0, {0x10, 0}) + "\n" + data + end), kPassed);
    EXPECT_EQ(Check(Record(2, 0, {0x01, 0}) + "\n" + data + end), kPassed);
    // The same bytes at one address under two bases are no conflict.
    EXPECT_EQ(Check(data + Record(4, 0, {0, 1}) + "\n" + Record(0, 0, Bytes(4, 7)) + "\n" + end),
              kPassed);
    // But under two forms of one base they are.
    EXPECT_EQ(Check(Record(4, 0, {0, 1}) + "\n" + data + Record(2, 0, {0x10, 0}) + "\n" +
                    Record(0, 0, Bytes(4, 7)) + "\n" + end)
                  .second,
              "The file gives two values for one address.");
    // EEPROM data of a combined image is named for what it is.
    EXPECT_EQ(Check(data + Record(4, 0, {0x00, 0x81}) + "\n").second,
              "EEPROM data (address 0x810000) in a flash file: write it from the .eep file.");
    // Refused even when it comes after data records.
    EXPECT_EQ(Check(data + Record(4, 0, {0x80, 0}) + "\n").second,
              "Data above 16 MB (record type 04) is not supported.");
}

TEST(CheckHexFile, UnknownTypesAreRefusedWithATextThatSaysSo) {
    EXPECT_EQ(Check(Record(0x06, 0, Bytes(2)) + "\n"),
              std::make_pair(1, std::string("Record type 06 is not supported.")));
    EXPECT_EQ(Check(Record(0xA5, 0, Bytes(2)) + "\n").second, "Record type A5 is not supported.");
    // An end record that carries data.
    EXPECT_EQ(Check(Record(1, 0, Bytes(2)) + "\n").second, "Record type 01 is not supported.");
    // An address record that does not hold exactly two bytes.
    EXPECT_EQ(Check(Record(4, 0, {0}) + "\n"), kWrongFormat);
    EXPECT_EQ(Check(Record(2, 0, {0, 0, 0}) + "\n"), kWrongFormat);
}

TEST(CheckHexFile, ALengthZeroRecordOfAnyTypeIsAnEndRecord) {
    EXPECT_EQ(Check(Record(0x04, 0, {}) + "\n"), kPassed);
    EXPECT_EQ(Check(Record(0x00, 0x1234, {}) + "\n"), kPassed);
}

TEST(CheckHexFile, AnFfByteIsRefused) {
    EXPECT_EQ(Check(Record(0, 0, Bytes(4)) + "\n\xFFrubbish\n"), kWrongFormat);
}

}  // namespace
}  // namespace ostrel::image
