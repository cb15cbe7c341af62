// Commands on a locked chip: a chip in lock mode 3 answers every read with the
// bytes clocked in, and one in lock mode 2 or 3 ignores every write. A command
// that needs what the lock forbids must stop before it saves, compares or
// writes anything, say which lock mode stopped it, and leave the chip as it
// was; what the lock allows goes on as before.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/commands.h"
#include "core/ids.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using app::CommandResult;

// Four bytes at address 0, in the flash file and in the EEPROM file.
constexpr const char* kHex = ":0400000001020304F2\n:00000001FF\n";

// The simulator's lock byte: the classic chips keep LB1 in bit 1 and LB2 in
// bit 2, the newer ones in bits 0 and 1; 0 is programmed.
constexpr uint8_t kNewerMode2 = 0xFE;
constexpr uint8_t kNewerMode3 = 0xFC;
constexpr uint8_t kClassicMode2 = 0xFD;
constexpr uint8_t kClassicMode3 = 0xF9;

TEST(LockedChip, WhatTheLockForbidsStopsBeforeTheChipOrAFileIsChanged) {
    struct Case {
        const char* chip;
        const char* chosen;  // a device chosen by hand, or null for autodetection
        uint8_t lock;
        int command;
        const char* file;  // loaded as the current file, or null
        bool eraseFirst;
        const char* says;  // in the error box; null: the command ends OK
    };
    const char* kNoRead = "lock mode 3: LB1 and LB2 programmed) and lets nothing be read";
    const char* kNoWrite3 = "lock mode 3: LB1 and LB2 programmed) and takes no write";
    const char* kNoWrite2 = "lock mode 2: LB1 programmed) and takes no write";
    const Case cases[] = {
        {"ATmega8", nullptr, kNewerMode3, ids::kRead, nullptr, false, kNoRead},
        {"ATmega8", nullptr, kNewerMode3, ids::kReadbackInhx, nullptr, false, kNoRead},
        {"ATmega8", nullptr, kNewerMode3, ids::kVerify, "prog.hex", false, kNoRead},
        {"ATmega8", nullptr, kNewerMode3, ids::kDataWindow, nullptr, false, kNoRead},
        {"ATmega8", nullptr, kNewerMode3, ids::kWrite, "prog.hex", false, kNoWrite3},
        {"ATmega8", nullptr, kNewerMode3, ids::kWrite, "data.eep", true, kNoWrite3},
        {"ATmega8", nullptr, kNewerMode3, ids::kQuick, "prog.hex", false, kNoWrite3},
        {"ATmega8", nullptr, kNewerMode3, ids::kBulkEraseData, nullptr, false, kNoWrite3},
        // A chip erase clears the lock: Write with its erase works.
        {"ATmega8", nullptr, kNewerMode3, ids::kWrite, "prog.hex", true, nullptr},
        // Lock mode 2 still lets the chip be read and compared.
        {"ATmega8", nullptr, kNewerMode2, ids::kReadbackInhx, nullptr, false, nullptr},
        {"ATmega8", nullptr, kNewerMode2, ids::kVerify, "prog.hex", false, nullptr},
        {"ATmega8", nullptr, kNewerMode2, ids::kWrite, "prog.hex", false, kNoWrite2},
        // The classic chips with Read Lock Bits show lock mode 2 there.
        {"AT90S2343", nullptr, kClassicMode2, ids::kWrite, "prog.hex", false, kNoWrite2},
        {"AT90S4433", nullptr, kClassicMode2, ids::kBulkEraseData, nullptr, false, kNoWrite2},
        {"AT90S4433", nullptr, kClassicMode2, ids::kReadbackInhx, nullptr, false, nullptr},
        // A classic chip without them, chosen by hand, shows lock mode 3 by
        // its signature 00 01 02.
        {"AT90S2313", "AT90S2313", kClassicMode3, ids::kReadbackInhx, nullptr, false, kNoRead},
        // A locked ATmega8 chosen by hand as a chip of another lock family is
        // asked in its own way.
        {"ATmega8", "AT90S2313", kNewerMode3, ids::kReadbackInhx, nullptr, false, kNoRead},
    };
    for (const Case& c : cases) {
        SimRig rig({.chip = c.chip});
        SCOPED_TRACE(std::string(c.chip) + " lock " + std::to_string(c.lock) + " command " +
                     std::to_string(c.command) + " " + (c.file ? c.file : ""));
        rig.Write("prog.hex", kHex);
        ASSERT_EQ(rig.Load("prog.hex"), 0);
        ASSERT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Ok);
        rig.Write("data.eep", kHex);
        ASSERT_EQ(rig.Load("data.eep"), 0);
        ASSERT_EQ(app::OnCommand(rig.p, ids::kWrite), CommandResult::Ok);
        rig.chip().SetLock(c.lock);
        if (c.chosen != nullptr)
            rig.ChooseByHand(c.chosen);
        if (c.file != nullptr) {
            ASSERT_EQ(rig.Load(c.file), 0);
        }
        rig.windows.CheckItem(ids::kMainWindow, ids::kEraseBeforeWrite, c.eraseFirst);
        const std::size_t boxes = rig.windows.messages.size();

        const CommandResult result = app::OnCommand(rig.p, c.command);

        if (c.says == nullptr) {
            EXPECT_EQ(result, CommandResult::Ok) << rig.p.state.errorText.view();
            continue;
        }
        EXPECT_EQ(result, CommandResult::Failed);
        const std::string box =
            rig.windows.messages.size() > boxes ? rig.windows.messages.back().text : "";
        EXPECT_NE(box.find(c.says), std::string::npos) << box;
        EXPECT_NE(box.find("removes the lock with the program."), std::string::npos) << box;
        // Nothing of the chip changed and no readback file was saved.
        EXPECT_EQ(rig.chip().Lock(), c.lock);
        for (uint32_t a = 0; a < 4; ++a) {
            EXPECT_EQ(rig.chip().Flash(a), a + 1) << a;
            EXPECT_EQ(rig.chip().Eeprom(a), a + 1) << a;
        }
        EXPECT_FALSE(std::filesystem::exists(rig.dir.File("readback.hex")));
        EXPECT_FALSE(std::filesystem::exists(rig.dir.File("readback.txt")));
    }
}

}  // namespace
}  // namespace ostrel::testing
