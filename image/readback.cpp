#include "image/readback.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "avr/avr.h"
#include "core/activity.h"
#include "image/file_names.h"
#include "image/hex_line.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::image {

namespace {

// The percentage figure of a readback. It is shown only when it changes;
// the figure shown last starts at 0 and carries over from the flash part
// to the EEPROM part, so a flash part that ended at 99 shows 0 again when
// the EEPROM part starts, and a flash part never shows 0.
class Progress {
  public:
    void Before(Programmer& p, int32_t index, int32_t total, ProgressStage stage,
                std::string_view what) {
        auto percent = static_cast<int32_t>(static_cast<int64_t>(index) * 100 / total);
        if (percent == lastShown_) {
            // One figure may cover hundreds of reads on a big chip: the
            // window still takes input (a stop) every few of them, about a
            // second apart on a port as slow as a USB adapter's modem lines.
            if ((index & 0x03) == 0)
                core::ServiceWindow(p);
            return;
        }
        lastShown_ = percent;
        p.state.activityText.Format("%1.0f", static_cast<double>(percent));
        p.state.activityText.Append("%");
        p.state.activityText.Append(what);
        core::ShowActivity(p, ostrel::Progress{stage, index, total});
    }

  private:
    int32_t lastShown_ = 0;
};

// The texts name the file and say why, in the system's words: the old file
// of that name is still there, whole.
std::string CreateFailedText(std::string_view name, const TextWriter& out) {
    return "Cannot create output file " + std::string(name) + " (" + out.why() + ").\n";
}

// `existed`: a file of that name was there before the command.
std::string WriteFailedText(std::string_view name, const TextWriter& out, bool existed) {
    return "Cannot write output file " + std::string(name) + " (" + out.why() + "); " +
           (existed ? "the file of that name is as it was.\n" : "no file of that name was left.\n");
}

bool AnythingAt(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(FsPath(path), ec));
}

// The whole flash, read word by word with the bytes of each word in one
// order; on a streaming port the reads go out a window at a time.
class FlashReads {
  public:
    FlashReads(Programmer& p, bool highFirst)
        : p_(p), reads_(p), count_(2 * p.state.flashWords), highFirst_(highFirst) {
        // A readback is a run of its own: the extended address byte goes out
        // before its first read.
        p.state.extendedAddress = -1;
    }

    int Byte(int32_t word, bool high) {
        p_.state.memAddress = word;
        p_.state.highByteSelect = high ? 1 : 0;
        const bool highFirst = highFirst_;
        auto at = [highFirst](int j) {
            const bool isHigh = ((j & 1) == 0) == highFirst;
            return std::pair<avr::Cell, int32_t>{
                isHigh ? avr::Cell::FlashHigh : avr::Cell::FlashLow, j / 2};
        };
        return reads_.Byte(2 * word + (high == highFirst ? 0 : 1), count_, at);
    }

  private:
    Programmer& p_;
    avr::ReadAhead reads_;
    int count_;
    bool highFirst_;
};

// Writes `text` with every LF turned into the CR LF line end.
void WriteWithLineEnds(TextWriter& out, std::string_view text) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n')
            continue;
        out.Write(text.substr(start, i - start));
        out.NewLine();
        start = i + 1;
    }
    out.Write(text.substr(start));
}

// One piece of a line, as a line reader with an 80-byte buffer delivers it:
// at most 79 characters, ending after the line's LF when that comes first.
// False when the file has nothing left.
bool ReadPiece(TextReader& in, FixedString<80>& piece) {
    piece.Clear();
    while (piece.size() < 79) {
        int c = in.Get();
        if (c == -1)
            break;
        piece.Append(static_cast<char>(c));
        if (c == '\n')
            break;
    }
    return !piece.empty();
}

}  // namespace

std::string ReadbackPath(const Programmer& p, std::string_view defaultName) {
    if (!p.readbackFile.empty())
        return p.readbackFile;
    return ResolvePath(p.state.startDirectory.view(), defaultName);
}

