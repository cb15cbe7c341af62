#include "image/hex_records.h"

#include <algorithm>
#include <cstdio>

#include "core/activity.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::image {

namespace {

// What a record of a given type and length means to this program.
enum class TypeVerdict {
    Data,         // 00: data bytes
    Skip,         // changes nothing: start addresses 03 and 05
    Base,         // 02 or 04: the base of the records after it
    BeyondReach,  // 04 with a value above 00FF: 16 MB and more
    Unsupported,  // any other type, and an end record that carries data
    Malformed,    // 02 or 04 that does not hold exactly the two bytes of its value
};

// `data` holds the record's data bytes; called for records of length 1 or more.
TypeVerdict ClassifyRecord(int type, int length, const unsigned char* data) {
    switch (type) {
        case 0x00:
            return TypeVerdict::Data;
        case 0x02:
        case 0x04:
            if (length != 2)
                return TypeVerdict::Malformed;
            return (type == 0x04 && data[0] != 0) ? TypeVerdict::BeyondReach : TypeVerdict::Base;
        case 0x03:
        case 0x05:
            return TypeVerdict::Skip;
        default:
            return TypeVerdict::Unsupported;
    }
}

}  // namespace

JudgedLine JudgeNextLine(HexLineReader& in) {
    JudgedLine j;
    int result = in.Next();
    const LineEnding& end = in.ending();
    auto malformed = [&](int offending, bool expectedColon, std::string what) {
        j.kind = JudgedLine::Malformed;
        j.offending = offending;
        j.expectedColon = expectedColon;
        j.what = std::move(what);
        return j;
    };
    if (result == kEndOfFile)
        return j;
    if (result == kBadByte)
        return malformed(end.byte, end.column == 1, BadByteText(end.byte));
    if (result == kLineTooLong)
        return malformed(end.byte, false, TooLongText(kMaxHexLine));

    std::string_view text = in.line().view();
    if (text.empty()) {
        j.kind = JudgedLine::Blank;
        return j;
    }
    if (text[0] != ':') {
        // A dump the Read command wrote under a name of the user's is no
        // HEX file; only the name readback.txt makes a data file a dump.
        if (text.starts_with(texts::kFlashMemoryHeading))
            return malformed(static_cast<unsigned char>(text[0]), true,
                             "the file is a readback dump (it begins with " +
                                 std::string(texts::kFlashMemoryHeading) +
                                 "), not Intel HEX; a dump is written back only under the name "
                                 "readback.txt");
        return malformed(static_cast<unsigned char>(text[0]), true,
                         "the line does not begin with ':' but with " +
                             DescribeChar(static_cast<unsigned char>(text[0])));
    }
    // Length first: it says how long the record is. Then every character up
    // to the checksum must be a hexadecimal digit, and nothing may follow.
    std::size_t needed = 11;  // ":" length address type checksum, without data
    for (std::size_t i = 1; i < needed; ++i) {
        if (i >= text.size() && i <= 2)
            return malformed(end.byte, false, "the record ends before its length");
        if (i >= text.size()) {
            char what[96];
            std::snprintf(what, sizeof what,
                          "the record ends after %zu characters; its length %02X needs %zu",
                          text.size(), static_cast<unsigned>(j.length), needed);
            return malformed(end.byte, false, what);
        }
        int c = static_cast<unsigned char>(text[i]);
        if (HexDigit(c) < 0) {
            return malformed(c, false,
                             DescribeChar(c) + " is not a hexadecimal digit (column " +
                                 std::to_string(i + 1) + ")");
        }
        if (i == 2) {
            j.length = HexPair(text, 1);
            needed += 2 * static_cast<std::size_t>(j.length);
        }
    }
    if (text.size() > needed) {
        int c = static_cast<unsigned char>(text[needed]);
        return malformed(c, false,
                         DescribeChar(c) + " after the checksum (column " +
                             std::to_string(needed + 1) + "); a record ends with its checksum");
    }
    j.address = HexPair(text, 3) * 256 + HexPair(text, 5);
    j.type = HexPair(text, 7);
    int sum = j.length + (j.address >> 8) + (j.address & 0xFF) + j.type;
    for (int i = 0; i < j.length; ++i) {
        j.data[i] = static_cast<unsigned char>(HexPair(text, 9 + 2 * static_cast<std::size_t>(i)));
        sum += j.data[i];
    }
    j.checksum = HexPair(text, needed - 2);
    j.wanted = (-sum) & 0xFF;

    // A record of length 0 ends the data whatever its type.
    if (j.length == 0) {
        j.kind = JudgedLine::End;
        return j;
    }
    switch (ClassifyRecord(j.type, j.length, j.data)) {
        case TypeVerdict::Data:
            j.kind = JudgedLine::Data;
            break;
        case TypeVerdict::Skip:
            j.kind = JudgedLine::Skip;
            break;
        case TypeVerdict::Base: {
            const long value = j.data[0] * 256L + j.data[1];
            // avr-gcc's tools put EEPROM data at 0x810000 in a combined
            // image: name it for what it is.
            if (j.type == 0x04 && value == 0x0081) {
                j.kind = JudgedLine::TypeRefused;
                j.typeText = kEepromInFlashText;
                break;
            }
            j.kind = JudgedLine::Skip;
            j.setsBase = true;
            j.base = j.type == 0x02 ? value * 16 : value * 65536;
            break;
        }
        case TypeVerdict::BeyondReach:
            j.kind = JudgedLine::TypeRefused;
            j.typeText = BeyondReachText(j.type);
            break;
        case TypeVerdict::Unsupported:
            j.kind = JudgedLine::TypeRefused;
            j.typeText = UnsupportedTypeText(j.type);
            break;
        case TypeVerdict::Malformed: {
            char what[96];
            std::snprintf(what, sizeof what,
                          "an address record (type %02X) holds two bytes, this one %d",
                          static_cast<unsigned>(j.type), j.length);
            j.wrongAddressRecord = true;
            return malformed(':', false, what);
        }
    }
    return j;
}

