#include "devices/device_file.h"

#include "platform/file_system.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "core/ids.h"
#include "platform/text_file.h"
#include "platform/text_line.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::devices {

namespace {

constexpr std::size_t kFieldCount = 8;
constexpr std::size_t kMaxDigits = 6;
constexpr int64_t kLargestNumber = 0x7FFFFFFF;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsSeparator(char c) {
    return c == '\t' || c == ';';
}

// The field starting at `pos`, up to the next separator or the end of the line.
std::string_view TakeField(std::string_view line, std::size_t& pos) {
    std::size_t start = pos;
    while (pos < line.size() && !IsSeparator(line[pos]))
        ++pos;
    std::string_view field = line.substr(start, pos - start);
    if (pos < line.size())
        ++pos;  // exactly one separator
    return field;
}

void ShowOpenError(Programmer& p) {
    p.windows.MessageBox(ids::kNoOwner, texts::kOpenErrorIni, texts::kTitleErrorBang,
                         MsgButtons::Ok, MessageKind::Error);
}

// log2 of a page size that is a power of two up to 2^kMaxPageShift words.
std::optional<int32_t> ShiftOf(int32_t pageWords) {
    for (int32_t shift = 0; shift <= kMaxPageShift; ++shift) {
        if ((int32_t{1} << shift) == pageWords)
            return shift;
    }
    return std::nullopt;
}

int FindListEntry(WindowSystem& windows, std::string_view name) {
    int count = windows.ListCount();
    for (int i = 0; i < count; ++i) {
        if (EqualsNoCase(windows.ListEntry(i), name))
            return i;
    }
    return -1;
}

}  // namespace

const char* DescribeProblem(DeviceLineProblem problem) {
    switch (problem) {
        case DeviceLineProblem::kNone:
            return "usable";
        case DeviceLineProblem::kNotDeviceLine:
            return "not a device line";
        case DeviceLineProblem::kLineTooLong:
            return "line longer than 98 characters";
        case DeviceLineProblem::kNameTooLong:
            return "name longer than 14 characters";
        case DeviceLineProblem::kFieldTooLong:
            return "field longer than 6 characters";
        case DeviceLineProblem::kNoFlashSize:
            return "flash size has no number";
        case DeviceLineProblem::kNoEepromSize:
            return "EEPROM size has no number";
        case DeviceLineProblem::kNoPageMode:
            return "page mode has no number";
        case DeviceLineProblem::kNoPageSize:
            return "page mode without a page size";
        case DeviceLineProblem::kPageShiftTooLarge:
            return "page shift above 8";
        case DeviceLineProblem::kFlashTooLarge:
            return "flash larger than 256 KB";
        case DeviceLineProblem::kEepromTooLarge:
            return "EEPROM larger than 64 KB";
        case DeviceLineProblem::kBadPageSize:
            return "page size not a power of two up to 256 words";
        case DeviceLineProblem::kPageShiftMismatch:
            return "page shift does not fit the page size";
        case DeviceLineProblem::kNoPageShift:
            return "page mode without a page shift";
    }
    return "unknown";
}

