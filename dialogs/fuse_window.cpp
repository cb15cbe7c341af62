#include "dialogs/fuse_window.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "avr/avr.h"
#include "core/ids.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::dialogs {

namespace {

using devices::FuseByte;
using devices::kFuseByteCount;

constexpr int kWindow = ids::kFusesWindow;
constexpr int kPlaces = kFuseByteCount * ids::kFuseSlotsPerByte;

// The lock byte goes last: a locked chip takes no more fuse writes.
constexpr std::array<FuseByte, kFuseByteCount> kWriteOrder = {FuseByte::kLow, FuseByte::kHigh,
                                                              FuseByte::kExtended, FuseByte::kLock};

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFU);
    return text;
}

std::string ByteName(FuseByte byte) {
    return std::string(devices::FuseByteName(byte));
}

// The byte field's text: two hexadecimal digits, nothing else (one digit is
// a value half typed).
bool ParseByte(std::string_view text, uint8_t& value) {
    if (text.size() != 2)
        return false;
    int result = 0;
    for (char c : text) {
        const int digit = HexDigit(c);
        if (digit < 0)
            return false;
        result = result * 16 + digit;
    }
    value = static_cast<uint8_t>(result);
    return true;
}

}  // namespace

std::string FuseCheckText(const devices::FuseField& field) {
    const std::string_view meaning = field.meaning.substr(0, field.meaning.find(" ("));
    return std::string(field.name) + ": " + std::string(meaning);
}

std::string FuseChoiceText(const devices::FuseChip& chip, const devices::FuseField& field,
                           uint8_t bits) {
    const int width = std::popcount(field.mask);
    std::string text;
    for (int i = width - 1; i >= 0; --i)
        text += ((bits >> i) & 1U) != 0 ? '1' : '0';
    // The decoder's words for this value, without the field's meaning before them.
    const uint8_t value = devices::WithFieldBits(field, 0xFF, bits);
    for (const devices::DecodedField& decoded : devices::DecodeFuseByte(chip, field.byte, value)) {
        if (decoded.name != field.name)
            continue;
        std::string_view words = decoded.words;
        const std::string prefix = std::string(field.meaning) + ": ";
        if (words.starts_with(prefix))
            words.remove_prefix(prefix.size());
        text += ": ";
        text += words;
    }
    return text;
}

void FuseWindow::SetStatus(std::string_view text) {
    p_.windows.SetItemText(kWindow, ids::kFuseStatus, text);
}

void FuseWindow::Enable(bool enabled) {
    p_.windows.EnableItem(kWindow, ids::kFuseWrite, enabled);
    p_.windows.EnableItem(kWindow, ids::kFuseRestore, enabled);
}

void FuseWindow::OnInit() {
    chip_ = devices::FindFuseChip(p_.state.signatureHex.view());
    if (chip_ == nullptr) {
        SetStatus("There is no fuse table for the chip with the signature " +
                  std::string(p_.state.signatureHex.view()) +
                  ": its fuses cannot be shown by name (Serial Programming Instructions "
                  "sends raw instructions).");
        Enable(false);
        p_.windows.EnableItem(kWindow, ids::kFuseRead, false);
        return;
    }
    Lay();
    ReadAll();
}

void FuseWindow::Lay() {
    WindowSystem& w = p_.windows;
    std::array<int, kFuseByteCount> used{};
    for (const devices::FuseField& field : chip_->fields) {
        const int b = static_cast<int>(field.byte);
        if (used[b] == ids::kFuseSlotsPerByte)
            continue;  // cannot happen: a byte has eight bits
        const int place = b * ids::kFuseSlotsPerByte + used[b]++;
        Place& shown = places_[place];
        shown.field = &field;
        shown.choice = std::popcount(field.mask) > 1 || !field.values.empty();
        if (shown.choice) {
            const int count = 1 << std::popcount(field.mask);
            for (int bits = 0; bits < count; ++bits)
                shown.choices.push_back(FuseChoiceText(*chip_, field, static_cast<uint8_t>(bits)));
            w.SetItemText(kWindow, ids::kFuseName0 + place, field.name);
            w.SetChoices(kWindow, ids::kFuseChoice0 + place, shown.choices);
        } else {
            w.SetItemText(kWindow, ids::kFuseCheck0 + place, FuseCheckText(field));
        }
    }
    // Each place shows the control its field needs, or nothing.
    for (int place = 0; place < kPlaces; ++place) {
        const Place& shown = places_[place];
        w.ShowItem(kWindow, ids::kFuseCheck0 + place, shown.field != nullptr && !shown.choice);
        w.ShowItem(kWindow, ids::kFuseName0 + place, shown.field != nullptr && shown.choice);
        w.ShowItem(kWindow, ids::kFuseChoice0 + place, shown.field != nullptr && shown.choice);
    }
    for (int b = 0; b < kFuseByteCount; ++b) {
        const bool has = devices::HasByte(*chip_, static_cast<FuseByte>(b));
        w.ShowItem(kWindow, ids::kFuseGroup0 + b, has);
        w.ShowItem(kWindow, ids::kFuseHex0 + b, has);
    }
}