std::string BeyondReachText(int type) {
    char text[64];
    std::snprintf(text, sizeof text, "Data above 16 MB (record type %02X) is not supported.",
                  type & 0xFF);
    return text;
}

std::string UnsupportedTypeText(int type) {
    char text[64];
    std::snprintf(text, sizeof text, "Record type %02X is not supported.", type & 0xFF);
    return text;
}

// ---------------------------------------------------------------------------

bool HexRecordStream::Open(const std::string& path) {
    length_ = 0;
    next_ = 0;
    base_ = 0;
    return lines_.Open(path);
}

void HexRecordStream::Close() {
    lines_.Close();
    length_ = 0;
    next_ = 0;
}

RecordResult HexRecordStream::FormatError(int offendingChar, bool expectedColon) {
    ProgrammerState& s = p_.state;
    if (expectedColon) {
        s.activityText.Assign(texts::kExpectedColon);
        core::ShowActivity(p_);
    }
    // The character code as a signed byte, so 80..FF print as FFFFFF80..FFFFFFFF
    // (and the end of the file, inside a record, as FFFFFFFF).
    s.activityText.Format(texts::kMisreadFormat,
                          static_cast<unsigned>(static_cast<int>(
                              static_cast<signed char>(offendingChar < 0 ? 0xFF : offendingChar))));
    core::ShowActivity(p_);
    s.errorText.Assign(texts::kNoIntelFormat);
    Close();
    return RecordResult::FormatError;
}

RecordResult HexRecordStream::Refuse(std::string_view text) {
    p_.state.errorText.Assign(text);
    Close();
    return RecordResult::FormatError;
}

RecordResult HexRecordStream::NextRecord(HexRecord& record) {
    for (;;) {
        length_ = 0;
        next_ = 0;
        if (!lines_.IsOpen())
            return RecordResult::EndOfFile;
        JudgedLine j = JudgeNextLine(lines_);
        switch (j.kind) {
            case JudgedLine::EndOfFile:
                return RecordResult::EndOfFile;
            case JudgedLine::Blank:
                continue;
            case JudgedLine::Skip:
                if (j.setsBase)
                    base_ = j.base;
                continue;
            case JudgedLine::End:
                return RecordResult::EndOfData;  // the rest of the file is not read
            case JudgedLine::Malformed:
                // An address record of the wrong size keeps the system's
                // format text without the activity texts of a misread.
                if (j.wrongAddressRecord)
                    return Refuse(texts::kNoIntelFormat);
                return FormatError(j.offending, j.expectedColon);
            case JudgedLine::TypeRefused:
                return Refuse(j.typeText + "\n");
            case JudgedLine::Data:
                record.length = j.length;
                record.address = static_cast<int>(LinearAddress(base_, j));
                record.type = j.type;
                std::copy(j.data, j.data + j.length, data_);
                length_ = j.length;
                return RecordResult::Record;
        }
    }
}

int HexRecordStream::NextDataByte() {
    if (next_ >= length_)
        return -1;
    return data_[next_++];
}

void HexRecordStream::ReadOverSegmentValue() {
    next_ = length_;
}

void HexRecordStream::FinishRecord() {
    // The record's line was read whole, checksum and line end included.
    length_ = 0;
    next_ = 0;
}

}  // namespace ostrel::image