int WriteDump(Programmer& p, const BeforeReplacing& beforeReplacing) {
    TextWriter out;
    const std::string path = ReadbackPath(p, kDumpName);
    const std::string name = ShortenMiddle(FileNamePart(path), 60);
    const bool existed = AnythingAt(path);
    if (!out.Create(path)) {
        p.state.errorText.Assign(CreateFailedText(name, out));
        return 1;
    }
    Progress progress;
    char text[16];

    out.Write(texts::kFlashMemoryHeading);
    out.NewLine();
    const int32_t flashWords = p.state.flashWords;
    FlashReads flash(p, true);
    // Word addresses of a chip above 64K words take five digits, on every
    // line alike; a smaller chip's dump keeps its four.
    const int digits = flashWords > avr::kWordsWithoutExtendedAddress ? 5 : 4;
    for (int32_t w = 0; w < flashWords; ++w) {
        progress.Before(p, w, flashWords, ProgressStage::ReadingFlash, "  flash memory");
        int high = flash.Byte(w, true);
        int low = flash.Byte(w, false);
        if (w % 8 == 0) {
            out.NewLine();
            std::snprintf(text, sizeof text, "%.*X:", digits, static_cast<unsigned>(w));
            out.Write(text);
        }
        std::snprintf(text, sizeof text, " %.2X%.2X", high, low);
        out.Write(text);
    }
    // End of the last flash line and two empty lines.
    out.NewLine();
    out.NewLine();
    out.NewLine();
    out.Write(texts::kEepromMemoryHeading);
    out.NewLine();
    const int32_t eepromBytes = p.state.eepromBytes;
    avr::ReadAhead eeprom(p);
    auto at = [](int a) { return std::pair<avr::Cell, int32_t>{avr::Cell::Eeprom, a}; };
    for (int32_t a = 0; a < eepromBytes; ++a) {
        progress.Before(p, a, eepromBytes, ProgressStage::ReadingEeprom, "  eeprom");
        p.state.memAddress = a;
        int byte = eeprom.Byte(a, eepromBytes, at);
        if (a % 8 == 0) {
            out.NewLine();
            std::snprintf(text, sizeof text, "%.4X:", static_cast<unsigned>(a));
            out.Write(text);
        }
        std::snprintf(text, sizeof text, " %.2X", byte);
        out.Write(text);
    }
    if (beforeReplacing && !beforeReplacing())
        return 1;  // the file is dropped: the earlier one stays
    if (!out.Close()) {
        p.state.errorText.Assign(WriteFailedText(name, out, existed));
        return 1;
    }
    return 0;
}

int WriteReadbackHex(Programmer& p, const BeforeReplacing& beforeReplacing) {
    TextWriter out;
    const std::string path = ReadbackPath(p, kReadbackHexName);
    const std::string name = ShortenMiddle(FileNamePart(path), 60);
    const bool existed = AnythingAt(path);
    if (!out.Create(path)) {
        p.state.errorText.Assign(CreateFailedText(name, out));
        return 1;
    }
    Progress progress;
    char text[24];
    int sum = 0;
    const int32_t flashWords = p.state.flashWords;
    FlashReads flash(p, false);
    for (int32_t w = 0; w < flashWords; ++w) {
        progress.Before(p, w, flashWords, ProgressStage::ReadingFlash, "  flash memory");
        if (w % 8 == 0) {
            // Record addresses have 16 bits: each further 64 KB (32768 words)
            // begins with an extended linear address record.
            if (w > 0 && w % 32768 == 0) {
                int upper = (w / 32768) & 0xFFFF;
                int upperSum = 0x02 + 0x04 + (upper >> 8) + (upper & 0xFF);
                std::snprintf(text, sizeof text, ":02000004%.4X%.2X", upper, (-upperSum) & 0xFF);
                out.Write(text);
                out.NewLine();
            }
            // The last record holds what is left when flashWords is not a multiple of 8.
            int32_t words = flashWords - w < 8 ? flashWords - w : 8;
            int address = (2 * w) & 0xFFFF;
            std::snprintf(text, sizeof text, ":%.2X%.4X00", static_cast<unsigned>(2 * words),
                          static_cast<unsigned>(address));
            out.Write(text);
            sum = 2 * words + (address >> 8) + (address & 0xFF);
        }
        int low = flash.Byte(w, false);
        int high = flash.Byte(w, true);
        std::snprintf(text, sizeof text, "%.2X%.2X", low, high);
        out.Write(text);
        sum += low + high;
        if (w % 8 == 7 || w == flashWords - 1) {
            std::snprintf(text, sizeof text, "%.2X", (-sum) & 0xFF);
            out.Write(text);
            out.NewLine();
        }
    }
    out.Write(":00000001FF");
    if (beforeReplacing && !beforeReplacing())
        return 1;  // the file is dropped: the earlier one stays
    if (!out.Close()) {
        p.state.errorText.Assign(WriteFailedText(name, out, existed));
        return 1;
    }
    return 0;
}

