// The snapshot of the last file written and the difference file of the quick write.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "image/dump.h"
#include "image/file_names.h"
#include "image/hex_check.h"
#include "image/hex_line.h"
#include "image/hex_records.h"
#include "image/readback.h"
#include "tests/image/image_test_util.h"

namespace ostrel::image {
namespace {

using testing::Bytes;
using testing::ImageRig;
using testing::kEndRecord;
using testing::Record;

TEST(SiblingFilePath, ReplacesTheLastThreeCharacters) {
    ImageRig rig;
    rig.p.state.currentFileName.Assign("/data/blink.hex");
    EXPECT_EQ(SiblingFilePath(rig.p, "tmp"), "/data/blink.tmp");
    EXPECT_EQ(SiblingFilePath(rig.p, "scr"), "/data/blink.scr");
    rig.p.state.currentFileName.Assign("blink.eep");
    EXPECT_EQ(SiblingFilePath(rig.p, "dif"), rig.dir.File("blink.dif"));
    rig.p.state.currentFileName.Assign("ab");
    EXPECT_EQ(SiblingFilePath(rig.p, "tmp"), "");
}

TEST(SaveSnapshot, CopiesLineForLineWithCrLfLineEnds) {
    ImageRig rig;
    rig.UseFile("prog.hex", ":AA\n:BB\r\n\n:CC");
    ASSERT_EQ(SaveSnapshot(rig.p), kFilesOk);
    EXPECT_EQ(rig.dir.Read("prog.tmp"), ":AA\r\n:BB\r\n\r\n:CC");
    // A second snapshot replaces the first.
    rig.UseFile("prog.hex", ":DD\r\n");
    ASSERT_EQ(SaveSnapshot(rig.p), kFilesOk);
    EXPECT_EQ(rig.dir.Read("prog.tmp"), ":DD\r\n");
}

TEST(SaveSnapshot, CopiesLongLinesAndOddBytesWhole) {
    ImageRig rig;
    std::string line = Record(0, 0, Bytes(255)) + std::string(3000, 'x') + "\xFF\x80";
    rig.UseFile("prog.hex", line + "\r\n" + std::string(10000, '\n'));
    ASSERT_EQ(SaveSnapshot(rig.p), kFilesOk);
    std::string expected = line + "\r\n";
    for (int i = 0; i < 10000; ++i)
        expected += "\r\n";
    EXPECT_EQ(rig.dir.Read("prog.tmp"), expected);
}

TEST(SaveSnapshot, FailuresTellInputFromOutput) {
    ImageRig rig;
    rig.p.state.currentFileName.Assign(rig.dir.File("missing.hex"));
    EXPECT_EQ(SaveSnapshot(rig.p), kInputFileFailed);
    rig.UseFile("prog.hex", ":AA\n");
    std::filesystem::create_directory(rig.dir.File("prog.tmp"));  // in the way
    EXPECT_EQ(SaveSnapshot(rig.p), kOutputFileFailed);
}

TEST(WriteDifferenceFile, IdenticalFilesGiveOnlyTheEndRecord) {
    ImageRig rig;
    std::string file = Record(0, 0, Bytes(16)) + "\r\n" + kEndRecord + "\r\n";
    rig.UseFile("prog.hex", file);
    ASSERT_EQ(SaveSnapshot(rig.p), kFilesOk);
    ASSERT_EQ(WriteDifferenceFile(rig.p), kFilesOk);
    EXPECT_EQ(rig.dir.Read("prog.dif"), ":00000001FF");
}

TEST(WriteDifferenceFile, ListsTheChangedLinesInFileOrder) {
    ImageRig rig;
    std::string a0 = Record(0, 0x00, Bytes(16));
    std::string a1 = Record(0, 0x10, Bytes(16, 0x10));
    std::string a2 = Record(0, 0x20, Bytes(16, 0x20));
    std::string b1 = Record(0, 0x10, Bytes(16, 0x11));
    std::string b2 = Record(0, 0x20, Bytes(16, 0x21));
    rig.dir.Write("prog.tmp", a0 + "\r\n" + a1 + "\r\n" + a2 + "\r\n" + kEndRecord + "\r\n");
    rig.UseFile("prog.hex", a0 + "\n" + b1 + "\n" + b2 + "\n" + kEndRecord + "\n");
    ASSERT_EQ(WriteDifferenceFile(rig.p), kFilesOk);
    EXPECT_EQ(rig.dir.Read("prog.dif"), b1 + "\r\n" + b2 + "\r\n" + kEndRecord);
}

TEST(WriteDifferenceFile, LinesBeyondTheEndOfTheSnapshotAreNotWritten) {
    ImageRig rig;
    std::string a0 = Record(0, 0x00, Bytes(16));
    std::string a1 = Record(0, 0x10, Bytes(16, 0x10));
    rig.dir.Write("prog.tmp", a0 + "\r\n");
    rig.UseFile("prog.hex", a0 + "\r\n" + a1 + "\r\n" + kEndRecord + "\r\n");
    ASSERT_EQ(WriteDifferenceFile(rig.p), kFilesOk);
    EXPECT_EQ(rig.dir.Read("prog.dif"), kEndRecord);
}

TEST(WriteDifferenceFile, LongLinesAreComparedInPiecesOf79Characters) {
    ImageRig rig;
    // 32-byte records are 75 characters and compare whole; a 64-byte record
    // (139 characters) is compared as a piece of 79 and the rest.
    std::string shortOld = Record(0, 0x00, Bytes(32));
    std::string shortNew = Record(0, 0x00, Bytes(32, 1));
    std::string longOld = Record(0, 0x20, Bytes(64));
    std::string longNew = longOld;
    longNew[120] = longNew[120] == 'F' ? 'E' : 'F';  // a change in the second piece
    rig.dir.Write("prog.tmp", shortOld + "\r\n" + longOld + "\r\n");
    rig.UseFile("prog.hex", shortNew + "\r\n" + longNew + "\r\n");
    ASSERT_EQ(WriteDifferenceFile(rig.p), kFilesOk);
    EXPECT_EQ(rig.dir.Read("prog.dif"),
              shortNew + "\r\n" + longNew.substr(79) + "\r\n" + kEndRecord);
}

// Changed records above 64 KB carry the upper address the file gave them,
// once for each run of them; below 64 KB the changed lines stand alone.
TEST(WriteDifferenceFile, ChangedRecordsAbove64KbCarryTheirUpperAddress) {
    const std::string low = Record(0, 0x10, Bytes(16));
    const std::string lowNew = Record(0, 0x10, Bytes(16, 1));
    const std::string high = Record(0, 0x20, Bytes(16));
    const std::string highNew = Record(0, 0x20, Bytes(16, 2));
    const std::string high2 = Record(0, 0x30, Bytes(16));
    const std::string high2New = Record(0, 0x30, Bytes(16, 3));
    const std::string up1 = Record(4, 0, {0x00, 0x01});
    const std::string up2 = Record(4, 0, {0x00, 0x02});
    const std::string seg = Record(2, 0, {0x10, 0x00});  // 0x10000 as a segment
    struct Case {
        std::vector<std::string> before, after;
        std::string dif;
    };
    const Case cases[] = {
        {{low, high}, {lowNew, high}, lowNew + "\r\n"},
        {{low, up1, high, high2},
         {low, up1, highNew, high2New},
         up1 + "\r\n" + highNew + "\r\n" + high2New + "\r\n"},
        {{low, up1, high, up2, high2},
         {lowNew, up1, highNew, up2, high2New},
         lowNew + "\r\n" + up1 + "\r\n" + highNew + "\r\n" + up2 + "\r\n" + high2New + "\r\n"},
        {{low, seg, high}, {low, seg, highNew}, seg + "\r\n" + highNew + "\r\n"},
        {{low, up1, high}, {low, up2, highNew}, up2 + "\r\n" + highNew + "\r\n"},
        {{up1, high, Record(4, 0, {0, 0}), low},
         {up1, high, Record(4, 0, {0, 0}), lowNew},
         lowNew + "\r\n"},  // nothing above was written: no address to undo
    };
    for (const Case& c : cases) {
        ImageRig rig;
        std::string before, after;
        for (const std::string& line : c.before)
            before += line + "\r\n";
        for (const std::string& line : c.after)
            after += line + "\n";
        rig.dir.Write("prog.tmp", before + kEndRecord + "\r\n");
        rig.UseFile("prog.hex", after + kEndRecord + "\n");
        ASSERT_EQ(WriteDifferenceFile(rig.p), kFilesOk);
        EXPECT_EQ(rig.dir.Read("prog.dif"), c.dif + kEndRecord) << after;
    }
}

TEST(WriteDifferenceFile, FailuresTellInputFromOutput) {
    ImageRig rig;
    rig.p.state.currentFileName.Assign(rig.dir.File("missing.hex"));
    EXPECT_EQ(WriteDifferenceFile(rig.p), kInputFileFailed);
    rig.UseFile("prog.hex", ":AA\n");
    EXPECT_EQ(WriteDifferenceFile(rig.p), kInputFileFailed);  // no snapshot
    rig.dir.Write("prog.tmp", ":AA\n");
    std::filesystem::create_directory(rig.dir.File("prog.dif"));
    EXPECT_EQ(WriteDifferenceFile(rig.p), kOutputFileFailed);
}

}  // namespace
}  // namespace ostrel::image
