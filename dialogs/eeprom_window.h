// Behaviour of the EEPROM data window (window 1083): the chip's EEPROM as an
// editable listing, one byte per line ("AAAA: DD " and CR LF, 11 characters),
// in which only the two value digits may be changed, and the writing back of
// the bytes that differ from the chip. The window works on the chip that the
// Data Window command left in programming mode; it never connects itself.
// Write Data checks the whole listing before it writes a byte; a last line
// whose line end was deleted is checked and written like the others.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/programmer.h"
#include "core/window_system.h"

namespace ostrel::dialogs {

// Characters of one listing line, CR LF included.
inline constexpr int kListingLineLength = 11;
// Lines the listing shows at most; a larger EEPROM is read but not listed.
inline constexpr int kMaxListedBytes = 2048;
// The EEPROM instructions carry a 16-bit address: beyond it the chip's
// addresses wrap, so a read never goes further.
inline constexpr int32_t kMaxEepromAddresses = 0x10000;

// One listing line: the address as four digits, the value as two.
void AppendListingLine(std::string& text, int address, int value);

// The value of a listing data line, which must be "HHHH: HH " followed by
// CR LF (hexadecimal digits in either case). No value for anything else.
std::optional<uint8_t> ParseListingLine(std::string_view line);

class EepromWindow : public DialogHandler {
  public:
    explicit EepromWindow(Programmer& p) : p_(p) {}

    void OnInit() override;
    // Read Data, Write Data and Exit; Escape does nothing.
    void OnCommand(int id) override;
    // The editing rules run on every notification of the listing.
    void OnEditNotify(int id) override;

    // The listing as last read, with the digit changes accepted since.
    const std::string& reference() const { return reference_; }
    // Bytes listed by the last read.
    int listedBytes() const { return listedBytes_; }

  private:
    void ReadAll();
    void WriteData();
    void ApplyEditingRules();
    void PutReferenceBack();
    // Checks every data line before the first byte is written; on the first
    // fault tells the user and returns false.
    bool CheckListing(std::string_view text, int dataLines);
    void SetStatus(std::string_view text);

    Programmer& p_;
    std::string reference_;
    int listedBytes_ = 0;
    bool busy_ = false;
};

}  // namespace ostrel::dialogs