int SaveSnapshot(Programmer& p) {
    TextReader in;
    if (!in.Open(CurrentFilePath(p)))
        return kInputFileFailed;
    std::string snapshotPath = SiblingFilePath(p, "tmp");
    TextWriter out;
    if (snapshotPath.empty() || !out.Create(snapshotPath))
        return kOutputFileFailed;
    std::string chunk;
    for (int c = in.Get(); c != -1; c = in.Get()) {
        chunk.push_back(static_cast<char>(c));
        if (chunk.size() >= 4096) {
            WriteWithLineEnds(out, chunk);
            chunk.clear();
        }
    }
    WriteWithLineEnds(out, chunk);
    return out.Close() ? kFilesOk : kOutputFileFailed;
}

int WriteDifferenceFile(Programmer& p) {
    TextReader current;
    if (!current.Open(CurrentFilePath(p)))
        return kInputFileFailed;
    std::string snapshotPath = SiblingFilePath(p, "tmp");
    TextReader snapshot;
    if (snapshotPath.empty() || !snapshot.Open(snapshotPath))
        return kInputFileFailed;
    TextWriter out;
    if (!out.Create(SiblingFilePath(p, "dif")))
        return kOutputFileFailed;
    FixedString<80> mine;
    FixedString<80> theirs;
    // A changed data record above 64 KB is written after the address record
    // that gave its upper address in the file, unless the difference file
    // already carries that address; a file without address records gives
    // the changed lines alone.
    bool lineStart = true;
    long base = 0;         // as the file's address records set it
    long writtenBase = 0;  // as the difference file's records set it
    std::string baseLine;  // the record that set `base`
    while (ReadPiece(current, mine) && ReadPiece(snapshot, theirs)) {
        const std::string_view piece = mine.view();
        const bool recordStart = lineStart && piece.size() >= 13 && piece[0] == ':';
        const std::string_view type = recordStart ? piece.substr(7, 2) : std::string_view();
        const bool addressRecord = piece.substr(0, 7) == ":020000" &&
                                   (type == "02" || type == "04") && HexPair(piece, 9) >= 0 &&
                                   HexPair(piece, 11) >= 0;
        if (addressRecord) {
            const int value = HexPair(piece, 9) * 256 + HexPair(piece, 11);
            base = type == "04" ? 65536L * value : 16L * value;
            baseLine = std::string(piece.substr(0, 15)) + "\n";
        }
        if (piece != theirs.view()) {
            if (addressRecord) {
                writtenBase = base;
            } else if (recordStart && type == "00" && base != writtenBase) {
                WriteWithLineEnds(out, baseLine);
                writtenBase = base;
            }
            WriteWithLineEnds(out, piece);
        }
        lineStart = !piece.empty() && piece.back() == '\n';
    }
    out.Write(":00000001FF");
    return out.Close() ? kFilesOk : kOutputFileFailed;
}

}  // namespace ostrel::image
