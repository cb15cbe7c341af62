#include "dialogs/instructions_dialog.h"

#include <array>
#include <string>

#include "adapter/adapter.h"
#include "avr/avr.h"
#include "core/activity.h"
#include "core/fixed_string.h"
#include "core/ids.h"
#include "devices/chip_lists.h"
#include "devices/fuse_tables.h"
#include "dialogs/help.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::dialogs {

namespace {

constexpr int kDialog = ids::kInstructionsDialog;

constexpr std::array<int, 4> kByteFields = {ids::kByte1, ids::kByte2, ids::kByte3, ids::kByte4};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Clears the busy mark when a command ends, on every path.
class BusyScope {
  public:
    explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyScope() { busy_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    bool& busy_;
};

}  // namespace

std::optional<uint8_t> ParseByteField(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    if (text.size() != 2)
        return std::nullopt;
    int high = HexDigit(text[0]);
    int low = HexDigit(text[1]);
    if (high < 0 || low < 0)
        return std::nullopt;
    return static_cast<uint8_t>(high * 16 + low);
}

uint16_t LockBitsWord(bool lb1, bool lb2) {
    uint16_t word = 0xACFF;
    if (lb1)
        word &= static_cast<uint16_t>(~0x0002);
    if (lb2)
        word &= static_cast<uint16_t>(~0x0004);
    return word;
}

void InstructionsDialog::OnInit() {
    WindowSystem& w = p_.windows;
    // The Read Lock Bits instruction, ready to send.
    w.SetItemText(kDialog, ids::kByte1, "58");
    w.SetItemText(kDialog, ids::kByte2, "00");
    w.SetItemText(kDialog, ids::kByte3, "00");
    w.SetItemText(kDialog, ids::kByte4, "00");
    w.EnableItem(kDialog, ids::kRcenBox, false);
    w.EnableItem(kDialog, ids::kWriteRcen, false);
    w.EnableItem(kDialog, ids::kWriteLockBits, false);
    lockBitsAllowed_ = devices::LockBitsListed(p_.state.signatureHex.view());
    if (lockBitsAllowed_)
        w.EnableItem(kDialog, ids::kWriteLockBits, true);
}

void InstructionsDialog::OnCommand(int id) {
    if (busy_)
        return;
    BusyScope scope(busy_);
    switch (id) {
        case ids::kSendRec:
            SendReceive();
            break;
        case ids::kInstrHelp:
            HelpTopics(p_);
            break;
        case ids::kDone:
            Done();
            break;
        case ids::kReadRcen:
            ReadRcen();
            break;
        case ids::kWriteRcen:
            WriteRcen();
            break;
        case ids::kWriteLockBits:
            // The button is disabled for other chips; a stray click does nothing.
            if (lockBitsAllowed_)
                WriteLockBits();
            break;
        default:
            // LB1, LB2 and RCEN toggle themselves; their state is read when needed.
            break;
    }
}

// --- shared steps -------------------------------------------------------

void InstructionsDialog::SetStatus(std::string_view text) {
    p_.windows.SetItemText(kDialog, ids::kInstrStatus, text);
}

void InstructionsDialog::EnableStatus(bool enabled) {
    p_.windows.EnableItem(kDialog, ids::kInstrStatus, enabled);
    p_.windows.Repaint(kDialog);
}

bool InstructionsDialog::CommonStart() {
    p_.windows.EnableItem(kDialog, ids::kInstrStatus, true);
    SetStatus(texts::kConnecting);
    p_.windows.Repaint(kDialog);
    if (avr::Connect(p_) == 0)
        return true;
    ConnectFailed();
    return false;
}

void InstructionsDialog::ConnectFailed() {
    EnableStatus(true);
    SetStatus(" ");
    p_.state.activityText.Assign(" ");
    core::ShowActivity(p_);
    p_.windows.MessageBox(kDialog, core::FailureText(p_), texts::kTitleError, MsgButtons::Ok,
                          MessageKind::Error);
    EnableStatus(false);
}

void InstructionsDialog::CommonEnd() {
    // A port that stopped answering did none of it: the command tells the
    // loss when the dialog closes.
    SetStatus(p_.portLost ? " " : texts::kOk);
    p_.windows.Repaint(kDialog);
    adapter::ReadingPause(p_);
    EnableStatus(false);
}

void InstructionsDialog::NotAvailable() {
    SetStatus(" ");
    p_.windows.MessageBox(ids::kNoOwner, texts::kFunctionNotAvailable, "", MsgButtons::Ok,
                          MessageKind::Warning);
    p_.windows.CheckItem(kDialog, ids::kRcenBox, false);
    EnableStatus(false);
}

void InstructionsDialog::ShowRcenBit() {
    p_.windows.CheckItem(kDialog, ids::kRcenBox, (p_.state.lockBitsAnswer & 1) == 0);
}

bool InstructionsDialog::ReadByteFields(uint8_t (&bytes)[4]) {
    for (std::size_t i = 0; i < kByteFields.size(); ++i) {
        std::optional<uint8_t> value = ParseByteField(p_.windows.ItemText(kDialog, kByteFields[i]));
        if (!value) {
            FixedString<64> text;
            text.Format("Byte %d must be two hexadecimal digits.", static_cast<int>(i + 1));
            p_.windows.MessageBox(kDialog, text.view(), texts::kTitleError, MsgButtons::Ok,
                                  MessageKind::Error);
            return false;
        }
        bytes[i] = *value;
    }
    return true;
}

// --- commands -----------------------------------------------------------

void InstructionsDialog::SendReceive() {
    // What the chip does with an instruction made of a mistyped field is
    // anyone's guess, so nothing at all happens until all four are bytes.
    uint8_t bytes[4] = {};
    if (!ReadByteFields(bytes))
        return;

    ProgrammerState& s = p_.state;
    core::SetActivityField(p_, "  ");
    if (!CommonStart())
        return;
    core::SetActivityField(p_, "  ");
    if (!RawWriteAllowed(bytes))
        return;
    p_.windows.Repaint(kDialog);
    adapter::WaitMs(p_, 100);

    // Anything but a read of the memories, the signature or the fuse and
    // lock bytes may change the chip.
    const uint8_t op = bytes[0];
    if (op != 0x20 && op != 0x28 && op != 0xA0 && op != 0x30 && op != 0x38 &&
        !(op >= 0x50 && op <= 0x5F))
        p_.chipChangeSent = true;
    // Each half goes out 5 ms after the last line change, as typed.
    s.txWord = (bytes[0] << 8) | bytes[1];
    adapter::WaitMs(p_, 5);
    adapter::TransferWord(p_);
    const uint32_t firstHalf = s.rxShift & 0xFFFF;
    s.txWord = (bytes[2] << 8) | bytes[3];
    adapter::WaitMs(p_, 5);
    adapter::TransferWord(p_);
    const uint32_t answer = (firstHalf << 16) | (s.rxShift & 0xFFFF);
    // The 1s of a lost port are no answer of the chip: the fields keep what was typed.
    if (p_.portLost) {
        CommonEnd();
        return;
    }

    // The answer as eight digits; the chip's bytes 3 and 4 replace the typed
    // ones (a read instruction answers in byte 4), bytes 1 and 2 stay as typed.
    FixedString<9> digits;
    digits.Format("%08X", static_cast<unsigned>(answer));
    p_.windows.SetItemText(kDialog, ids::kByte3, digits.view().substr(4, 2));
    p_.windows.SetItemText(kDialog, ids::kByte4, digits.view().substr(6, 2));
    CommonEnd();
}

bool InstructionsDialog::RawWriteAllowed(const uint8_t bytes[4]) {
    // A fuse or lock write that locks serial programming out is asked first,
    // naming what happens; Cancel sends nothing. The value is judged against
    // the chip's factory value, so no extra instruction goes to the chip.
    const devices::FuseChip* chip = devices::FindFuseChip(p_.state.signatureHex.view());
    devices::FuseByte byte{};
    if (!devices::FuseByteOfWrite(chip, bytes[0], bytes[1], &byte))
        return true;
    if (chip == nullptr) {
        core::SetActivityField(p_, "Fuse value not checked: no fuse table for this chip");
        return true;
    }
    const devices::GuardResult verdict = devices::JudgeFuseWrite(
        chip, byte, chip->factory[static_cast<int>(byte)],
        devices::FuseValueOfWrite(*chip, byte, chip->factory[static_cast<int>(byte)], bytes[1],
                                  bytes[3]));
    if (verdict.verdict != devices::GuardVerdict::kRefuse)
        return true;
    const std::string question = verdict.words + "\n\nWrite it all the same?";
    if (p_.windows.MessageBox(kDialog, question, texts::kTitleWarning, MsgButtons::OkCancel,
                              MessageKind::Warning) == MsgResult::Ok)
        return true;
    SetStatus(" ");
    return false;
}

void InstructionsDialog::ReadRcen() {
    if (!CommonStart())
        return;
    SetStatus("  ");
    if (!devices::IsRcenChip(p_.state.partFamily, p_.state.partNumber)) {
        NotAvailable();
        return;
    }
    avr::ReadLockBits(p_);
    if (p_.portLost) {
        CommonEnd();
        return;
    }
    ShowRcenBit();
    p_.windows.EnableItem(kDialog, ids::kWriteRcen, true);
    p_.windows.EnableItem(kDialog, ids::kRcenBox, true);
    CommonEnd();
}

void InstructionsDialog::WriteRcen() {
    if (!CommonStart())
        return;
    if (!devices::IsRcenChip(p_.state.partFamily, p_.state.partNumber)) {
        NotAvailable();
        return;
    }
    if (avr::Connect(p_) != 0) {
        ConnectFailed();
        return;
    }
    // RCEN is a fuse: a checked box means the bit programmed, which is a 0.
    const bool wanted = p_.windows.IsItemChecked(kDialog, ids::kRcenBox);
    avr::WriteRcenBit(p_, wanted ? 0 : 1);
    avr::ReadLockBits(p_);
    ShowRcenBit();
    if (p_.windows.IsItemChecked(kDialog, ids::kRcenBox) != wanted) {
        p_.windows.MessageBox(ids::kNoOwner, texts::kErrrrroooor, texts::kTitleErrorCaps,
                              MsgButtons::Ok, MessageKind::Error);
        EnableStatus(false);
    }
    CommonEnd();
}

void InstructionsDialog::WriteLockBits() {
    if (!CommonStart())
        return;
    SetStatus("  ");
    // Read first so the activity line shows the bits as they were.
    avr::ReadLockBits(p_);
    const bool lb1 = p_.windows.IsItemChecked(kDialog, ids::kLb1);
    const bool lb2 = p_.windows.IsItemChecked(kDialog, ids::kLb2);
    avr::SendWordTwice(p_, LockBitsWord(lb1, lb2));
    CommonEnd();
}

void InstructionsDialog::Done() {
    core::SetActivityField(p_, "  ");
    p_.windows.EndWindow(kDialog, 1);
}

}  // namespace ostrel::dialogs
