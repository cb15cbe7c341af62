#include "ui/control_table.h"

#include <array>

#include "core/ids.h"

namespace ostrel::ui {

namespace {

using K = ControlKind;

constexpr unsigned kCommand = kStartsCommand;

// The system's main window, and three additions of ours in the strip below
// the two fields, where the system keeps only hidden controls: the port in use
// (always), and while a command runs the progress bar under the activity line
// and the Stop button beside it.
constexpr std::array kMainWindow = {
    ControlEntry{0, K::GroupBox, "Code + Data", 12, 12, 86, 92},
    ControlEntry{ids::kRead, K::PushButton, "Read", 21, 25, 68, 15, kCommand},
    ControlEntry{ids::kWrite, K::PushButton, "Write", 21, 47, 68, 14, kCommand},
    ControlEntry{ids::kEraseBeforeWrite, K::CheckBox, "Erase bef. Write", 24, 64, 70, 8, kChecked},
    ControlEntry{ids::kVerify, K::PushButton, "Verify", 22, 78, 68, 15, kCommand},
    ControlEntry{0, K::GroupBox, "HW", 108, 12, 77, 92},
    ControlEntry{ids::kCheck, K::PushButton, "Check", 117, 26, 58, 14, kCommand},
    ControlEntry{ids::kDeviceList, K::ComboBox, "", 117, 48, 58, 67, kDisabled},
    ControlEntry{ids::kAutodetection, K::CheckBox, "Autodetection", 117, 63, 64, 12,
                 kChecked | kCommand},
    ControlEntry{ids::kResetRun, K::PushButton, "Reset/Run", 117, 82, 58, 14, kCommand},
    ControlEntry{0, K::Label, "Current File:", 15, 123, 52, 8},
    ControlEntry{ids::kCurrentFile, K::Edit, "", 12, 134, 80, 12, kDisabled},
    ControlEntry{0, K::Label, "Activity:", 106, 123, 30, 8},
    ControlEntry{ids::kActivity, K::Edit, "", 104, 134, 80, 12, kDisabled},
    ControlEntry{ids::kQuick, K::PushButton, "quick", 45, 148, 24, 10, kHidden | kCommand},
    ControlEntry{ids::kRelease, K::PushButton, "release", 12, 148, 30, 10, kHidden | kCommand},
    ControlEntry{ids::kMosiBox, K::CheckBox, "MOSI", 96, 149, 35, 9, kHidden | kCommand},
    ControlEntry{ids::kSckBox, K::CheckBox, "SCK", 139, 149, 35, 9, kHidden | kCommand},
    ControlEntry{ids::kPortDisplay, K::Label, "", 14, 149, 78, 8},
    ControlEntry{ids::kProgressBar, K::ProgressBar, "", 104, 149, 40, 9, kHidden | kWhileBusy},
    ControlEntry{ids::kStop, K::PushButton, "Stop", 148, 147, 36, 12, kHidden | kWhileBusy},
};

constexpr std::array kInstructionsDialog = {
    ControlEntry{0, K::GroupBox, "Lock Bits", 20, 8, 72, 58},
    ControlEntry{ids::kLb1, K::CheckBox, "LB1", 30, 20, 28, 8},
    ControlEntry{ids::kLb2, K::CheckBox, "LB2", 30, 32, 44, 8},
    ControlEntry{ids::kWriteLockBits, K::PushButton, "Write Lock Bits", 27, 48, 58, 12},
    ControlEntry{ids::kReadLockBits, K::PushButton, "Read Lock Bits", 140, 0, 58, 12, kHidden},
    ControlEntry{0, K::GroupBox, "RCEN", 104, 8, 74, 58},
    ControlEntry{ids::kReadRcen, K::PushButton, "Read RCEN", 114, 20, 55, 12},
    ControlEntry{ids::kRcenBox, K::CheckBox, "RCEN", 128, 36, 38, 8},
    ControlEntry{ids::kWriteRcen, K::PushButton, "Write RCEN", 114, 48, 56, 12},
    ControlEntry{0, K::Label, "Status", 44, 76, 28, 8},
    ControlEntry{ids::kInstrStatus, K::Edit, "", 74, 74, 74, 12, kDisabled},
    ControlEntry{0, K::WrappedLabel,
                 "Use Serial Programming Instructions for all Fuse- and Lock Bits", 14, 106, 176,
                 16},
    ControlEntry{0, K::GroupBox, "Byte", 13, 132, 105, 40},
    ControlEntry{0, K::Label, "1", 30, 143, 6, 8},
    ControlEntry{0, K::Label, "2", 52, 143, 6, 8},
    ControlEntry{0, K::Label, "3", 74, 143, 6, 8},
    ControlEntry{0, K::Label, "4", 97, 143, 6, 8},
    ControlEntry{ids::kByte1, K::ByteEdit, "", 23, 153, 18, 12},
    ControlEntry{ids::kByte2, K::ByteEdit, "", 45, 153, 18, 12},
    ControlEntry{ids::kByte3, K::ByteEdit, "", 67, 153, 18, 12},
    ControlEntry{ids::kByte4, K::ByteEdit, "", 90, 153, 18, 12},
    ControlEntry{ids::kSendRec, K::DefaultButton, "Send/Rec.", 136, 129, 50, 14},
    ControlEntry{ids::kInstrHelp, K::PushButton, "Help", 136, 150, 50, 14},
    ControlEntry{ids::kDone, K::PushButton, "Done", 136, 174, 50, 14},
    ControlEntry{0, K::Label, "Look in the AVR datasheet for details", 7, 177, 128, 8},
};

constexpr std::array kEepromWindow = {
    ControlEntry{ids::kListing, K::ListingEdit, "", 20, 10, 65, 75},
    ControlEntry{ids::kReadData, K::PushButton, "Read Data", 95, 10, 44, 12},
    ControlEntry{ids::kWriteData, K::PushButton, "Write Data", 95, 30, 44, 12},
    ControlEntry{ids::kEepromStatus, K::BorderlessEdit, "", 95, 50, 44, 12},
    ControlEntry{ids::kEepromExit, K::DefaultButton, "Exit", 95, 65, 44, 14},
};

// The Fuses window: the chip's line at the top, one group per byte (its
// value in hexadecimal at the left, eight places for its fields in two
// columns), the buttons at the foot. Every place holds a check box, and a
// name with a choice list over it; all start hidden, and the window shows
// what the chip's table has.
constexpr int kFuseGroupTop = 22;
constexpr int kFuseGroupStep = 76;
constexpr int kFuseRowStep = 14;
constexpr int kFuseColumnStep = 194;
constexpr int kFuseButtonsY = 330;
constexpr std::array<const char*, 4> kFuseGroupTitles = {"Low fuse byte", "High fuse byte",
                                                         "Extended fuse byte", "Lock byte"};
constexpr int kFuseControls = 5 + 4 * (2 + 3 * ids::kFuseSlotsPerByte);

constexpr std::array<ControlEntry, kFuseControls> FusesWindowTable() {
    std::array<ControlEntry, kFuseControls> table{};
    std::size_t n = 0;
    table[n++] = {ids::kFuseStatus, K::Edit, "", 8, 6, 424, 12, kDisabled};
    for (int b = 0; b < 4; ++b) {
        const int top = kFuseGroupTop + b * kFuseGroupStep;
        table[n++] = {
            ids::kFuseGroup0 + b, K::GroupBox, kFuseGroupTitles[b], 8, top, 424, 72, kHidden};
        table[n++] = {ids::kFuseHex0 + b, K::ByteEdit, "", 16, top + 12, 20, 12, kHidden};
        for (int f = 0; f < ids::kFuseSlotsPerByte; ++f) {
            const int place = b * ids::kFuseSlotsPerByte + f;
            const int x = 44 + (f % 2) * kFuseColumnStep;
            const int y = top + 12 + (f / 2) * kFuseRowStep;
            table[n++] = {ids::kFuseCheck0 + place, K::CheckBox, "", x, y + 2, 188, 10, kHidden};
            table[n++] = {ids::kFuseName0 + place, K::Label, "", x, y + 2, 42, 8, kHidden};
            table[n++] = {ids::kFuseChoice0 + place, K::ComboBox, "", x + 42, y, 146, 90, kHidden};
        }
    }
    table[n++] = {ids::kFuseRead, K::PushButton, "Read", 8, kFuseButtonsY, 50, 14};
    table[n++] = {ids::kFuseWrite, K::PushButton, "Write", 64, kFuseButtonsY, 50, 14};
    table[n++] = {
        ids::kFuseRestore, K::PushButton, "Restore Factory Values", 120, kFuseButtonsY, 90, 14};
    table[n++] = {ids::kFuseClose, K::PushButton, "Close", 382, kFuseButtonsY, 50, 14};
    return table;
}
constexpr std::array kFusesWindow = FusesWindowTable();

// A thin line at the top and one above the file fields, each of two line
// pieces 100 units long, with a row of dots at its right end.
constexpr std::array kMainWindowLines = {
    DecorationLine{12, 3, 100, 0},
    DecorationLine{86, 3, 100, 0},
    DecorationLine{12, 115, 100, 0},
    DecorationLine{86, 115, 100, 0},
};
constexpr std::array kMainWindowDots = {
    DotRow{138, 177, 3},
    DotRow{141, 180, 115},
};
// Two thin lines part the bit commands from the free instruction.
constexpr std::array kInstructionsDialogLines = {
    DecorationLine{16, 96, 100, 2},
    DecorationLine{80, 96, 100, 2},
};

}  // namespace

std::span<const ControlEntry> MainWindowControls() {
    return kMainWindow;
}
std::span<const ControlEntry> InstructionsDialogControls() {
    return kInstructionsDialog;
}
std::span<const ControlEntry> EepromWindowControls() {
    return kEepromWindow;
}

std::span<const ControlEntry> FusesWindowControls() {
    return kFusesWindow;
}

std::span<const ControlEntry> ControlsOf(int window) {
    switch (window) {
        case ids::kMainWindow:
            return kMainWindow;
        case ids::kInstructionsDialog:
            return kInstructionsDialog;
        case ids::kEepromWindow:
            return kEepromWindow;
        case ids::kFusesWindow:
            return kFusesWindow;
        default:
            return {};
    }
}

WindowFrame FrameOf(int window) {
    switch (window) {
        case ids::kMainWindow:
            return {"AVR-Programmer", 198, 162};
        case ids::kInstructionsDialog:
            return {"Serial Programming Instructions", 202, 205};
        case ids::kEepromWindow:
            return {"EEPROM (max. 2048 bytes)", 154, 95};
        case ids::kWiringDialog:
            return {"PC-Parallel-Port <---> AVR", 394, 206};
        case ids::kFusesWindow:
            return {"Fuses and Lock Bits", 440, 350};
        default:
            return {"", 120, 60};
    }
}

std::span<const DecorationLine> DecorationLinesOf(int window) {
    switch (window) {
        case ids::kMainWindow:
            return kMainWindowLines;
        case ids::kInstructionsDialog:
            return kInstructionsDialogLines;
        default:
            return {};
    }
}

std::span<const DotRow> DotRowsOf(int window) {
    if (window == ids::kMainWindow)
        return kMainWindowDots;
    return {};
}

PicturePlace WiringPicturePlace() {
    // The drawing's 1024 x 560 at its own proportions.
    return {7, 7, 380, 192};
}

}  // namespace ostrel::ui
