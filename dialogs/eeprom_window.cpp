#include "dialogs/eeprom_window.h"

#include <algorithm>
#include <utility>

#include "adapter/adapter.h"
#include "avr/avr.h"
#include "core/fixed_string.h"
#include "core/ids.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::dialogs {

namespace {

constexpr int kWindow = ids::kEepromWindow;
constexpr int kListing = ids::kListing;

// Positions inside a listing line (from 0): the blank after the colon and the two value digits.
constexpr std::size_t kSeparator = 5;
constexpr std::size_t kValueHigh = 6;
constexpr std::size_t kValueLow = 7;
// Characters before the value: the address, the colon and the blank.
constexpr std::size_t kPrefixLength = 6;
// Lines are fetched from the control into a buffer of this size.
using LineBuffer = FixedString<33>;

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The control's line breaks before `index`: the number of the line it is on.
int LineOf(std::string_view text, int index) {
    std::size_t end = std::min(text.size(), static_cast<std::size_t>(index));
    return static_cast<int>(std::count(text.begin(), text.begin() + end, '\n'));
}

// Offset of line `number` in the text, or npos when the text has fewer lines.
std::size_t LineStart(std::string_view text, int number) {
    std::size_t pos = 0;
    for (int line = 0; line < number; ++line) {
        pos = text.find('\n', pos);
        if (pos == std::string_view::npos)
            return pos;
        ++pos;
    }
    return pos;
}

// A line as the control hands it out: without its line end, cut to the buffer.
LineBuffer FetchLine(std::string_view text, int number) {
    LineBuffer line;
    std::size_t start = LineStart(text, number);
    if (start == std::string_view::npos)
        return line;
    std::size_t end = text.find('\n', start);
    std::string_view content =
        text.substr(start, end == std::string_view::npos ? end : end - start);
    if (!content.empty() && content.back() == '\r')
        content.remove_suffix(1);
    line.Assign(content);
    return line;
}

// Characters are compared as the signed characters of the listing: bytes
// from 0x80 up count as below every ASCII character.
bool AboveBlank(char c) {
    auto u = static_cast<unsigned char>(c);
    return u > ' ' && u < 0x80;
}
bool DigitOrAbove(char c) {
    auto u = static_cast<unsigned char>(c);
    return u >= '0' && u < 0x80;
}

}  // namespace

void AppendListingLine(std::string& text, int address, int value) {
    char line[kListingLineLength] = {
        kHexDigits[(address >> 12) & 0xF],
        kHexDigits[(address >> 8) & 0xF],
        kHexDigits[(address >> 4) & 0xF],
        kHexDigits[address & 0xF],
        ':',
        ' ',
        kHexDigits[(value >> 4) & 0xF],
        kHexDigits[value & 0xF],
        ' ',
        '\r',
        '\n',
    };
    text.append(line, sizeof line);
}

std::optional<uint8_t> ParseListingLine(std::string_view line) {
    if (line.size() != static_cast<std::size_t>(kListingLineLength))
        return std::nullopt;
    for (std::size_t i = 0; i < 4; ++i)
        if (HexDigit(line[i]) < 0)
            return std::nullopt;
    if (line[4] != ':' || line[kSeparator] != ' ' || line[8] != ' ' || line[9] != '\r' ||
        line[10] != '\n')
        return std::nullopt;
    int high = HexDigit(line[kValueHigh]);
    int low = HexDigit(line[kValueLow]);
    if (high < 0 || low < 0)
        return std::nullopt;
    return static_cast<uint8_t>(high * 16 + low);
}

void EepromWindow::SetStatus(std::string_view text) {
    p_.windows.SetItemText(kWindow, ids::kEepromStatus, text);
}

void EepromWindow::OnInit() {
    busy_ = true;
    p_.windows.SetItemText(kWindow, kListing, " ");
    SetStatus(texts::kDialogReading);
    p_.windows.Repaint(kWindow);
    ReadAll();
    busy_ = false;
}

