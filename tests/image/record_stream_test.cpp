// The record reader the program-and-verify engine pulls data bytes from.
#include <gtest/gtest.h>

#include <string>
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

struct Streamed {
    int address;
    int type;
    std::vector<int> bytes;
};

struct StreamRun {
    std::vector<Streamed> records;
    RecordResult end = RecordResult::Record;
    std::vector<std::string> activity;
    std::string errorText;
    bool openAfterwards = false;
};

// Streams `content` as the engine does: every record, every byte, FinishRecord.
StreamRun Stream(const std::string& content) {
    ImageRig rig;
    rig.p.state.errorText.Assign("untouched");
    HexRecordStream stream(rig.p);
    StreamRun run;
    if (!stream.Open(rig.dir.Write("prog.hex", content))) {
        ADD_FAILURE() << "cannot open";
        return run;
    }
    for (int guard = 0; guard < 10000; ++guard) {
        HexRecord header;
        RecordResult result = stream.NextRecord(header);
        if (result != RecordResult::Record) {
            run.end = result;
            break;
        }
        Streamed record{header.address, header.type, {}};
        for (int i = 0; i < header.length; ++i)
            record.bytes.push_back(stream.NextDataByte());
        run.records.push_back(record);
        stream.FinishRecord();
    }
    run.activity = rig.Activity();
    run.errorText = rig.p.state.errorText.str();
    run.openAfterwards = stream.IsOpen();
    return run;
}

TEST(HexRecordStream, DeliversRecordsByteByByteUpToTheEndRecord) {
    StreamRun run =
        Stream(Record(0, 0x0000, Bytes(16)) + "\r\n" + Record(0, 0x0010, Bytes(3, 0xFD)) + "\r\n" +
               kEndRecord + "\r\n" + Record(0, 0x0100, Bytes(4)) + "\r\n");
    EXPECT_EQ(run.end, RecordResult::EndOfData);
    ASSERT_EQ(run.records.size(), 2u);
    EXPECT_EQ(run.records[0].address, 0x0000);
    EXPECT_EQ(run.records[0].type, 0);
    EXPECT_EQ(run.records[0].bytes, Bytes(16));
    EXPECT_EQ(run.records[1].address, 0x0010);
    EXPECT_EQ(run.records[1].bytes, (std::vector<int>{0xFD, 0xFE, 0xFF}));
    EXPECT_EQ(run.errorText, "untouched");
    EXPECT_TRUE(run.activity.empty());
}

TEST(HexRecordStream, EndRecordWithoutLineEndEndsTheData) {
    StreamRun run = Stream(Record(0, 0x0020, Bytes(2)) + "\n" + kEndRecord);
    EXPECT_EQ(run.end, RecordResult::EndOfData);
    EXPECT_EQ(run.records.size(), 1u);
}

TEST(HexRecordStream, ALengthZeroRecordOfAnyTypeEndsTheData) {
    StreamRun run = Stream(Record(0, 0, Bytes(2)) + "\n" + Record(0, 0x1234, {}) + "\n" +
                           Record(0, 0x0100, Bytes(2)) + "\n" + "rubbish");
    EXPECT_EQ(run.end, RecordResult::EndOfData);
    EXPECT_EQ(run.records.size(), 1u);
}

TEST(HexRecordStream, AFileWithoutEndRecordEndsAtTheEndOfTheFile) {
    StreamRun run = Stream(Record(0, 0, Bytes(2)) + "\n" + Record(0, 2, Bytes(2)) + "\n");
    EXPECT_EQ(run.end, RecordResult::EndOfFile);
    EXPECT_EQ(run.records.size(), 2u);
    // The last record without its line end.
    EXPECT_EQ(Stream(Record(0, 0, Bytes(2))).end, RecordResult::EndOfFile);
    EXPECT_EQ(Stream("").end, RecordResult::EndOfFile);
}

TEST(HexRecordStream, BlankLinesAndTrailingBlanksAreReadOver) {
    StreamRun run =
        Stream("\n" + Record(0, 0, Bytes(2)) + " \t\r\n\r\n" + Record(0, 2, Bytes(2)) + "\n  \n");
    EXPECT_EQ(run.end, RecordResult::EndOfFile);
    EXPECT_EQ(run.records.size(), 2u);
    EXPECT_TRUE(run.activity.empty());
}

TEST(HexRecordStream, TheOffendingCharacterIsPrintedAsASignedByte) {
    EXPECT_EQ(Stream("X").activity.back(), "fehllesung 0058");
    EXPECT_EQ(Stream("\x80").activity.back(), "fehllesung FFFFFF80");
    EXPECT_EQ(Stream("\x8F").activity.back(), "fehllesung FFFFFF8F");
    EXPECT_EQ(Stream("\xFE").activity.back(), "fehllesung FFFFFFFE");
    EXPECT_EQ(Stream(std::string("\0", 1)).activity.back(), "fehllesung 0000");
}

