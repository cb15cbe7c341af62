// The example programs' files, as avr-gcc and avr-objcopy made them, pass
// the check and stream completely; the script example is well formed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
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

using testing::ImageRig;
using testing::ReadFileBytes;
using testing::SourcePath;

std::vector<std::string> ExampleFiles(std::string_view extension) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(SourcePath("examples"))) {
        if (entry.path().extension() == extension)
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The data bytes of a file by address, read with a plain parser of its own.
std::map<int, int> ParseIndependently(const std::string& text) {
    std::map<int, int> bytes;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() < 11 || line[0] != ':')
            continue;
        int length = std::stoi(line.substr(1, 2), nullptr, 16);
        int address = std::stoi(line.substr(3, 4), nullptr, 16);
        int type = std::stoi(line.substr(7, 2), nullptr, 16);
        if (type != 0)
            continue;
        for (int i = 0; i < length; ++i)
            bytes[address + i] = std::stoi(line.substr(9 + 2 * i, 2), nullptr, 16);
    }
    return bytes;
}

std::map<int, int> StreamAll(const std::string& path, RecordResult* end) {
    ImageRig rig;
    HexRecordStream stream(rig.p);
    std::map<int, int> bytes;
    *end = RecordResult::Record;
    if (!stream.Open(path))
        return bytes;
    HexRecord header;
    RecordResult result;
    while ((result = stream.NextRecord(header)) == RecordResult::Record) {
        for (int i = 0; i < header.length; ++i)
            bytes[header.address + i] = stream.NextDataByte();
        stream.FinishRecord();
    }
    *end = result;
    return bytes;
}

TEST(Examples, TheBuiltFilesAreThere) {
    EXPECT_GE(ExampleFiles(".hex").size(), 6u);
    EXPECT_GE(ExampleFiles(".eep").size(), 2u);
    EXPECT_GE(ExampleFiles(".scr").size(), 1u);
}

TEST(Examples, EveryFilePassesTheCheckAndStreamsCompletely) {
    auto files = ExampleFiles(".hex");
    auto eeps = ExampleFiles(".eep");
    files.insert(files.end(), eeps.begin(), eeps.end());
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        ImageRig rig;
        rig.p.state.currentFileName.Assign(file);
        EXPECT_EQ(CheckHexFile(rig.p), 0) << rig.p.state.errorText.str();
        RecordResult end;
        std::map<int, int> streamed = StreamAll(file, &end);
        EXPECT_EQ(end, RecordResult::EndOfData);
        std::map<int, int> expected = ParseIndependently(ReadFileBytes(file));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(streamed, expected);
        // Contiguous from address 0, as the linker places the sections.
        EXPECT_EQ(expected.begin()->first, 0);
        EXPECT_EQ(expected.rbegin()->first, static_cast<int>(expected.size()) - 1);
    }
}

TEST(Examples, FlashImagesBeginWithTheResetVectorLowByteFirst) {
    for (const std::string& file : ExampleFiles(".hex")) {
        SCOPED_TRACE(file);
        RecordResult end;
        std::map<int, int> bytes = StreamAll(file, &end);
        ASSERT_GE(bytes.size(), 2u);
        // The reset vector is an RJMP (1100 kkkk kkkk kkkk): its high byte,
        // the second in the file, is C0 to CF.
        EXPECT_EQ(bytes[1] & 0xF0, 0xC0);
        EXPECT_LE(bytes.size(), 2048u);  // fits the AT90S2313 too
    }
}

TEST(Examples, EepromFilesHoldTheCounterProgramsTag) {
    for (const std::string& file : ExampleFiles(".eep")) {
        SCOPED_TRACE(file);
        RecordResult end;
        std::map<int, int> bytes = StreamAll(file, &end);
        std::string text;
        for (const auto& [address, value] : bytes)
            text.push_back(static_cast<char>(value));
        EXPECT_NE(text.find(std::string("eecount\0", 8)), std::string::npos);
        EXPECT_LE(bytes.size(), 128u);
    }
}

TEST(Examples, ScriptLinesAreFourHexBytesOrComments) {
    for (const std::string& file : ExampleFiles(".scr")) {
        SCOPED_TRACE(file);
        std::string text = ReadFileBytes(file);
        std::size_t start = 0;
        int instructions = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            std::string line = text.substr(start, end - start);
            start = end == std::string::npos ? text.size() : end + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                break;  // an empty line ends a script
            if (line[0] == ';')
                continue;
            ASSERT_GE(line.size(), 11u) << line;
            for (int b = 0; b < 4; ++b) {
                EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(line[3 * b])) &&
                            std::isxdigit(static_cast<unsigned char>(line[3 * b + 1])))
                    << line;
                if (b < 3) {
                    EXPECT_EQ(line[3 * b + 2], ' ') << line;
                }
            }
            ++instructions;
        }
        EXPECT_GE(instructions, 1);
    }
}

TEST(Examples, TheAtmega8ScriptWritesAndReadsBackFuseLowE4) {
    std::string text = ReadFileBytes(SourcePath("examples/hello-atmega8.scr"));
    std::size_t write = text.find("\nAC A0 00 E4");
    std::size_t read = text.find("\n50 00 00 E4");
    ASSERT_NE(write, std::string::npos);
    ASSERT_NE(read, std::string::npos);
    EXPECT_LT(write, read);
    // Nothing before them ends the script early.
    EXPECT_EQ(text.substr(0, read).find("\n\n"), std::string::npos);
    EXPECT_EQ(text.substr(0, read).find("\n\r\n"), std::string::npos);
}

}  // namespace
}  // namespace ostrel::image
