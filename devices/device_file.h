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
// A device line the programmer cannot trust (DeviceLineProblem) is refused:
// it is neither listed nor found, its page shift is not carried on, and the
// user is told which line it is and why when the device list is filled. The
// sizes are bounded by the instructions that carry the addresses: a 16-bit
// word address for flash, with bit 16 from the Load Extended Address
// instruction above 64K words (256 KB), a 16-bit byte address for the EEPROM
// (64 KB), and a page write whose page number is shifted by the page shift,
// so that no address ever spills into an instruction byte. A page-mode line
// needs a page size that is a power of two up to 256 words and the page shift
// that goes with it (log2 of the page size), its own or one carried on.
//
// The last line counts even without a line end. A NUL or 0xFF byte is not
// text: reading stops there, and the user is told at which line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_choice.h"
#include "core/fixed_string.h"
#include "core/programmer.h"

namespace ostrel::devices {

inline constexpr const char* kDeviceFileName = "ostrel.ini";
inline constexpr std::size_t kMaxNameLength = 14;
inline constexpr std::size_t kMaxFieldLength = 6;
// The page write instruction carries the page number shifted left by the page
// shift within a 16-bit word address, and the engine shifts by (8 - shift):
// 8 (256-word pages) is the most an AVR page and that instruction allow.
inline constexpr int32_t kMaxPageShift = 8;
// The flash instructions carry a 16-bit word address and Load Extended
// Address its bit 16 (the largest AVR with this interface has 128K words);
// the EEPROM instructions a 16-bit byte address.
inline constexpr int32_t kMaxFlashBytes = 4 * 0x10000;
inline constexpr int32_t kMaxEepromBytes = 0x10000;

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
    kFlashTooLarge,      // more flash than kMaxFlashBytes
    kEepromTooLarge,     // more EEPROM than kMaxEepromBytes
    kBadPageSize,        // page mode, page size not a power of two up to 256 words
    kPageShiftMismatch,  // page mode, the page shift in force does not give the page size
    kNoPageShift,        // page mode, no page shift on this line or any earlier one
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
    // For a page-mode line without a shift of its own: the shift carried on
    // from an earlier line, when there was one.
    std::optional<int32_t> carriedShift;

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

// The name of a device line as the list shows it and the lookup reads it:
// up to its first TAB or ';'.
std::string_view ListName(std::string_view line);

// Splits a line into the fields of a device entry by the separator rules,
// reads its numbers and checks them. A NUL ends the line. A page-mode line
// without a page shift of its own is judged by the reader of the file, which
// knows the shift carried on from earlier lines.
DeviceEntry ParseDeviceLine(std::string_view line);

// Why a refused entry cannot be used, with the numbers that are wrong, e.g.
// "page shift 4 does not fit a page of 32 words (that needs 5)".
std::string ExplainProblem(const DeviceEntry& entry);

// True when the entry's signature field is six characters equal to the first
// six of `signatureHex` (letter case included).
bool SignatureMatches(const DeviceEntry& entry, std::string_view signatureHex);

// Sets the current directory back to the start directory and returns the
// path of the device file in it.
std::string DeviceFilePath(Programmer& p);

// True when the device file is there and opens for reading and writing (a
// file that cannot be written counts as missing).
bool DeviceFileOpens(Programmer& p);

// Adds the name of every usable device line to the device list (the list
// keeps itself sorted). Refused lines, and a NUL or 0xFF byte that stops the
// reading, are told in one message box titled "ostrel.ini" that names each
// line by its number. On a missing file shows "Open Error ostrel.ini !" and
// leaves the list as it is.
void FillDeviceList(Programmer& p);

// The names FillDeviceList would list, in file order, without touching the
// window; empty when the file cannot be read.
std::vector<std::string> ListedNames(Programmer& p);

// The name of the first usable line whose signature matches `signatureHex`,
// in file order; empty when none does or the file cannot be read. Selects
// nothing and changes no state.
std::string NameWithSignature(Programmer& p, std::string_view signatureHex);
// For a signature the device file does not know: one line naming the chips
// it knows with the same first two signature bytes (the same flash size),
// or, when there are none, every chip it knows. Empty when the file cannot
// be read or lists none.
std::string KnownChipsLike(Programmer& p, std::string_view signatureHex);
// Looks up the chip in use, in file order: by the chosen name when
// Autodetection is off, by signatureHex when it is on (then
// the found name is selected in the list and deviceDetected set). A match sets
// flashWords, eepromBytes, pagedFlash, pageWords and pageShift. Returns 0 when
// found, 1 when not (deviceDetected cleared) or when the file is missing (the
// main window is then ended with result 1).
int FindDevice(Programmer& p, const core::DeviceChoice& choice);

// True when a usable line of the device file has this flash size and this
// EEPROM size (in bytes): the sizes of a chip Ostrel knows. False too when
// the file cannot be read. Shows no message.
bool DeviceWithSizes(Programmer& p, long flashBytes, long eepromBytes);

// For a device chosen by hand: empty when the name selected in the device
// list is found in the device file; otherwise a short text that names the
// device and ostrel.ini and says why it cannot be used (nothing selected, no
// such line, its line refused, the file missing). Shows no message.
std::string ChosenDeviceProblem(Programmer& p);

}  // namespace ostrel::devices