void EepromWindow::OnCommand(int id) {
    if (busy_)
        return;
    busy_ = true;
    switch (id) {
        case ids::kReadData:
            p_.windows.SetItemText(kWindow, kListing, " ");
            p_.windows.Repaint(kWindow);
            SetStatus(texts::kDialogReading);
            p_.windows.Repaint(kWindow);
            ReadAll();
            break;
        case ids::kWriteData:
            WriteData();
            break;
        case ids::kEepromExit:
            p_.windows.EndWindow(kWindow, 1);
            break;
        default:
            // Escape included: the window closes only through Exit.
            break;
    }
    busy_ = false;
}

void EepromWindow::OnEditNotify(int id) {
    // Notifications caused by the window's own changes of the listing are not edits.
    if (busy_ || id != kListing)
        return;
    busy_ = true;
    ApplyEditingRules();
    busy_ = false;
}

void EepromWindow::ReadAll() {
    ProgrammerState& s = p_.state;
    const int32_t bytes = std::clamp<int32_t>(s.eepromBytes, 0, kMaxEepromAddresses);
    listedBytes_ = std::min(bytes, kMaxListedBytes);
    reference_.clear();
    reference_.reserve(static_cast<std::size_t>(listedBytes_) * kListingLineLength);
    // Every byte of the EEPROM is read, even those beyond the listing.
    avr::ReadAhead reads(p_);
    auto eeprom = [](int a) { return std::pair<avr::Cell, int32_t>{avr::Cell::Eeprom, a}; };
    for (int32_t address = 0; address < bytes; ++address) {
        s.memAddress = address;
        const int byte = reads.Byte(address, bytes, eeprom);
        if (address < listedBytes_)
            AppendListingLine(reference_, address, byte);
    }
    // A port that stopped answering gave 1s for every read still to come:
    // they are no bytes of the chip, so nothing is listed (and nothing can
    // be written from the listing). The command tells the loss when the
    // window closes.
    if (p_.portLost) {
        reference_.clear();
        listedBytes_ = 0;
        p_.windows.ResetText(kWindow, kListing, " ");
        SetStatus(" ");
        p_.windows.Repaint(kWindow);
        return;
    }
    p_.windows.ResetText(kWindow, kListing, reference_);
    SetStatus(" ");
    p_.windows.Repaint(kWindow);
}

void EepromWindow::PutReferenceBack() {
    p_.windows.ResetText(kWindow, kListing, reference_);
}

void EepromWindow::ApplyEditingRules() {
    WindowSystem& w = p_.windows;
    TextSelection selection = w.Selection(kWindow, kListing);
    const int start = std::max(selection.start, 0);
    if (start == 0 && selection.end == 0)
        return;
    const bool modified = w.IsModified(kWindow, kListing);
    // Inside the first line's address.
    if (start < static_cast<int>(kPrefixLength) && modified) {
        PutReferenceBack();
        return;
    }
    // Column of the caret; a caret at the very start of a line after the
    // first counts as the end of the line before.
    const int column = start <= kListingLineLength ? start : ((start - 1) % kListingLineLength) + 1;
    if (column < static_cast<int>(kPrefixLength)) {
        if (modified)
            PutReferenceBack();
        return;
    }
    if (!modified)
        return;

    const std::string text = w.ItemText(kWindow, kListing);
    const int number = LineOf(text, start);
    const LineBuffer line = FetchLine(text, number);
    // Something typed over the blank after the colon.
    if (AboveBlank(line.at(kSeparator))) {
        PutReferenceBack();
        return;
    }
    // A line whose address part changed is left as the user made it.
    const std::size_t offset = static_cast<std::size_t>(number) * kListingLineLength;
    if (offset + kListingLineLength > reference_.size())
        return;
    if (line.size() < kPrefixLength ||
        line.view().substr(0, kPrefixLength) !=
            std::string_view(reference_).substr(offset, kPrefixLength))
        return;
    // The value digits typed so far become part of the reference.
    if (DigitOrAbove(line.at(kValueHigh)))
        reference_[offset + kValueHigh] = line.at(kValueHigh);
    if (DigitOrAbove(line.at(kValueLow)))
        reference_[offset + kValueLow] = line.at(kValueLow);
}

