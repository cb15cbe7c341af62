#include "image/hex_line.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"
#include "platform/text_util.h"

namespace ostrel::image {

namespace {
bool IsLineEnd(int c) {
    return c == '\n' || c == '\r';
}
}  // namespace

int ReadHexLine(TextReader& reader, HexLine& line, LineEnding* ending) {
    LineEnding local;
    LineEnding& end = ending ? *ending : local;
    end = LineEnding{};
    line.Clear();
    int count = 0;         // characters of the line read so far
    int lastNonBlank = 0;  // characters up to and including the last one that is no blank or tab
    int c = reader.Get();
    if (c == -1)
        return kEndOfFile;
    for (;; c = reader.Get()) {
        if (c == -1 || IsLineEnd(c)) {
            end.byte = c;
            break;
        }
        if (c == 0x00 || c == 0xFF) {
            end.byte = c;
            end.column = count + 1;
            return kBadByte;
        }
        ++count;
        if (c != ' ' && c != '\t') {
            if (count > static_cast<int>(kMaxHexLine)) {
                // Past the longest legal record: read over the rest of the
                // line rather than cut it into a shorter record.
                end.byte = c;
                end.column = count;
                for (c = reader.Get(); c != -1 && !IsLineEnd(c); c = reader.Get()) {
                }
                return kLineTooLong;
            }
            lastNonBlank = count;
        }
        // Blanks past the limit are not stored; they can only be trailing
        // ones, or the line is refused as too long when more text follows.
        if (count <= static_cast<int>(kMaxHexLine))
            line.Append(static_cast<char>(c));
    }
    line.Truncate(static_cast<std::size_t>(lastNonBlank));
    return kLineRead;
}

bool HexLineReader::Open(const std::string& path) {
    lineNumber_ = 0;
    line_.Clear();
    ending_ = LineEnding{};
    return reader_.Open(path);
}

int HexLineReader::Next() {
    int result = ReadHexLine(reader_, line_, &ending_);
    if (result != kEndOfFile)
        ++lineNumber_;
    return result;
}

int HexPair(std::string_view text, std::size_t pos) {
    if (pos + 2 > text.size())
        return -1;
    int hi = HexDigit(static_cast<unsigned char>(text[pos]));
    int lo = HexDigit(static_cast<unsigned char>(text[pos + 1]));
    if (hi < 0 || lo < 0)
        return -1;
    return hi * 16 + lo;
}

std::string DescribeChar(int c) {
    char text[32];
    if (c == ' ')
        return "a blank";
    if (c == '\t')
        return "a tab";
    if (c > ' ' && c < 0x7F)
        std::snprintf(text, sizeof text, "'%c'", static_cast<char>(c));
    else
        std::snprintf(text, sizeof text, "byte 0x%02X", static_cast<unsigned>(c & 0xFF));
    return text;
}

std::string BadByteText(int byte) {
    char text[80];
    std::snprintf(text, sizeof text, "byte 0x%02X where text was expected (not a text file?)",
                  static_cast<unsigned>(byte & 0xFF));
    return text;
}

std::string TooLongText(std::size_t limit) {
    return "the line is longer than the longest legal one (" + std::to_string(limit) +
           " characters)";
}

std::string LineDetail(std::string_view name, int line, std::string_view what) {
    return std::string(name) + ", line " + std::to_string(line) + ": " + std::string(what) + ".";
}

std::string OpenFailureDetail(const std::string& path, const std::string& why) {
    std::error_code ec;
    std::string name = ShortenMiddle(FileNamePart(path), 60);
    if (!std::filesystem::exists(path, ec))
        return name + " cannot be opened: there is no such file.";
    return name + " cannot be opened: " + (why.empty() ? "reading is refused" : why) + ".";
}

}  // namespace ostrel::image
