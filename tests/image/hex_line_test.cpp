// The line reader of hex files and dumps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/dump.h"
#include "image/file_names.h"
#include "image/hex_check.h"
#include "image/hex_line.h"
#include "image/hex_records.h"
#include "tests/support/temp_dir.h"

namespace ostrel::image {
namespace {

using testing::TempDir;

struct Read {
    int result;
    std::string line;
};

// Every ReadHexLine result up to and including the first end of file.
std::vector<Read> ReadAll(const std::string& content) {
    TempDir dir;
    TextReader reader(dir.Write("lines.hex", content));
    HexLine line;
    std::vector<Read> out;
    for (int guard = 0; guard < 100; ++guard) {
        int result = ReadHexLine(reader, line);
        out.push_back({result, line.str()});
        if (result == kEndOfFile)
            break;
    }
    return out;
}

TEST(ReadHexLine, LineEndsLfCrLfAndLoneCrAllEndALine) {
    auto reads = ReadAll(":AA\n:BB\r\n:CC\r:DD\n");
    ASSERT_EQ(reads.size(), 5u);
    EXPECT_EQ(reads[0].line, ":AA");
    EXPECT_EQ(reads[1].line, ":BB");
    EXPECT_EQ(reads[2].line, ":CC");
    EXPECT_EQ(reads[3].line, ":DD");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(reads[i].result, kLineRead);
    EXPECT_EQ(reads[4].result, kEndOfFile);
}

TEST(ReadHexLine, EmptyLinesAreDeliveredAsEmpty) {
    auto reads = ReadAll("\n\r\n:AA\n");
    ASSERT_EQ(reads.size(), 4u);
    EXPECT_EQ(reads[0].result, kLineRead);
    EXPECT_EQ(reads[0].line, "");
    EXPECT_EQ(reads[1].line, "");
    EXPECT_EQ(reads[2].line, ":AA");
}

TEST(ReadHexLine, LastLineWithoutLineEndIsDelivered) {
    auto reads = ReadAll(":AA\n:00000001FF");
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].line, ":AA");
    EXPECT_EQ(reads[1].result, kLineRead);
    EXPECT_EQ(reads[1].line, ":00000001FF");
    EXPECT_EQ(reads[2].result, kEndOfFile);
}

TEST(ReadHexLine, TrailingBlanksAndTabsAreDropped) {
    auto reads = ReadAll(":AA \t \r\n \t\n: B\t\n");
    ASSERT_EQ(reads.size(), 4u);
    EXPECT_EQ(reads[0].line, ":AA");
    EXPECT_EQ(reads[1].line, "");
    EXPECT_EQ(reads[2].line, ": B");
}

TEST(ReadHexLine, NulOrFfAnywhereIsABadByteWithItsColumn) {
    struct Case {
        std::string content;
        int lineIndex;  // which read meets the byte
        int byte;
        int column;
    };
    const Case cases[] = {
        {std::string(":AA\n\0:BB\n", 9), 1, 0x00, 1},
        {":AA\n\xFF:BB\n", 1, 0xFF, 1},
        {":AA\n:B\xFF"
         "B\n:CC\n",
         1, 0xFF, 3},
        {std::string("\xFF\xFE:\0\n", 5), 0, 0xFF, 1},  // a UTF-16 text
        {":AA  \xFF\n", 0, 0xFF, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        TempDir dir;
        TextReader reader(dir.Write("lines.hex", c.content));
        HexLine line;
        LineEnding ending;
        int result = kLineRead;
        for (int i = 0; i <= c.lineIndex; ++i)
            result = ReadHexLine(reader, line, &ending);
        EXPECT_EQ(result, kBadByte);
        EXPECT_EQ(ending.byte, c.byte);
        EXPECT_EQ(ending.column, c.column);
    }
    // Other bytes above 0x7F are ordinary characters.
    auto high = ReadAll(":A\x80\n");
    ASSERT_EQ(high.size(), 2u);
    EXPECT_EQ(high[0].line, ":A\x80");
}

TEST(ReadHexLine, TheLongestLegalRecordFitsAndOneCharacterMoreIsRefused) {
    std::string longest = ":" + std::string(kMaxHexLine - 1, 'F');
    ASSERT_EQ(longest.size(), 521u);
    auto reads = ReadAll(longest + "\n" + longest + "F\n:AA\n");
    ASSERT_EQ(reads.size(), 4u);
    EXPECT_EQ(reads[0].result, kLineRead);
    EXPECT_EQ(reads[0].line, longest);
    EXPECT_EQ(reads[1].result, kLineTooLong);
    // The rest of the long line was read over: the next line is whole.
    EXPECT_EQ(reads[2].result, kLineRead);
    EXPECT_EQ(reads[2].line, ":AA");
    // Trailing blanks do not count against the limit.
    auto blanks = ReadAll(longest + std::string(600, ' ') + "\n");
    EXPECT_EQ(blanks[0].result, kLineRead);
    EXPECT_EQ(blanks[0].line, longest);
}

TEST(ReadHexLine, AHugeLineNeverOverrunsAndIsReadOver) {
    std::string huge(100000, '7');
    auto reads = ReadAll(huge + "\r\n:AA\n");
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].result, kLineTooLong);
    EXPECT_EQ(reads[0].line.size(), kMaxHexLine);
    EXPECT_EQ(reads[1].line, ":AA");
}

}  // namespace
}  // namespace ostrel::image