TEST(HexRecordStream, AnFfByteWhereARecordMustBeginIsAFormatError) {
    StreamRun run = Stream(Record(0, 0, Bytes(2)) + "\n\xFF" + Record(0, 2, Bytes(2)) + "\n");
    EXPECT_EQ(run.end, RecordResult::FormatError);
    EXPECT_EQ(run.records.size(), 1u);
    EXPECT_EQ(run.activity, (std::vector<std::string>{"Expected ':'", "fehllesung FFFFFFFF"}));
    EXPECT_EQ(run.errorText, "No Intel Int.8/MDS-Format\n");
}

TEST(HexRecordStream, NonHexDigitsFailTheRecordBeforeAnyOfItsBytesIsHandedOut) {
    std::string record = Record(0, 0x0040, Bytes(16));
    for (std::size_t pos : {2u, 5u, 8u, 9u, 40u, 42u}) {
        SCOPED_TRACE(pos);
        std::string bad = record;
        bad[pos] = 'g';
        StreamRun run = Stream(Record(0, 0, Bytes(2)) + "\n" + bad + "\n");
        EXPECT_EQ(run.end, RecordResult::FormatError);
        ASSERT_EQ(run.records.size(), 1u);  // only the good record before it
        EXPECT_EQ(run.activity, (std::vector<std::string>{"fehllesung 0067"}));
        EXPECT_EQ(run.errorText, "No Intel Int.8/MDS-Format\n");
        EXPECT_FALSE(run.openAfterwards);
    }
}

TEST(HexRecordStream, ARecordTheFileEndsInIsAFormatError) {
    std::string record = Record(0, 0, Bytes(16));
    StreamRun run = Stream(record.substr(0, 20));
    EXPECT_EQ(run.end, RecordResult::FormatError);
    EXPECT_TRUE(run.records.empty());
    EXPECT_EQ(run.activity, (std::vector<std::string>{"fehllesung FFFFFFFF"}));
    // A line end inside the record.
    StreamRun cut = Stream(record.substr(0, 20) + "\n" + record + "\n");
    EXPECT_EQ(cut.end, RecordResult::FormatError);
    EXPECT_EQ(cut.activity, (std::vector<std::string>{"fehllesung 000A"}));
}

TEST(HexRecordStream, ChecksumsAreNotCheckedHere) {
    std::string record = Record(0, 0x0010, {0x12, 0x34});
    record.replace(record.size() - 2, 2, "00");
    StreamRun run = Stream(record + "\n" + kEndRecord + "\n");
    EXPECT_EQ(run.end, RecordResult::EndOfData);
    ASSERT_EQ(run.records.size(), 1u);
    EXPECT_EQ(run.records[0].bytes, (std::vector<int>{0x12, 0x34}));
}

TEST(HexRecordStream, LongestRecordsStreamCompletely) {
    StreamRun run = Stream(Record(0, 0x0000, Bytes(255, 0x10)) + "\n" +
                           Record(0, 0x00FF, Bytes(255, 0x20)) + "\n" + kEndRecord + "\n");
    EXPECT_EQ(run.end, RecordResult::EndOfData);
    ASSERT_EQ(run.records.size(), 2u);
    EXPECT_EQ(run.records[0].bytes, Bytes(255, 0x10));
    EXPECT_EQ(run.records[1].address, 0x00FF);
    EXPECT_EQ(run.records[1].bytes, Bytes(255, 0x20));
}

TEST(HexRecordStream, AddressRecordsWithValueZeroAndStartAddressesChangeNothing) {
    StreamRun run = Stream(Record(2, 0, {0, 0}) + "\n" + Record(0, 0x0100, Bytes(2)) + "\n" +
                           Record(4, 0, {0, 0}) + "\n" + Record(3, 0, {0, 0, 0, 0}) + "\n" +
                           Record(5, 0, {0, 0, 0, 0x60}) + "\n" + Record(0, 0x0200, Bytes(2, 9)) +
                           "\n" + kEndRecord + "\n");
    EXPECT_EQ(run.end, RecordResult::EndOfData);
    // Only the data records are handed out, each at its own address.
    ASSERT_EQ(run.records.size(), 2u);
    EXPECT_EQ(run.records[0].address, 0x0100);
    EXPECT_EQ(run.records[0].type, 0);
    EXPECT_EQ(run.records[1].address, 0x0200);
    EXPECT_EQ(run.records[1].bytes, Bytes(2, 9));
    EXPECT_EQ(run.errorText, "untouched");
}