void FuseWindow::ReadAll() {
    SetStatus(texts::kDialogReading);
    p_.windows.Repaint(kWindow);
    for (int b = 0; b < kFuseByteCount; ++b) {
        const auto byte = static_cast<FuseByte>(b);
        read_[b] = devices::HasByte(*chip_, byte) ? avr::ReadFuseByte(p_, *chip_, byte) : 0xFF;
    }
    values_ = read_;
    Show(-1);
    if (!avr::StillAnswersAfterFuses(p_, *chip_, read_[static_cast<int>(FuseByte::kLock)])) {
        SetStatus("The chip no longer answers as it did: the bytes shown are not sure.");
        Enable(false);
        return;
    }
    Enable(true);
    SetStatus(std::string(chip_->name) + ", as read. A ticked box is a programmed bit (0).");
}

void FuseWindow::Show(int except) {
    WindowSystem& w = p_.windows;
    for (int b = 0; b < kFuseByteCount; ++b) {
        if (b != except && devices::HasByte(*chip_, static_cast<FuseByte>(b)))
            w.SetItemText(kWindow, ids::kFuseHex0 + b, Hex(values_[b]).substr(2));
    }
    for (int place = 0; place < kPlaces; ++place) {
        const Place& shown = places_[place];
        if (shown.field == nullptr)
            continue;
        const uint8_t bits =
            devices::FieldBits(*shown.field, values_[static_cast<int>(shown.field->byte)]);
        if (shown.choice) {
            w.SetItemText(kWindow, ids::kFuseChoice0 + place, shown.choices.at(bits));
        } else {
            w.CheckItem(kWindow, ids::kFuseCheck0 + place, bits == 0);
        }
    }
}

void FuseWindow::OnCommand(int id) {
    if (id == ids::kFuseClose) {
        p_.windows.EndWindow(kWindow, 1);
        return;
    }
    if (chip_ == nullptr)
        return;
    switch (id) {
        case ids::kFuseRead:
            ReadAll();
            return;
        case ids::kFuseWrite:
            Write();
            return;
        case ids::kFuseRestore:
            RestoreFactory();
            return;
        default:
            break;
    }
    // A check box: ticked is programmed (0).
    const int place = id - ids::kFuseCheck0;
    if (place < 0 || place >= kPlaces || places_[place].field == nullptr || places_[place].choice)
        return;
    const devices::FuseField& field = *places_[place].field;
    const int b = static_cast<int>(field.byte);
    if ((field.mask & ~devices::WritableBits(*chip_, field.byte)) != 0) {
        Show(-1);
        SetStatus(std::string(field.name) + " cannot be changed by serial programming on the " +
                  std::string(chip_->name) + ".");
        return;
    }
    const bool programmed = p_.windows.IsItemChecked(kWindow, id);
    values_[b] = devices::WithFieldBits(field, values_[b], programmed ? 0 : 1);
    Show(-1);
    SetStatus("Changed; Write writes it to the chip.");
}

void FuseWindow::OnEditNotify(int id) {
    if (chip_ == nullptr)
        return;
    WindowSystem& w = p_.windows;
    const int hex = id - ids::kFuseHex0;
    if (hex >= 0 && hex < kFuseByteCount) {
        uint8_t value = 0;
        // Half typed: the fields follow once the value is whole.
        if (!ParseByte(w.ItemText(kWindow, id), value))
            return;
        values_[hex] = value;
        Show(hex);
        SetStatus("Changed; Write writes it to the chip.");
        return;
    }
    const int place = id - ids::kFuseChoice0;
    if (place < 0 || place >= kPlaces || places_[place].field == nullptr || !places_[place].choice)
        return;
    const Place& shown = places_[place];
    const auto chosen =
        std::find(shown.choices.begin(), shown.choices.end(), w.ItemText(kWindow, id));
    if (chosen == shown.choices.end())
        return;
    const int b = static_cast<int>(shown.field->byte);
    values_[b] = devices::WithFieldBits(*shown.field, values_[b],
                                        static_cast<uint8_t>(chosen - shown.choices.begin()));
    Show(-1);
    SetStatus("Changed; Write writes it to the chip.");
}

