// Fuzzes the EEPROM data window's listing: the input is what the user left
// in the listing (the first two bytes place the caret), then the editing
// rules run and Write Data checks and writes it, against a recording port.
#include "dialogs/eeprom_window.h"
#include "tests/fuzz/fuzz_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrel;
    if (size < 2)
        return 0;
    fuzz::FuzzRig rig;
    rig.p.state.eepromBytes = 16;
    dialogs::EepromWindow window(rig.p);
    window.OnInit();
    const std::string_view text = fuzz::AsText(data + 2, size - 2);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        dialogs::ParseListingLine(text.substr(start, end - start));
        start = end;
    }
    const int caret = data[0] * 4;
    rig.windows.TypeText(ids::kEepromWindow, ids::kListing, text, {caret, caret + data[1] % 4});
    window.OnEditNotify(ids::kListing);
    rig.windows.TypeText(ids::kEepromWindow, ids::kListing, text, {0, 0});
    window.OnCommand(ids::kWriteData);
    return 0;
}
