#include "devices/device_file.h"

#include <array>
#include <cstdio>

#include "devices/text_line.h"
#include "platform/ids.h"
#include "platform/text_file.h"
#include "platform/text_util.h"

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
    p.windows.MessageBox(ids::kNoOwner, "Open Error ostrel.ini !", "Error!", MsgButtons::Ok);
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
    return line.substr(0, line.find('\t'));
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
    if (line.size() > kMaxLineLength)
        return fail(DeviceLineProblem::kLineTooLong);
    if (entry.name.truncated())
        return fail(DeviceLineProblem::kNameTooLong);
    for (std::size_t f = 1; f < kFieldCount; ++f) {
        if (fields[f].size() > kMaxFieldLength)
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
    if (entry.paged()) {
        // The engine divides word addresses by the page size.
        auto pageWords = ReadNumber(fields[3]);
        if (!pageWords || *pageWords == 0)
            return fail(DeviceLineProblem::kNoPageSize);
        entry.pageWords = *pageWords;
    }
    entry.pageShift = ReadPageShift(fields[6]);
    if (entry.pageShift && *entry.pageShift > kMaxPageShift) {
        return fail(DeviceLineProblem::kPageShiftTooLarge);
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
    std::FILE* file = std::fopen(DeviceFilePath(p).c_str(), "r+b");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

void FillDeviceList(Programmer& p) {
    TextReader reader;
    if (!DeviceFileOpens(p) || !reader.Open(DeviceFilePath(p))) {
        ShowOpenError(p);
        return;
    }
    while (ReadTextLine(p, reader) == 0) {
        // A line whose end was lost is left out; every other device line is
        // listed, even one the lookup cannot use, so the user sees it is there.
        if (LineWasCut(p))
            continue;
        std::string_view line = p.state.lineBuffer.view();
        if (!IsDeviceLine(line))
            continue;
        p.windows.AddListEntry(ListName(line));
    }
}

int FindDevice(Programmer& p) {
    ProgrammerState& s = p.state;
    TextReader reader;
    if (!DeviceFileOpens(p) || !reader.Open(DeviceFilePath(p))) {
        ShowOpenError(p);
        p.windows.EndWindow(ids::kMainWindow, 1);
        return 1;
    }

    bool autodetect = p.windows.IsItemChecked(ids::kMainWindow, ids::kAutodetection);
    std::optional<std::string> wanted;
    if (!autodetect) {
        int selected = p.windows.SelectedListEntry();
        if (selected >= 0)
            wanted = p.windows.ListEntry(selected);
    }

    // The page shift carries over from earlier lines to a line without one,
    // so it is followed line by line; it only reaches the state on a match,
    // so a failed lookup leaves the whole geometry as it was.
    int32_t pageShift = s.pageShift;
    while (ReadTextLine(p, reader) == 0) {
        if (LineWasCut(p))
            continue;
        DeviceEntry entry = ParseDeviceLine(s.lineBuffer.view());
        if (!entry.usable())
            continue;
        if (entry.pageShift)
            pageShift = *entry.pageShift;

        bool match = autodetect ? SignatureMatches(entry, s.signatureHex.view())
                                : (wanted && entry.name == *wanted);
        if (!match)
            continue;

        s.flashWords = entry.flashBytes / 2;
        s.eepromBytes = entry.eepromBytes;
        s.pagedFlash = 0;
        if (entry.paged()) {
            s.pageWords = entry.pageWords;
            s.pagedFlash = 1;
        }
        s.pageShift = pageShift;
        if (autodetect) {
            p.windows.SelectListEntry(FindListEntry(p.windows, entry.name.view()));
            s.deviceDetected = 1;
        }
        return 0;
    }
    s.deviceDetected = 0;
    return 1;
}

}  // namespace ostrel::devices