void FuseWindow::Write() {
    WindowSystem& w = p_.windows;
    // A bit the serial interface cannot write (SPIEN on the AT90S chips) is
    // no change this window can make.
    for (FuseByte byte : kWriteOrder) {
        const int b = static_cast<int>(byte);
        const uint8_t fixed = chip_->used[b] & ~devices::WritableBits(*chip_, byte);
        if (((read_[b] ^ values_[b]) & fixed) != 0) {
            SetStatus("The " + ByteName(byte) +
                      " byte: serial programming changes only the "
                      "bits under " +
                      Hex(devices::WritableBits(*chip_, byte)) +
                      " (not SPIEN). Nothing was written.");
            return;
        }
    }
    // Every byte is judged before the first is written.
    bool any = false;
    for (FuseByte byte : kWriteOrder) {
        const int b = static_cast<int>(byte);
        if (((read_[b] ^ values_[b]) & chip_->used[b]) == 0)
            continue;
        any = true;
        const devices::GuardResult verdict =
            avr::JudgeFuseWrite(p_, chip_, byte, read_[b], values_[b]);
        const std::string what =
            "The " + ByteName(byte) + " byte " + Hex(values_[b]) + ": " + verdict.words;
        MsgResult answer = MsgResult::Ok;
        if (verdict.verdict == devices::GuardVerdict::kRefuse) {
            answer = w.MessageBox(kWindow,
                                  what +
                                      "\n\nOnly a high-voltage programmer undoes this. Write it "
                                      "all the same?",
                                  texts::kTitleWarning, MsgButtons::OkCancelDefaultCancel,
                                  MessageKind::Warning);
        } else if (verdict.verdict == devices::GuardVerdict::kAsk) {
            answer = w.MessageBox(kWindow, what + "\n\nWrite it?", texts::kTitleWarning,
                                  MsgButtons::OkCancel, MessageKind::Warning);
        }
        if (answer != MsgResult::Ok) {
            SetStatus("Nothing was written.");
            return;
        }
    }
    if (!any) {
        SetStatus("The chip already holds these values: nothing to write.");
        return;
    }
    SetStatus(texts::kDialogWriting);
    w.Repaint(kWindow);
    for (FuseByte byte : kWriteOrder) {
        const int b = static_cast<int>(byte);
        if (((read_[b] ^ values_[b]) & chip_->used[b]) != 0)
            avr::WriteFuseByte(p_, *chip_, byte,
                               static_cast<uint8_t>(values_[b] | ~chip_->used[b]));
    }
    // Read back and compare the bits in use.
    const std::array<uint8_t, kFuseByteCount> wanted = values_;
    std::string differs;
    for (int b = 0; b < kFuseByteCount; ++b) {
        const auto byte = static_cast<FuseByte>(b);
        if (!devices::HasByte(*chip_, byte))
            continue;
        read_[b] = avr::ReadFuseByte(p_, *chip_, byte);
        if (((read_[b] ^ wanted[b]) & chip_->used[b]) != 0)
            differs += "The " + ByteName(byte) + " byte reads " + Hex(read_[b]) + " where " +
                       Hex(wanted[b]) + " was written.\n";
    }
    values_ = read_;
    Show(-1);
    if (differs.empty() &&
        !avr::StillAnswersAfterFuses(p_, *chip_, read_[static_cast<int>(FuseByte::kLock)]))
        differs = "The chip no longer answers as it did: the bytes read back are not sure.\n";
    if (!differs.empty()) {
        SetStatus("Write failed: the chip holds other values.");
        w.MessageBox(kWindow, differs + "\nThe window shows what the chip holds now.",
                     texts::kTitleError, MsgButtons::Ok, MessageKind::Error);
        return;
    }
    SetStatus("Written and read back. The new values act from the chip's next reset.");
}

void FuseWindow::RestoreFactory() {
    // The lock bits stay: only a chip erase unprograms them again.
    std::array<bool, devices::kFuseByteCount> touched{};
    devices::ApplyFactoryFuses(*chip_, values_, touched);
    Show(-1);
    Write();
}

}  // namespace ostrel::dialogs
