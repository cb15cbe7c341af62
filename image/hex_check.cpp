#include "image/hex_check.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "image/file_names.h"
#include "image/hex_records.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::image {

namespace {

// The largest flash an AVR of this interface has is 256 KB; a record at its
// last address reaches 255 bytes further. What lies beyond fits no chip and
// is refused as too big once the chip is known.
constexpr std::size_t kAddressesSeen = 0x40000 + 255;

// The value each byte address was given, and on which line, so that a
// second record for an address can be held against the first. It grows
// with the highest address seen, so a small file costs little.
class AddressBook {
  public:
    // The line that gave `address` another value than `value`; 0 when none did.
    int Conflict(long address, unsigned char value, int line) {
        auto a = static_cast<std::size_t>(address);
        if (address < 0 || a >= kAddressesSeen)
            return 0;
        if (a >= line_.size()) {
            const std::size_t size = std::min(kAddressesSeen, std::max(a + 1, 2 * line_.size()));
            line_.resize(size, 0);
            value_.resize(size, 0);
        }
        if (line_[a] != 0 && value_[a] != value)
            return line_[a];
        if (line_[a] == 0) {
            line_[a] = line;
            value_[a] = value;
        }
        return 0;
    }
    unsigned char ValueAt(long address) const { return value_[static_cast<std::size_t>(address)]; }

  private:
    std::vector<int> line_;
    std::vector<unsigned char> value_;
};

}  // namespace

FileCheck RefusedFile(std::string systemText, std::string detail) {
    FileCheck check;
    check.verdict = FileVerdict::Refused;
    check.systemText = std::move(systemText);
    check.detail = std::move(detail);
    return check;
}

void NoteReach(FileCheck& check, long start, long end, int line) {
    if (check.reaches.empty() || end > check.reaches.back().end)
        check.reaches.push_back({start, end, line});
}

const FileCheck::Reach* FirstReachBeyond(const FileCheck& check, long size) {
    for (const FileCheck::Reach& r : check.reaches)
        if (r.end > size)
            return &r;
    return nullptr;
}

FileCheck CheckDataFile(Programmer& /*p*/, const std::string& path, bool /*eepromData*/) {
    HexLineReader in;
    if (!in.Open(path))
        return RefusedFile(texts::kOpenError, OpenFailureDetail(path, in.why()));
    const std::string name = FileNamePart(path);
    FileCheck check;
    AddressBook book;
    int wrongChecksums = 0;
    int endLine = 0;  // the line of the end record, once read
    long base = 0;    // set by the address records, as the record stream does
    for (;;) {
        JudgedLine j = JudgeNextLine(in);
        if (j.kind == JudgedLine::EndOfFile)
            break;
        if (j.kind == JudgedLine::Blank)
            continue;
        if (endLine != 0) {
            // The record stream reads nothing after the end record. What
            // stands there was never read and is still not, unless it holds
            // data, which a write would silently leave out.
            if (j.kind != JudgedLine::Data)
                continue;
            char what[160];
            std::snprintf(what, sizeof what,
                          "a data record after the record of length 0 on line %d, which ends "
                          "the data: this record and any after it would never be sent",
                          endLine);
            return RefusedFile(texts::kWrongFileFormat, LineDetail(name, in.lineNumber(), what));
        }
        if (j.kind == JudgedLine::Malformed)
            return RefusedFile(texts::kWrongFileFormat, LineDetail(name, in.lineNumber(), j.what));
        if (j.kind == JudgedLine::TypeRefused) {
            std::string what = j.typeText;
            if (!what.empty() && what.back() == '.')
                what.pop_back();
            // The sentence goes on after the line number; a word in
            // capitals ("EEPROM data ...") keeps its letters.
            if (what.size() < 2 || !std::isupper(static_cast<unsigned char>(what[1])))
                what[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(what[0])));
            return RefusedFile(j.typeText, LineDetail(name, in.lineNumber(), what));
        }
        ++check.records;
        check.lastRecordLine = in.lineNumber();
        if (j.setsBase)
            base = j.base;
        if (j.kind == JudgedLine::Data) {
            const long start = LinearAddress(base, j);
            check.dataBytes += j.length;
            NoteReach(check, start, start + j.length, in.lineNumber());
            for (int i = 0; i < j.length; ++i) {
                const long address = start + i;
                const int other = book.Conflict(address, j.data[i], in.lineNumber());
                if (other == 0)
                    continue;
                char what[200];
                std::snprintf(what, sizeof what,
                              "byte address 0x%04lX is given %02X here but %02X on line %d; the "
                              "chip can hold only one of them, so it could never verify",
                              address, static_cast<unsigned>(j.data[i]),
                              static_cast<unsigned>(book.ValueAt(address)), other);
                return RefusedFile(kTwoValuesText, LineDetail(name, in.lineNumber(), what));
            }
        }
        if (j.checksum != j.wanted && ++wrongChecksums == 1) {
            char what[64];
            std::snprintf(what, sizeof what, "checksum %02X, the record adds up to %02X",
                          static_cast<unsigned>(j.checksum), static_cast<unsigned>(j.wanted));
            check.detail = LineDetail(name, in.lineNumber(), what);
        }
        if (j.kind == JudgedLine::End) {
            check.endRecord = true;
            endLine = in.lineNumber();
        }
    }
    if (wrongChecksums > 0) {
        check.verdict = FileVerdict::ChecksumWrong;
        check.systemText = texts::kChecksumWrong;
        if (wrongChecksums > 1) {
            check.detail.pop_back();
            check.detail +=
                " (" + std::to_string(wrongChecksums) + " records in all have a wrong checksum).";
        }
    }
    return check;
}

