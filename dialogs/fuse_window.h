// Behaviour of the Fuses window (FuseBits > Fuses): every fuse byte and the
// lock byte of the connected chip, each in hexadecimal and field by field
// with names and meanings (a check box for a single bit, a choice list for a
// field of several bits), edited by name or by value with both kept in step.
// Write judges every changed byte with the guard of the fuse tables before
// the first is written, then reads the bytes back and compares the bits in
// use. The window works on the chip its command connected.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/programmer.h"
#include "core/window_system.h"
#include "devices/fuse_tables.h"

namespace ostrel::dialogs {

// The text of a one-bit field's check box, "name: meaning" without the
// meaning's remark in brackets, so it fits its place (the fuse listing keeps
// the remark, and Write's question tells what a bit that locks the
// programmer out does).
std::string FuseCheckText(const devices::FuseField& field);
// The text of one entry of a field's choice list: the field's bits as the
// data sheets write them, then what the value means ("0010: internal 8 MHz
// RC oscillator").
std::string FuseChoiceText(const devices::FuseChip& chip, const devices::FuseField& field,
                           uint8_t bits);

class FuseWindow : public DialogHandler {
  public:
    explicit FuseWindow(Programmer& p) : p_(p) {}

    void OnInit() override;
    // Read, Write, Restore Factory Values, Close, and the check boxes.
    void OnCommand(int id) override;
    // A choice made or a byte field typed in.
    void OnEditNotify(int id) override;

    // The chip's table; null for a chip without one.
    const devices::FuseChip* chip() const { return chip_; }
    // The bytes as the window shows them, edits included.
    const std::array<uint8_t, devices::kFuseByteCount>& values() const { return values_; }

  private:
    // One field of the chip shown in a place of the window.
    struct Place {
        const devices::FuseField* field = nullptr;
        bool choice = false;  // a choice list, else a check box
        std::vector<std::string> choices;
    };

    void Lay();
    void ReadAll();
    // Puts values_ into the window: the hexadecimal fields (but byte `except`)
    // and every place.
    void Show(int except);
    void Write();
    // Sets the fuse bytes to the chip's factory values and writes them.
    void RestoreFactory();
    void SetStatus(std::string_view text);
    void Enable(bool enabled);

    Programmer& p_;
    const devices::FuseChip* chip_ = nullptr;
    std::array<Place, devices::kFuseByteCount * 8> places_{};
    std::array<uint8_t, devices::kFuseByteCount> read_{};
    std::array<uint8_t, devices::kFuseByteCount> values_{};
};

}  // namespace ostrel::dialogs
