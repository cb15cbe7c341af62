// Whole readbacks from a simulated chip, through the real instruction
// transfer over a parallel and a serial cable.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "image/dump.h"
#include "image/file_names.h"
#include "image/hex_check.h"
#include "image/hex_line.h"
#include "image/hex_records.h"
#include "image/readback.h"
#include "tests/sim/line_rig.h"
#include "tests/support/temp_dir.h"

namespace ostrel::image {
namespace {

using testing::LineRig;
using testing::TempDir;

struct Readback {
    sim::CableKind cable;
    const char* chip;
};

class ReadbackFromSimulatedChip : public ::testing::TestWithParam<Readback> {};

TEST_P(ReadbackFromSimulatedChip, DumpAndHexHoldEveryByteOfTheChip) {
    sim::SimConfig config;
    config.cable = GetParam().cable;
    config.chip = GetParam().chip;
    LineRig rig(config);
    TempDir dir;
    rig.p.state.startDirectory.Assign(dir.str());
    const sim::ChipInfo& chip = rig.target().chip();
    const int flashWords = static_cast<int>(chip.FlashWords());
    const int eepromBytes = static_cast<int>(chip.eepromBytes);
    rig.p.state.flashWords = flashWords;
    rig.p.state.eepromBytes = eepromBytes;
    for (uint32_t a = 0; a < chip.flashBytes; ++a)
        rig.target().SetFlash(a, static_cast<uint8_t>(a * 37 + (a >> 8)));
    for (uint32_t a = 0; a < chip.eepromBytes; ++a)
        rig.target().SetEeprom(a, static_cast<uint8_t>(0xA5 ^ a));
    ASSERT_TRUE(testing::Connect(rig.p));

    ASSERT_EQ(WriteDump(rig.p), 0);
    ASSERT_EQ(WriteReadbackHex(rig.p), 0);

    // The dump, line by line, from the chip's memory.
    std::string expected = "FLASH-Memory:\r\n";
    char text[16];
    const int digits = flashWords > 0x10000 ? 5 : 4;
    for (int w = 0; w < flashWords; ++w) {
        if (w % 8 == 0) {
            std::snprintf(text, sizeof text, "\r\n%.*X:", digits, static_cast<unsigned>(w));
            expected += text;
        }
        std::snprintf(text, sizeof text, " %.2X%.2X", rig.target().Flash(2 * w + 1),
                      rig.target().Flash(2 * w));
        expected += text;
    }
    expected += "\r\n\r\n\r\nEEPROM-Memory:\r\n";
    for (int a = 0; a < eepromBytes; ++a) {
        if (a % 8 == 0) {
            std::snprintf(text, sizeof text, "\r\n%.4X:", static_cast<unsigned>(a));
            expected += text;
        }
        std::snprintf(text, sizeof text, " %.2X", rig.target().Eeprom(a));
        expected += text;
    }
    EXPECT_EQ(dir.Read("readback.txt"), expected);

    // readback.hex streams back to exactly the chip's flash.
    HexRecordStream stream(rig.p);
    ASSERT_TRUE(stream.Open(dir.File("readback.hex")));
    HexRecord record;
    int bytes = 0;
    while (stream.NextRecord(record) == RecordResult::Record) {
        for (int i = 0; i < record.length; ++i) {
            int address = record.address + i;
            ASSERT_EQ(stream.NextDataByte(), rig.target().Flash(address)) << address;
            ++bytes;
        }
        stream.FinishRecord();
    }
    EXPECT_EQ(bytes, static_cast<int>(chip.flashBytes));

    // And the dump converts to the same records.
    rig.p.state.currentFileName.Assign(dir.File("readback.txt"));
    ASSERT_EQ(ConvertDumpToHex(rig.p), 0);
    std::string hex = dir.Read("readback.hex");
    EXPECT_EQ(dir.Read("hex.tmp") + ":00000001FF", hex);
}

INSTANTIATE_TEST_SUITE_P(Cables, ReadbackFromSimulatedChip,
                         ::testing::Values(Readback{sim::CableKind::Parallel, "AT90S2313"},
                                           Readback{sim::CableKind::Cablet2, "AT90S2313"},
                                           Readback{sim::CableKind::Parallel, "ATmega2560"}));

}  // namespace
}  // namespace ostrel::image
