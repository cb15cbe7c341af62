// A chip behind the parallel cable of a recording rig, enough to answer the
// read instructions of a readback: it follows the SCK and MOSI bits the
// programmer writes to the data register, collects each four-byte
// instruction, and after the third byte shifts out the addressed flash or
// EEPROM byte on MISO (status bit 6, bit 0x4000 of the port word).
#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/fixture.h"

namespace ostrel::testing {

class SpiTarget {
  public:
    explicit SpiTarget(RecordingRig& rig, int flashWords, int eepromBytes)
        : flash(static_cast<std::size_t>(flashWords), 0xFFFF),
          eeprom(static_cast<std::size_t>(eepromBytes), 0xFF),
          rig_(rig) {
        ProgrammerState& s = rig.p.state;
        s.adapterKind = AdapterKind::Parallel;
        s.directPortIo = 1;
        s.speed = 3;
        s.delayLoops = 1;
        s.flashWords = flashWords;
        s.eepromBytes = eepromBytes;
        rig.port.wordFn = [this] { return Miso(); };
    }
    SpiTarget(const SpiTarget&) = delete;
    SpiTarget& operator=(const SpiTarget&) = delete;

    std::vector<uint16_t> flash;  // words, high byte in bits 8-15
    std::vector<uint8_t> eeprom;
    // Every complete instruction received, first byte in bits 24-31.
    std::vector<uint32_t> instructions;

  private:
    uint16_t Miso() {
        // Follow the data register writes made since the last read. The log
        // is emptied as it goes, so a whole readback does not pile it up.
        auto& calls = rig_.port.calls;
        for (const PortCall& call : calls) {
            if (call.kind != PortCall::Kind::WriteData)
                continue;
            bool sck = (call.value & 0x02) != 0;
            bool mosi = (call.value & 0x01) != 0;
            if (sck && !sck_)
                Rising(mosi);
            sck_ = sck;
        }
        calls.clear();
        // Bits 25 to 32 of an instruction carry the answer, most significant first.
        if (bits_ < 25)
            return 0;
        return ((answer_ >> (32 - bits_)) & 1) != 0 ? 0x4000 : 0;
    }

    void Rising(bool mosi) {
        if (bits_ == 32) {
            bits_ = 0;
            in_ = 0;
        }
        in_ = (in_ << 1) | (mosi ? 1u : 0u);
        ++bits_;
        if (bits_ == 24)
            answer_ = Answer(in_);
        if (bits_ == 32)
            instructions.push_back(in_);
    }

    // The answer byte of an instruction from its first three bytes.
    int Answer(uint32_t first3) const {
        uint32_t opcode = first3 >> 16;
        std::size_t address = first3 & 0xFFFF;
        switch (opcode) {
            case 0x20:
                return address < flash.size() ? flash[address] & 0xFF : 0xFF;
            case 0x28:
                return address < flash.size() ? flash[address] >> 8 : 0xFF;
            case 0xA0:
                return address < eeprom.size() ? eeprom[address] : 0xFF;
            default:
                return 0xFF;
        }
    }

    RecordingRig& rig_;
    bool sck_ = false;
    int bits_ = 0;
    uint32_t in_ = 0;
    int answer_ = 0xFF;
};

}  // namespace ostrel::testing
