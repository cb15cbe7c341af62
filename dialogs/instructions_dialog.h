// Behaviour of the serial programming instructions dialog (window 1105): a
// free four-byte instruction typed in hexadecimal (Send/Rec.), the lock bits
// LB1 and LB2 of the chips that have the classic Write Lock Bits
// instruction, and the RCEN fuse bit of the AT90S2343 and ATtiny22 family.
// The front-end builds the controls; this class decides what they do.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/programmer.h"
#include "core/window_system.h"

namespace ostrel::dialogs {

// Which chips get the lock-bit and RCEN buttons: devices/chip_lists.h.

// The byte a byte field holds: exactly two hexadecimal digits (either case)
// after blanks around them are dropped. No value for anything else: a single
// digit, three digits, a sign or an empty field.
std::optional<uint8_t> ParseByteField(std::string_view text);

// The Write Lock Bits word: 0xACFF with bit 1 cleared for LB1 and bit 2 for LB2.
uint16_t LockBitsWord(bool lb1, bool lb2);

class InstructionsDialog : public DialogHandler {
  public:
    explicit InstructionsDialog(Programmer& p) : p_(p) {}

    void OnInit() override;
    void OnCommand(int id) override;

  private:
    void SendReceive();
    // The guard on a raw instruction that writes a fuse or lock byte.
    bool RawWriteAllowed(const uint8_t bytes[4]);
    void ReadRcen();
    void WriteRcen();
    void WriteLockBits();
    void Done();

    // Reads the four byte fields; on the first that is not a byte, says so
    // (naming the field) and returns false.
    bool ReadByteFields(uint8_t (&bytes)[4]);
    // Status "connecting....", then Connect; false (the user has been told) when it failed.
    bool CommonStart();
    void ConnectFailed();
    void CommonEnd();
    void NotAvailable();
    // Sets the RCEN box from bit 0 of lockBitsAnswer (a programmed bit reads 0).
    void ShowRcenBit();
    void SetStatus(std::string_view text);
    void EnableStatus(bool enabled);

    Programmer& p_;
    // Decided once at opening, like the button's enabled state.
    bool lockBitsAllowed_ = false;
    // A command is running. The activity refresh lets clicks through; a
    // click that arrives meanwhile is ignored rather than run inside it.
    bool busy_ = false;
};

}  // namespace ostrel::dialogs