bool EepromWindow::CheckListing(std::string_view text, int dataLines) {
    WindowSystem& w = p_.windows;
    if (dataLines > listedBytes_) {
        FixedString<160> message;
        message.Format(
            "The listing has %d lines, but only %d bytes were read.\n\nNothing was written.",
            dataLines, listedBytes_);
        w.MessageBox(kWindow, message.view(), texts::kTitleError, MsgButtons::Ok,
                     MessageKind::Error);
        return false;
    }
    std::size_t pos = 0;
    for (int number = 0; number < dataLines; ++number) {
        std::size_t end = text.find('\n', pos);  // present: dataLines counts them
        std::string_view line = text.substr(pos, end + 1 - pos);
        pos = end + 1;
        if (ParseListingLine(line)) {
            // Every line goes to the address of its place in the listing. A
            // line whose address text names another place shows that lines
            // were removed, joined or pasted: its value and every later one
            // would land at the wrong address.
            int written = 0;
            for (std::size_t i = 0; i < 4; ++i)
                written = written * 16 + HexDigit(line[i]);
            if (written == number)
                continue;
            FixedString<160> message;
            message.Format(
                "Line %d says address %.4s, but it stands at address %04X.\n\nLines were "
                "removed or added; nothing was written. Read Data lists the chip again.",
                number + 1, std::string(line.substr(0, 4)).c_str(), static_cast<unsigned>(number));
            w.MessageBox(kWindow, message.view(), texts::kTitleError, MsgButtons::Ok,
                         MessageKind::Error);
            return false;
        }
        // Show the line as the control holds it, its line end dropped and
        // control characters made visible.
        LineBuffer shown = FetchLine(line, 0);
        std::string visible(shown.view());
        for (char& c : visible)
            if (static_cast<unsigned char>(c) < ' ')
                c = '?';
        FixedString<96> message;
        message.Format("Line %d is not in the listing format:\n\n%s", number + 1, visible.c_str());
        w.MessageBox(kWindow, message.view(), texts::kTitleError, MsgButtons::Ok,
                     MessageKind::Error);
        return false;
    }
    return true;
}

void EepromWindow::WriteData() {
    ProgrammerState& s = p_.state;
    WindowSystem& w = p_.windows;
    SetStatus(texts::kDialogWriting);
    w.Repaint(kWindow);

    std::string text = w.ItemText(kWindow, kListing);
    // A last line whose line end was deleted is still a line of the listing:
    // it is checked and written like every other rather than dropped without
    // a word. Blanks after the final line end are no line.
    std::size_t tail = text.rfind('\n');
    tail = tail == std::string::npos ? 0 : tail + 1;
    if (text.find_first_not_of(" \t", tail) != std::string::npos)
        text.append("\r\n");
    const int dataLines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    if (!CheckListing(text, dataLines)) {
        SetStatus(" ");
        w.Repaint(kWindow);
        return;
    }

    // Each line goes to the address of its place in the listing; the address
    // text is not read. Only bytes that differ from the chip are written.
    std::size_t pos = 0;
    bool lockChecked = false;
    avr::ReadAhead reads(p_);
    auto eeprom = [](int a) { return std::pair<avr::Cell, int32_t>{avr::Cell::Eeprom, a}; };
    for (int32_t address = 0; address < dataLines; ++address) {
        std::size_t end = text.find('\n', pos);
        s.memData = *ParseListingLine(std::string_view(text).substr(pos, end + 1 - pos));
        pos = end + 1;
        s.memAddress = address;
        if (reads.Byte(address, dataLines, eeprom) == s.memData)
            continue;
        // A chip in lock mode 2 or 3 ignores every write: say so before the
        // first one rather than poll it until the polling gives up.
        const bool locked = !lockChecked && avr::CheckLockAllows(p_, avr::ChipAccess::Program) != 0;
        lockChecked = true;
        if (locked) {
            w.MessageBox(ids::kNoOwner, s.errorText.view(), "Error", MsgButtons::Ok,
                         MessageKind::Error);
            SetStatus(" ");
            w.Repaint(kWindow);
            return;
        }
        avr::WriteEeprom(p_);
        if (!avr::PollUntilWritten(p_, avr::WrittenByte::Eeprom)) {
            w.MessageBox(ids::kNoOwner, texts::kWriteError, "", MsgButtons::Ok, MessageKind::Error);
            SetStatus(" ");
            w.Repaint(kWindow);
            return;
        }
    }
    SetStatus(" ");
    w.Repaint(kWindow);
}

}  // namespace ostrel::dialogs
