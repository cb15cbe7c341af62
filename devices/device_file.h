// The device description file "ostrel.ini": the chips the programmer knows,
// their signatures and memory geometry.
//
// A device line begins with "AT" (upper case) and holds eight fields,
// separated by TAB or ';':
//
//   name  signature  flashSize  pageSize  reserved  pageMode  pageBits  eepromSize
//
// The name may be followed by one or two TABs (so the columns line up);
// after every other field exactly one separator is skipped, so two
// separators in a row make an empty field. Text after the eighth field is
// ignored. Every other line is a heading, a comment or blank.
//
// Sizes follow the number rule (ReadNumber): decimal, up to six digits, each
// 'k' or 'K' in the field multiplies by 1024. flashSize is in bytes, pageSize
// in 16-bit words, eepromSize in bytes; pageMode above 0 means the flash is
// written a page at a time. pageBits holds ':' and the page shift, the number
// of word-address bits inside one page ("PB:5" for 32-word pages); a line
// without ':' uses the shift of the nearest earlier line that had one.
//
// Lines the lookup cannot trust (DeviceLineProblem) are never found and
// their page shift is not taken. The device list still shows them, as it
// shows every device line, except lines over 98 characters, whose end was lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/programmer.h"
#include "platform/fixed_string.h"

namespace ostrel::devices {

inline constexpr const char* kDeviceFileName = "ostrel.ini";
inline constexpr std::size_t kMaxNameLength = 14;
inline constexpr std::size_t kMaxFieldLength = 6;
// The page write instruction carries the page number shifted left by the page
// shift within a 16-bit word address, and the engine shifts by (8 - shift):
// 8 (256-word pages) is the most an AVR page and that instruction allow.
inline constexpr int32_t kMaxPageShift = 8;

// Why a device line is not used.
enum class DeviceLineProblem {
    kNone,
    kNotDeviceLine,      // does not begin with "AT"
    kLineTooLong,        // more than 98 characters: its end was lost
    kNameTooLong,        // name of more than 14 characters
    kFieldTooLong,       // another field of more than 6 characters
    kNoFlashSize,        // flashSize has no number
    kNoEepromSize,       // eepromSize has no number
    kNoPageMode,         // pageMode has no number
    kNoPageSize,         // page mode, but pageSize has no number or is 0
    kPageShiftTooLarge,  // the number after ':' is above kMaxPageShift
};

// Short English description of a problem, for diagnostics.
const char* DescribeProblem(DeviceLineProblem problem);

// One device line, split into its fields, with the numbers read from them.
struct DeviceEntry {
    FixedString<kMaxNameLength + 1> name;
    FixedString<kMaxFieldLength + 1> signature;
    FixedString<kMaxFieldLength + 1> flashSize;
    FixedString<kMaxFieldLength + 1> pageSize;
    FixedString<kMaxFieldLength + 1> reserved;
    FixedString<kMaxFieldLength + 1> pageMode;
    FixedString<kMaxFieldLength + 1> pageBits;
    FixedString<kMaxFieldLength + 1> eepromSize;

    DeviceLineProblem problem = DeviceLineProblem::kNotDeviceLine;
    // Valid when problem is kNone (pageWords only when pageMode > 0).
    int32_t flashBytes = 0;
    int32_t pageWords = 0;
    int32_t pageModeValue = 0;
    int32_t eepromBytes = 0;
    // The page shift this line sets; no value when pageBits has no ':' with a digit after it.
    std::optional<int32_t> pageShift;

    bool usable() const { return problem == DeviceLineProblem::kNone; }
    bool paged() const { return pageModeValue > 0; }
};

// The number rule: leading blanks, then up to six decimal digits read as an
// unsigned number; every 'k' or 'K' anywhere in the field multiplies it by
// 1024. No value when there is no digit or the result exceeds 2^31 - 1.
std::optional<int32_t> ReadNumber(std::string_view field);

// The page shift in a pageBits field: at every ':' up to two decimal digits
// (after blanks) are read; the last ':' followed by a digit gives the value.
std::optional<int32_t> ReadPageShift(std::string_view pageBits);

// True when the line begins with "AT", upper case, in its first two characters.
bool IsDeviceLine(std::string_view line);

// The text a device line shows in the device list: up to its first TAB.
std::string_view ListName(std::string_view line);

// Splits a line into the fields of a device entry by the separator rules
// and reads its numbers. A NUL ends the line.
DeviceEntry ParseDeviceLine(std::string_view line);

// True when the entry's signature field is six characters equal to the first
// six of `signatureHex` (letter case included).
bool SignatureMatches(const DeviceEntry& entry, std::string_view signatureHex);

// Sets the current directory back to the start directory and returns the
// path of the device file in it.
std::string DeviceFilePath(Programmer& p);

// True when the device file is there and opens for reading and writing (a
// file that cannot be written counts as missing).
bool DeviceFileOpens(Programmer& p);

// Adds every device line of at most 98 characters to the device list, as the
// text before its first TAB (the list keeps itself sorted). On a missing file
// shows "Open Error ostrel.ini !" and leaves the list as it is.
void FillDeviceList(Programmer& p);

// Looks up the chip in use, in file order: by the name selected in the
// device list when Autodetection is off, by signatureHex when it is on (then
// the found name is selected in the list and deviceDetected set). A match sets
// flashWords, eepromBytes, pagedFlash, pageWords and pageShift. Returns 0 when
// found, 1 when not (deviceDetected cleared) or when the file is missing (the
// main window is then ended with result 1).
int FindDevice(Programmer& p);

}  // namespace ostrel::devices
