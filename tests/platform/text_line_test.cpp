// The line reader shared by the device file, the scripts and the line count.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/text_line.h"
#include "tests/support/fixture.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

using text::kMaxLineLength;
using text::LineWasCut;
using text::ReadTextLine;

struct ReadResult {
    std::vector<std::string> lines;  // every line read with result 0
    std::vector<bool> cut;           // LineWasCut after each of them
    std::string tail;                // lineBuffer after the reading stopped
    bool tailCut = false;
    int stop = 0;  // the result that stopped it
};

// Reads a file with the given bytes to its end, line by line.
ReadResult ReadAll(std::string_view content) {
    TempDir dir;
    std::string path = dir.Write("text.txt", content);
    RecordingRig rig;
    TextReader reader(path);
    EXPECT_TRUE(reader.IsOpen());
    ReadResult result;
    // A file of n bytes holds at most n + 1 lines: a guard against a reader that never stops.
    for (std::size_t guard = 0; guard <= content.size() + 1; ++guard) {
        if (int r = ReadTextLine(rig.p.state.lineBuffer, reader); r != 0) {
            result.stop = r;
            result.tail = rig.p.state.lineBuffer.str();
            result.tailCut = LineWasCut(rig.p.state.lineBuffer);
            return result;
        }
        result.lines.push_back(rig.p.state.lineBuffer.str());
        result.cut.push_back(LineWasCut(rig.p.state.lineBuffer));
    }
    ADD_FAILURE() << "the reader did not stop";
    return result;
}

using Lines = std::vector<std::string>;

TEST(ReadTextLine, LfCrLfAndLoneCrAllEndALine) {
    const Lines expected{"one", "two", "three"};
    EXPECT_EQ(ReadAll("one\ntwo\nthree\n").lines, expected);
    EXPECT_EQ(ReadAll("one\r\ntwo\r\nthree\r\n").lines, expected);
    EXPECT_EQ(ReadAll("one\rtwo\rthree\r").lines, expected);
    EXPECT_EQ(ReadAll("one\r\ntwo\rthree\n").lines, expected);
    // CR CR LF: a lone CR, then a CR LF pair, so an empty line between.
    EXPECT_EQ(ReadAll("one\r\r\ntwo\n").lines, (Lines{"one", "", "two"}));
    // LF CR: two line ends.
    EXPECT_EQ(ReadAll("one\n\rtwo\n").lines, (Lines{"one", "", "two"}));
}

TEST(ReadTextLine, EmptyLinesAreLinesAndTheEndLeavesAnEmptyBuffer) {
    ReadResult r = ReadAll("\n\nx\n\n");
    EXPECT_EQ(r.lines, (Lines{"", "", "x", ""}));
    EXPECT_EQ(r.tail, "");
    EXPECT_TRUE(ReadAll("").lines.empty());
}

TEST(ReadTextLine, UnterminatedLastLineStaysInTheBufferWithMinusOne) {
    ReadResult r = ReadAll("first\nlast words");
    EXPECT_EQ(r.lines, (Lines{"first"}));
    EXPECT_EQ(r.tail, "last words");
    EXPECT_FALSE(r.tailCut);
    // A lone CR at the very end is a line end.
    r = ReadAll("first\nlast\r");
    EXPECT_EQ(r.lines, (Lines{"first", "last"}));
    EXPECT_EQ(r.tail, "");
}

TEST(ReadTextLine, NulAndFfStopAnywhereAndAreToldFromTheEnd) {
    using namespace std::string_literals;
    struct Case {
        std::string content;
        Lines lines;
        std::string tail;
        int stop;
    };
    const Case cases[] = {
        {"a\n\0b\nc\n"s, {"a"}, "", text::kNulByte},
        {"ab\0cd\nef\n"s, {}, "ab", text::kNulByte},
        {"a\n\xFF"s + "b\n", {"a"}, "", text::kFfByte},
        {"a\nbc\xFF"s + "de\nfg\n", {"a"}, "bc", text::kFfByte},
        {"a\nbc"s, {"a"}, "bc", text::kEndOfFile},
        {"a\n"s, {"a"}, "", text::kEndOfFile},
    };
    for (const Case& c : cases) {
        ReadResult r = ReadAll(c.content);
        EXPECT_EQ(r.lines, c.lines) << c.content;
        EXPECT_EQ(r.tail, c.tail) << c.content;
        EXPECT_EQ(r.stop, c.stop) << c.content;
    }
    EXPECT_TRUE(text::IsBinaryStop(text::kNulByte));
    EXPECT_FALSE(text::IsBinaryStop(text::kEndOfFile));
    EXPECT_EQ(text::BinaryStopByte(text::kFfByte), 0xFF);
    EXPECT_EQ(text::BinaryStopByte(text::kNulByte), 0x00);
}