TEST(HexRecordStream, AddressRecordsSetTheBaseOfTheDataAfterThem) {
    const std::string data = Record(0, 0, Bytes(2)) + "\n";
    const std::string tail = Record(0, 0x0010, Bytes(2, 0x55)) + "\n";
    auto Line = [](const std::string& record) { return record + "\n"; };
    struct Case {
        std::string name;
        std::string content;
        std::vector<int> addresses;  // of the records handed out
        std::string errorText;       // "untouched" when the stream went to its end
    };
    const std::vector<Case> cases = {
        // avr-objcopy: a segment inside 64 KB, and the segments at 64 and 128 KB.
        {"segment 0100", Line(Record(2, 0, {0x01, 0x00})) + tail, {0x1010}, "untouched"},
        {"segment 1000", data + Line(Record(2, 0, {0x10, 0x00})) + tail, {0, 0x10010}, "untouched"},
        {"segment 2000", Line(Record(2, 0, {0x20, 0x00})) + tail, {0x20010}, "untouched"},
        {"linear 0001", data + Line(Record(4, 0, {0, 1})) + tail, {0, 0x10010}, "untouched"},
        {"linear 0003", Line(Record(4, 0, {0, 3})) + tail, {0x30010}, "untouched"},
        // A later record sets the base anew; back to 0 as well.
        {"linear back to 0",
         Line(Record(4, 0, {0, 1})) + tail + Line(Record(4, 0, {0, 0})) + tail,
         {0x10010, 0x0010},
         "untouched"},
        {"segment after linear",
         Line(Record(4, 0, {0, 2})) + tail + Line(Record(2, 0, {0x10, 0})) + tail,
         {0x20010, 0x10010},
         "untouched"},
        // A combined image's EEPROM, 16 MB and more, unknown types and
        // malformed address records stop before any data after them.
        {"EEPROM at 0x810000",
         data + Line(Record(4, 0, {0x00, 0x81})) + tail,
         {0},
         std::string(kEepromInFlashText) + "\n"},
        {"linear 0100",
         data + Line(Record(4, 0, {0x01, 0x00})) + tail,
         {0},
         "Data above 16 MB (record type 04) is not supported.\n"},
        {"type 06",
         Line(Record(0x06, 0, Bytes(2))) + tail,
         {},
         "Record type 06 is not supported.\n"},
        {"three-byte address",
         Line(Record(4, 0, {0, 0, 0})) + tail,
         {},
         "No Intel Int.8/MDS-Format\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StreamRun run = Stream(c.content + kEndRecord + "\n");
        std::vector<int> addresses;
        for (const Streamed& r : run.records)
            addresses.push_back(r.address);
        EXPECT_EQ(addresses, c.addresses);
        EXPECT_EQ(run.errorText, c.errorText);
        const bool refused = c.errorText != "untouched";
        EXPECT_EQ(run.end, refused ? RecordResult::FormatError : RecordResult::EndOfData);
        EXPECT_EQ(run.openAfterwards, !refused);
    }
}

TEST(HexRecordStream, DataBytesStopAtTheRecordsLength) {
    ImageRig rig;
    HexRecordStream stream(rig.p);
    ASSERT_TRUE(stream.Open(rig.dir.Write("p.hex", Record(0, 0, {0xAB, 0xCD}) + "\n")));
    HexRecord header;
    ASSERT_EQ(stream.NextRecord(header), RecordResult::Record);
    EXPECT_EQ(header.length, 2);
    EXPECT_EQ(stream.NextDataByte(), 0xAB);
    EXPECT_EQ(stream.NextDataByte(), 0xCD);
    EXPECT_EQ(stream.NextDataByte(), -1);
    stream.FinishRecord();
    EXPECT_EQ(stream.NextRecord(header), RecordResult::EndOfFile);
    stream.Close();
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_FALSE(stream.Open(rig.dir.File("missing.hex")));
}

TEST(HexRecordStream, ReadOverSegmentValueDropsTheRestOfTheRecord) {
    ImageRig rig;
    HexRecordStream stream(rig.p);
    ASSERT_TRUE(stream.Open(rig.dir.Write(
        "p.hex", Record(0, 0, {1, 2, 3}) + "\n" + Record(0, 8, {4}) + "\n" + kEndRecord + "\n")));
    HexRecord header;
    ASSERT_EQ(stream.NextRecord(header), RecordResult::Record);
    EXPECT_EQ(stream.NextDataByte(), 1);
    stream.ReadOverSegmentValue();
    EXPECT_EQ(stream.NextDataByte(), -1);
    stream.FinishRecord();
    ASSERT_EQ(stream.NextRecord(header), RecordResult::Record);
    EXPECT_EQ(header.address, 8);
    EXPECT_EQ(stream.NextDataByte(), 4);
}

}  // namespace
}  // namespace ostrel::image