std::optional<int32_t> ReadNumber(std::string_view field) {
    std::size_t i = 0;
    while (i < field.size() && IsBlank(field[i]))
        ++i;
    int64_t value = 0;
    std::size_t digits = 0;
    while (i < field.size() && digits < kMaxDigits && IsDigit(field[i])) {
        value = value * 10 + (field[i] - '0');
        ++digits;
        ++i;
    }
    if (digits == 0)
        return std::nullopt;
    for (char c : field) {
        if (c != 'k' && c != 'K')
            continue;
        value *= 1024;
        if (value > kLargestNumber)
            return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

std::optional<int32_t> ReadPageShift(std::string_view pageBits) {
    std::optional<int32_t> shift;
    for (std::size_t colon = 0; colon < pageBits.size(); ++colon) {
        if (pageBits[colon] != ':')
            continue;
        std::size_t i = colon + 1;
        while (i < pageBits.size() && IsBlank(pageBits[i]))
            ++i;
        int32_t value = 0;
        std::size_t digits = 0;
        while (i < pageBits.size() && digits < 2 && IsDigit(pageBits[i])) {
            value = value * 10 + (pageBits[i] - '0');
            ++digits;
            ++i;
        }
        if (digits > 0)
            shift = value;
    }
    return shift;
}

bool IsDeviceLine(std::string_view line) {
    return line.size() >= 2 && line.substr(0, 2) == "AT";
}

std::string_view ListName(std::string_view line) {
    return line.substr(0, line.find_first_of("\t;"));
}

DeviceEntry ParseDeviceLine(std::string_view line) {
    DeviceEntry entry;
    line = line.substr(0, line.find('\0'));
    if (!IsDeviceLine(line))
        return entry;

    // The name ends at the first separator; one TAB more after it is part of
    // the same gap, so names of different lengths can line up their columns.
    std::size_t pos = 0;
    std::array<std::string_view, kFieldCount> fields;
    fields[0] = TakeField(line, pos);
    if (pos < line.size() && line[pos] == '\t')
        ++pos;
    for (std::size_t f = 1; f < kFieldCount; ++f)
        fields[f] = TakeField(line, pos);

    entry.name.Assign(fields[0]);
    entry.signature.Assign(fields[1]);
    entry.flashSize.Assign(fields[2]);
    entry.pageSize.Assign(fields[3]);
    entry.reserved.Assign(fields[4]);
    entry.pageMode.Assign(fields[5]);
    entry.pageBits.Assign(fields[6]);
    entry.eepromSize.Assign(fields[7]);

    auto fail = [&entry](DeviceLineProblem problem) {
        entry.problem = problem;
        return entry;
    };
    if (line.size() > text::kMaxLineLength)
        return fail(DeviceLineProblem::kLineTooLong);
    if (entry.name.truncated())
        return fail(DeviceLineProblem::kNameTooLong);
    // The page fields (page size and page bits) are read only for a chip
    // that writes its flash in pages: a line of page mode 0 keeps whatever
    // stands there, as such lines always have.
    auto pageModeValue = ReadNumber(fields[5]);
    const bool pagedLine = pageModeValue && *pageModeValue > 0;
    for (std::size_t f = 1; f < kFieldCount; ++f) {
        const bool pageField = f == 3 || f == 6;
        if (fields[f].size() > kMaxFieldLength && (pagedLine || !pageField))
            return fail(DeviceLineProblem::kFieldTooLong);
    }

    auto flash = ReadNumber(fields[2]);
    if (!flash)
        return fail(DeviceLineProblem::kNoFlashSize);
    auto eeprom = ReadNumber(fields[7]);
    if (!eeprom)
        return fail(DeviceLineProblem::kNoEepromSize);
    auto pageMode = ReadNumber(fields[5]);
    if (!pageMode)
        return fail(DeviceLineProblem::kNoPageMode);
    entry.flashBytes = *flash;
    entry.eepromBytes = *eeprom;
    entry.pageModeValue = *pageMode;
    if (entry.flashBytes > kMaxFlashBytes)
        return fail(DeviceLineProblem::kFlashTooLarge);
    if (entry.eepromBytes > kMaxEepromBytes)
        return fail(DeviceLineProblem::kEepromTooLarge);
    std::optional<int32_t> pageWords;
    if (entry.paged()) {
        // The engine divides word addresses by the page size.
        pageWords = ReadNumber(fields[3]);
        if (!pageWords || *pageWords == 0)
            return fail(DeviceLineProblem::kNoPageSize);
        entry.pageWords = *pageWords;
    }
    entry.pageShift = ReadPageShift(fields[6]);
    if (entry.pageShift && *entry.pageShift > kMaxPageShift) {
        if (entry.paged())
            return fail(DeviceLineProblem::kPageShiftTooLarge);
        // No page has such a shift: it is neither used nor carried on.
        entry.pageShift.reset();
    }
    if (entry.paged()) {
        // Page p is written at word address p << shift and its words are
        // loaded at p * pageWords + offset: both must be the same address.
        if (!ShiftOf(entry.pageWords))
            return fail(DeviceLineProblem::kBadPageSize);
        if (entry.pageShift && *entry.pageShift != *ShiftOf(entry.pageWords))
            return fail(DeviceLineProblem::kPageShiftMismatch);
    }
    entry.problem = DeviceLineProblem::kNone;
    return entry;
}

bool SignatureMatches(const DeviceEntry& entry, std::string_view signatureHex) {
    constexpr std::size_t kDigits = 6;
    if (entry.signature.size() != kDigits || signatureHex.size() < kDigits)
        return false;
    return entry.signature.view() == signatureHex.substr(0, kDigits);
}

std::string DeviceFilePath(Programmer& p) {
    p.currentDirectory = p.state.startDirectory.str();
    return ResolvePath(p.currentDirectory, kDeviceFileName);
}

bool DeviceFileOpens(Programmer& p) {
    // Opened for update, as the file is meant to be editable: a file the user
    // cannot write (or a folder of that name) counts as missing.
    // A FIFO or a device of that name is refused at once, never waited on.
    std::FILE* file = OpenPlainFile(DeviceFilePath(p), "r+b");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

namespace {

// Walks the device file from its first line and hands out its device lines
// one by one, each judged with the page shift carried on from the lines
// above it. The last line counts without a line end; a NUL or 0xFF byte ends
// the walk and is remembered.
class DeviceLines {
  public:
    DeviceLines(Programmer& p, TextReader& reader) : p_(p), reader_(reader) {}

    // Reads on to the next device line; false when there is none.
    bool Next() {
        while (!done_) {
            int result = text::ReadTextLine(p_.state.lineBuffer, reader_);
            ++number_;
            if (text::IsBinaryStop(result)) {
                stopByte_ = text::BinaryStopByte(result);
                done_ = true;
                return false;
            }
            if (result == text::kEndOfFile) {
                done_ = true;
                if (p_.state.lineBuffer.empty())
                    return false;
            }
            std::string_view line = p_.state.lineBuffer.view();
            if (!IsDeviceLine(line))
                continue;
            entry_ = ParseDeviceLine(line);
            if (text::LineWasCut(p_.state.lineBuffer))
                entry_.problem = DeviceLineProblem::kLineTooLong;
            Judge();
            return true;
        }
        return false;
    }

    const DeviceEntry& entry() const { return entry_; }
    // Number (from 1) of the line of entry(), or of the line where a binary byte stopped the walk.
    int lineNumber() const { return number_; }
    // The page shift in force for a usable entry: its own or the one carried on.
    std::optional<int32_t> pageShift() const {
        return hasCarried_ ? std::optional<int32_t>(carried_) : std::nullopt;
    }
    // 0x00 or 0xFF when such a byte stopped the walk; -1 otherwise.
    int stopByte() const { return stopByte_; }

  private:
    // A usable line hands its page shift on; a page-mode line without one
    // takes the shift carried on, which must exist and fit its page size.
    void Judge() {
        if (!entry_.usable())
            return;
        if (entry_.pageShift) {
            carried_ = *entry_.pageShift;
            hasCarried_ = true;
            return;
        }
        if (!entry_.paged())
            return;
        entry_.carriedShift = pageShift();
        if (!hasCarried_)
            entry_.problem = DeviceLineProblem::kNoPageShift;
        else if ((int32_t{1} << carried_) != entry_.pageWords)
            entry_.problem = DeviceLineProblem::kPageShiftMismatch;
    }

    Programmer& p_;
    TextReader& reader_;
    DeviceEntry entry_;
    // The page shift carried on from the lines above (GCC cannot follow an
    // optional member through this class, so it is a value and a flag).
    int32_t carried_ = 0;
    bool hasCarried_ = false;
    int number_ = 0;
    int stopByte_ = -1;
    bool done_ = false;
};

bool OpenDeviceFile(Programmer& p, TextReader& reader) {
    return DeviceFileOpens(p) && reader.Open(DeviceFilePath(p));
}

std::string StopText(int line, int byte) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "line %d holds a byte %02X, which is no text; reading stops there", line, byte);
    return text;
}

// Refusals listed by name in the message; more are counted only.
constexpr std::size_t kMaxToldLines = 10;
constexpr std::size_t kShownNameLength = 24;

}  // namespace

std::string ExplainProblem(const DeviceEntry& e) {
    char text[128];
    switch (e.problem) {
        case DeviceLineProblem::kFlashTooLarge:
            std::snprintf(text, sizeof text,
                          "flash size %d bytes is above %d, the most a 17-bit word address reaches",
                          e.flashBytes, kMaxFlashBytes);
            return text;
        case DeviceLineProblem::kEepromTooLarge:
            std::snprintf(text, sizeof text,
                          "EEPROM size %d bytes is above %d, the most a 16-bit address reaches",
                          e.eepromBytes, kMaxEepromBytes);
            return text;
        case DeviceLineProblem::kBadPageSize:
            std::snprintf(text, sizeof text,
                          "page size %d words is not a power of two from 1 to 256", e.pageWords);
            return text;
        case DeviceLineProblem::kPageShiftMismatch: {
            int32_t shift = e.pageShift ? *e.pageShift : e.carriedShift.value_or(0);
            int32_t needed = 0;
            while ((int32_t{1} << needed) < e.pageWords)
                ++needed;
            std::snprintf(text, sizeof text,
                          "page shift %d%s does not fit a page of %d words (that needs %d)", shift,
                          e.pageShift ? "" : " (from a line above)", e.pageWords, needed);
            return text;
        }
        case DeviceLineProblem::kNoPageShift:
            return "page mode, but no page shift (':' and a number) on this line or any line above";
        default:
            return DescribeProblem(e.problem);
    }
}

std::vector<std::string> ListedNames(Programmer& p) {
    std::vector<std::string> names;
    TextReader reader;
    if (!OpenDeviceFile(p, reader))
        return names;
    DeviceLines lines(p, reader);
    while (lines.Next()) {
        if (lines.entry().usable())
            names.emplace_back(lines.entry().name.view());
    }
    return names;
}

std::string NameWithSignature(Programmer& p, std::string_view signatureHex) {
    TextReader reader;
    if (!OpenDeviceFile(p, reader))
        return {};
    DeviceLines lines(p, reader);
    while (lines.Next()) {
        if (lines.entry().usable() && SignatureMatches(lines.entry(), signatureHex))
            return std::string(lines.entry().name.view());
    }
    return {};
}

std::string KnownChipsLike(Programmer& p, std::string_view signatureHex) {
    TextReader reader;
    if (!OpenDeviceFile(p, reader))
        return {};
    // The second signature byte gives the flash size: chips that share it
    // are the likeliest relatives of the one that answered.
    const std::string_view family = signatureHex.substr(0, 4);
    std::vector<std::string> all;
    std::string alike;
    DeviceLines lines(p, reader);
    while (lines.Next()) {
        const DeviceEntry& entry = lines.entry();
        if (!entry.usable())
            continue;
        all.emplace_back(entry.name.view());
        if (family.size() == 4 && entry.signature.view().substr(0, 4) == family)
            alike += (alike.empty() ? "" : ", ") + all.back();
    }
    if (all.empty())
        return {};
    if (!alike.empty())
        return "ostrel.ini knows these chips of the same flash size: " + alike + ".";
    std::string names;
    for (const std::string& name : all)
        names += (names.empty() ? "" : ", ") + name;
    return "ostrel.ini knows no chip of this flash size; it knows: " + names + ".";
}

void FillDeviceList(Programmer& p) {
    TextReader reader;
    if (!OpenDeviceFile(p, reader)) {
        ShowOpenError(p);
        return;
    }
    std::vector<std::string> refused;
    DeviceLines lines(p, reader);
    while (lines.Next()) {
        const DeviceEntry& entry = lines.entry();
        if (entry.usable()) {
            p.windows.AddListEntry(entry.name.view());
            continue;
        }
        // The name as written, which may be longer than a name may be.
        std::string name(ListName(p.state.lineBuffer.view()).substr(0, kShownNameLength));
        refused.push_back("line " + std::to_string(lines.lineNumber()) + " (" + name +
                          "): " + ExplainProblem(entry));
    }
    if (lines.stopByte() >= 0)
        refused.push_back(StopText(lines.lineNumber(), lines.stopByte()));
    if (refused.empty())
        return;

    std::string text =
        "These lines of ostrel.ini cannot be used and are left out of the device list:\n";
    for (std::size_t i = 0; i < refused.size() && i < kMaxToldLines; ++i)
        text += "\n" + refused[i];
    if (refused.size() > kMaxToldLines)
        text += "\n... and " + std::to_string(refused.size() - kMaxToldLines) + " more";
    p.windows.MessageBox(ids::kNoOwner, text, kDeviceFileName, MsgButtons::Ok,
                         MessageKind::Warning);
}

int FindDevice(Programmer& p, const core::DeviceChoice& choice) {
    ProgrammerState& s = p.state;
    TextReader reader;
    if (!OpenDeviceFile(p, reader)) {
        ShowOpenError(p);
        p.windows.EndWindow(ids::kMainWindow, 1);
        return 1;
    }

    const bool autodetect = choice.autodetect;
    const std::optional<std::string>& wanted = choice.name;

    // Refused lines were told when the list was filled; here they are passed
    // over. The geometry reaches the state only on a match, so a failed
    // lookup leaves it as it was.
    DeviceLines lines(p, reader);
    while (lines.Next()) {
        const DeviceEntry& entry = lines.entry();
        if (!entry.usable())
            continue;
        bool match = autodetect ? SignatureMatches(entry, s.signatureHex.view())
                                : (wanted && entry.name == *wanted);
        if (!match)
            continue;

        s.flashWords = entry.flashBytes / 2;
        s.deviceSignature.Assign(entry.signature.view());
        s.eepromBytes = entry.eepromBytes;
        s.pagedFlash = 0;
        if (entry.paged()) {
            s.pageWords = entry.pageWords;
            s.pagedFlash = 1;
        }
        if (lines.pageShift())
            s.pageShift = *lines.pageShift();
        if (autodetect) {
            p.windows.SelectListEntry(FindListEntry(p.windows, entry.name.view()));
            s.deviceDetected = 1;
        }
        return 0;
    }
    s.deviceDetected = 0;
    s.deviceSignature.Clear();
    return 1;
}

bool DeviceWithSizes(Programmer& p, long flashBytes, long eepromBytes) {
    TextReader reader;
    if (!OpenDeviceFile(p, reader))
        return false;
    // Every line is read as the lookup reads it, so that a line refused
    // there is not taken here either.
    bool found = false;
    DeviceLines lines(p, reader);
    while (!found && lines.Next()) {
        const DeviceEntry& entry = lines.entry();
        found =
            entry.usable() && entry.flashBytes == flashBytes && entry.eepromBytes == eepromBytes;
    }
    return found;
}

std::string ChosenDeviceProblem(Programmer& p) {
    int selected = p.windows.SelectedListEntry();
    if (selected < 0)
        return "No device is chosen in the device list (Autodetection is off).";
    std::string name = p.windows.ListEntry(selected);
    TextReader reader;
    if (!OpenDeviceFile(p, reader))
        return "ostrel.ini cannot be opened, so the chosen device " + name + " is unknown.";

    std::string refusal;
    DeviceLines lines(p, reader);
    while (lines.Next()) {
        const DeviceEntry& entry = lines.entry();
        if (entry.name != name)
            continue;
        if (entry.usable())
            return {};
        if (refusal.empty()) {
            refusal = name + " cannot be used: ostrel.ini line " +
                      std::to_string(lines.lineNumber()) + ": " + ExplainProblem(entry) + ".";
        }
    }
    if (!refusal.empty())
        return refusal;
    std::string text = "The chosen device " + name + " is not in ostrel.ini";
    if (lines.stopByte() >= 0)
        text += " (" + StopText(lines.lineNumber(), lines.stopByte()) + ")";
    return text + ".";
}

}  // namespace ostrel::devices