const FileIdentity* CheckedIdentity(const Programmer& p, const std::string& path) {
    for (const CheckedFile& f : p.checkedFiles) {
        if (f.path == path)
            return &f.identity;
    }
    return nullptr;
}

bool IsCheckedFile(const Programmer& p, const std::string& path,
                   const std::optional<FileIdentity>* opened) {
    const FileIdentity* checked = CheckedIdentity(p, path);
    if (checked == nullptr)
        return true;
    // Nothing under the name gives the empty identity: a file noted as
    // missing must still be missing.
    if (opened != nullptr && opened->value_or(FileIdentity{}) != *checked)
        return false;
    return IdentityOf(path).value_or(FileIdentity{}) == *checked;
}

void SetChangedFileText(Programmer& p, const std::string& path, std::string_view chipState) {
    // The name is shortened so that the reason and the chip's state always fit.
    const std::string name = ShortenMiddle(FileNamePart(path), 48);
    p.state.errorText.Format("The file %s changed after it was checked (replaced or rewritten).\n",
                             name.c_str());
    p.state.errorText.Append(chipState);
    p.state.errorText.Append("\n");
}

const char* ChipStateBeforePass(const Programmer& p) {
    if (p.state.verifyMode)
        return "The chip was not compared with it: nothing is verified.";
    if (p.chipWrittenByCommand)
        return "The chip holds the file written before it; nothing of this one was written.";
    return p.chipErasedByCommand ? "The chip was erased for the write; nothing of the file was "
                                   "written."
                                 : "Nothing was written to the chip.";
}

const char* ChipStateAfterPass(const Programmer& p) {
    if (p.state.verifyMode)
        return "What was compared is not what was checked: nothing is verified.";
    return "The chip was written while the file changed: write it again.";
}

int CheckHexFile(Programmer& p) {
    FileCheck check = CheckDataFile(p, CurrentFilePath(p), p.state.eepromFile != 0);
    if (check.verdict == FileVerdict::Good)
        return 0;
    p.state.errorText.Assign(check.systemText);
    return 1;
}

}  // namespace ostrel::image