TEST(ReadTextLine, OtherHighBytesAreText) {
    ReadResult r;
    // Other high bytes are ordinary characters.
    r = ReadAll("\xFE\x80\x01\n");
    EXPECT_EQ(r.lines, (Lines{"\xFE\x80\x01"}));
}

TEST(ReadTextLine, LongLinesKeepTheirFirst98CharactersAndAreMarkedCut) {
    std::string exact(kMaxLineLength, 'x');
    std::string over = std::string(kMaxLineLength, 'y') + "Z";
    std::string huge(10000, 'q');
    ReadResult r = ReadAll(exact + "\n" + over + "\r\n" + huge + "\rnext\n");
    ASSERT_EQ(r.lines.size(), 4u);
    EXPECT_EQ(r.lines[0], exact);
    EXPECT_FALSE(r.cut[0]);
    EXPECT_EQ(r.lines[1], std::string(kMaxLineLength, 'y'));
    EXPECT_TRUE(r.cut[1]);
    EXPECT_EQ(r.lines[2], std::string(kMaxLineLength, 'q'));
    EXPECT_TRUE(r.cut[2]);
    // The line after a cut one starts at the real line end, and is not marked.
    EXPECT_EQ(r.lines[3], "next");
    EXPECT_FALSE(r.cut[3]);

    r = ReadAll(std::string(200, 'w'));
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(r.tail, std::string(kMaxLineLength, 'w'));
    EXPECT_TRUE(r.tailCut);
}

TEST(ReadTextLine, BufferIsClearedBeforeEachLine) {
    TempDir dir;
    std::string path = dir.Write("t.txt", std::string(60, 'a') + "\nbc\n");
    RecordingRig rig;
    rig.p.state.lineBuffer.Assign("left over from before");
    TextReader reader(path);
    ASSERT_EQ(ReadTextLine(rig.p.state.lineBuffer, reader), 0);
    ASSERT_EQ(ReadTextLine(rig.p.state.lineBuffer, reader), 0);
    EXPECT_EQ(rig.p.state.lineBuffer.view(), "bc");
    EXPECT_EQ(rig.p.state.lineBuffer.at(2), '\0');
    EXPECT_EQ(rig.p.state.lineBuffer.at(50), '\0');
    EXPECT_EQ(ReadTextLine(rig.p.state.lineBuffer, reader), -1);
    EXPECT_TRUE(rig.p.state.lineBuffer.empty());
    // Reading on after the end stays at the end.
    EXPECT_EQ(ReadTextLine(rig.p.state.lineBuffer, reader), -1);
}

TEST(ReadTextLine, RandomLinesOfAnyLengthComeBackCutAt98) {
    std::mt19937 gen(20240611);
    std::uniform_int_distribution<int> length(0, 250);
    std::uniform_int_distribution<int> byte(1, 0xFE);
    std::uniform_int_distribution<int> ending(0, 2);
    std::string content;
    Lines expected;
    std::vector<bool> expectedCut;
    bool lastEndedWithCr = false;
    for (int i = 0; i < 400; ++i) {
        std::string line;
        int n = length(gen);
        while (static_cast<int>(line.size()) < n) {
            char c = static_cast<char>(byte(gen));
            if (c != '\n' && c != '\r')
                line.push_back(c);
        }
        int e = ending(gen);
        // A lone CR, then an empty line ended by LF, would read as one CR LF pair.
        if (e == 0 && lastEndedWithCr && line.empty())
            e = 1;
        content += line;
        content += e == 0 ? "\n" : e == 1 ? "\r\n" : "\r";
        lastEndedWithCr = e == 2;
        expectedCut.push_back(line.size() > kMaxLineLength);
        expected.push_back(line.substr(0, kMaxLineLength));
    }
    ReadResult r = ReadAll(content);
    EXPECT_EQ(r.lines, expected);
    EXPECT_EQ(r.cut, expectedCut);
}

TEST(ReadTextLine, BinaryGarbageEndsWithoutOverrun) {
    std::mt19937 gen(77);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20; ++round) {
        std::string content;
        for (int i = 0; i < 4096; ++i)
            content.push_back(static_cast<char>(byte(gen)));
        ReadResult r = ReadAll(content);
        for (const auto& line : r.lines) {
            EXPECT_LE(line.size(), kMaxLineLength);
            EXPECT_EQ(line.find_first_of(std::string("\n\r\0", 3)), std::string::npos);
        }
        EXPECT_LE(r.tail.size(), kMaxLineLength);
        // Reading stops at the first 0xFF at the latest: no more lines than
        // line ends before it.
        std::string before = content.substr(0, content.find('\xFF'));
        std::size_t ends = 0;
        for (char c : before)
            ends += (c == '\n' || c == '\r' || c == '\0') ? 1 : 0;
        EXPECT_LE(r.lines.size(), ends);
    }
}

}  // namespace
}  // namespace ostrel::testing
