#include "tests/support/shown_texts.h"

#include <algorithm>
#include <array>
#include <bit>

#include "devices/fuse_tables.h"
#include "dialogs/fuse_window.h"
#include "platform/texts.h"
#include "ui/busy.h"

namespace ostrel::testing {

namespace {

// The names the Fuses window puts on the place `id` names, as it lays out a
// chip's fields: a byte's fields take its places in the table's order; a
// field of several bits or with choices shows its name beside a choice list
// (a one-bit field is a check box, FuseCheckText).
void AddFuseNames(int id, std::vector<std::string>& texts) {
    for (const devices::FuseChip& chip : devices::FuseChips()) {
        std::array<int, devices::kFuseByteCount> used{};
        for (const devices::FuseField& field : chip.fields) {
            const int place = static_cast<int>(field.byte) * ids::kFuseSlotsPerByte +
                              used[static_cast<int>(field.byte)]++;
            const bool choice = std::popcount(field.mask) > 1 || !field.values.empty();
            if (choice && id == ids::kFuseName0 + place)
                texts.emplace_back(field.name);
            if (!choice && id == ids::kFuseCheck0 + place)
                texts.push_back(dialogs::FuseCheckText(field));
        }
    }
}

}  // namespace

std::vector<std::string> ShownTexts(int window, const ui::ControlEntry& control) {
    std::vector<std::string> texts;
    if (control.text[0] != '\0')
        texts.emplace_back(control.text);
    const int id = control.id;
    if (window == ids::kMainWindow && id == ids::kStop)
        texts.emplace_back(ui::kStopping);
    if (window == ids::kInstructionsDialog && id == ids::kInstrStatus)
        texts.insert(texts.end(), {texts::kConnecting, texts::kOk});
    if (window == ids::kEepromWindow && id == ids::kEepromStatus)
        texts.insert(texts.end(), {texts::kDialogReading, texts::kDialogWriting});
    if (window == ids::kFusesWindow && id == ids::kFuseStatus)
        texts.emplace_back(texts::kDialogReading);
    if (window == ids::kFusesWindow)
        AddFuseNames(id, texts);
    std::sort(texts.begin() + (control.text[0] != '\0' ? 1 : 0), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    return texts;
}

}  // namespace ostrel::testing
