#include "tests/support/write_jobs.h"

#include <cstdio>
#include <vector>

#include "core/ids.h"

namespace ostrel::testing {

namespace {

// Old EEPROM contents: the first kOldBytes bytes and the last one, so that
// the erase passes have work at both ends but stay short on the real clock.
constexpr uint32_t kOldBytes = 24;
uint8_t OldByte(uint32_t a) {
    static const uint8_t values[] = {0x00, 0x7F, 0x80, 0x12, 0xFE, 0x00, 0x80, 0x01, 0xFF};
    return values[a % sizeof values];
}

// The file data: every chip's polling values among ordinary ones.
const std::vector<int> kData = {0x00, 0x7F, 0x80, 0xFF, 0x5A, 0x00, 0x00, 0x7F,
                                0x7F, 0x80, 0x80, 0x12, 0xFF, 0x01, 0xA5, 0xC3};

std::string Record(int address, const std::vector<int>& data) {
    char text[16];
    std::snprintf(text, sizeof text, ":%02X%04X00", static_cast<unsigned>(data.size()),
                  static_cast<unsigned>(address));
    std::string record = text;
    int sum = static_cast<int>(data.size()) + (address >> 8) + (address & 0xFF);
    for (int byte : data) {
        std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(byte));
        record += text;
        sum += byte;
    }
    std::snprintf(text, sizeof text, "%02X\r\n", static_cast<unsigned>((-sum) & 0xFF));
    return record + text;
}

// Two records each: at the start and further on; in flash on a later page
// (pages are at most 256 bytes), in the EEPROM within the smallest (64 bytes).
constexpr int kSecondEepromAt = 0x30;
constexpr int kSecondFlashAt = 0x210;
std::string File(int secondAt) {
    return Record(0, kData) + Record(secondAt, kData) + ":00000001FF\r\n";
}

void Place(std::vector<uint8_t>& memory, int at) {
    for (std::size_t i = 0; i < kData.size(); ++i)
        memory[static_cast<std::size_t>(at) + i] = static_cast<uint8_t>(kData[i]);
}

}  // namespace

const char* WriteJobName(WriteJob job) {
    switch (job) {
        case WriteJob::EraseEeprom:
            return "EraseEeprom";
        case WriteJob::EepOverOld:
            return "EepOverOld";
        case WriteJob::EepFresh:
            return "EepFresh";
        case WriteJob::Flash:
            return "Flash";
    }
    return "?";
}

WriteOutcome RunWriteJob(const SimRigOptions& options, WriteJob job) {
    SimRig rig(options);
    rig.p.skipReadingPauses = true;
    sim::AvrTarget& chip = rig.chip();
    WriteOutcome out;
    out.expected = sim::ChipMemory::Fresh(chip.chip());
    const uint32_t eepromBytes = chip.chip().eepromBytes;
    if (job == WriteJob::EraseEeprom || job == WriteJob::EepOverOld) {
        for (uint32_t a = 0; a < kOldBytes; ++a)
            chip.SetEeprom(a, OldByte(a));
        chip.SetEeprom(eepromBytes - 1, 0x00);
    }
    if (job == WriteJob::Flash) {
        // Old program bytes, low and high, that only the chip erase clears.
        for (uint32_t a : {0u, 1u, 0x211u, 0x300u, chip.chip().flashBytes - 1})
            chip.SetFlash(a, 0x00);
    }
    switch (job) {
        case WriteJob::EraseEeprom:
            out.result = app::OnCommand(rig.p, ids::kBulkEraseData);
            break;
        case WriteJob::EepOverOld:
        case WriteJob::EepFresh:
            rig.Write("data.eep", File(kSecondEepromAt));
            rig.Load("data.eep");
            out.result = app::OnCommand(rig.p, ids::kWrite);
            Place(out.expected.eeprom, 0);
            Place(out.expected.eeprom, kSecondEepromAt);
            break;
        case WriteJob::Flash:
            rig.Write("prog.hex", File(kSecondFlashAt));
            rig.Load("prog.hex");
            out.result = app::OnCommand(rig.p, ids::kWrite);
            Place(out.expected.flash, 0);
            Place(out.expected.flash, kSecondFlashAt);
            break;
    }
    out.errorText = std::string(rig.p.state.errorText.view());
    out.memory = chip.memory();
    return out;
}

std::string MemoryDifferences(const sim::ChipMemory& got, const sim::ChipMemory& want) {
    std::string text;
    int shown = 0;
    auto compare = [&](const char* name, const std::vector<uint8_t>& a,
                       const std::vector<uint8_t>& b) {
        if (a.size() != b.size()) {
            text += std::string(name) + ": sizes differ; ";
            return;
        }
        for (std::size_t i = 0; i < a.size() && shown < 8; ++i) {
            if (a[i] == b[i])
                continue;
            char line[48];
            std::snprintf(line, sizeof line, "%s 0x%04zX: %02X != %02X; ", name, i, a[i], b[i]);
            text += line;
            ++shown;
        }
    };
    compare("flash", got.flash, want.flash);
    compare("eeprom", got.eeprom, want.eeprom);
    if (got.lock != want.lock)
        text += "lock differs; ";
    if (got.fuses != want.fuses)
        text += "fuses differ; ";
    return text;
}

}  // namespace ostrel::testing
