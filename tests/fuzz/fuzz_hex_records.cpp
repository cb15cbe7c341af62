// Fuzzes the record stream the engine reads a data file with: every record
// is taken as the engine takes it, for flash and for EEPROM data.
#include "image/dump.h"
#include "image/file_names.h"
#include "image/hex_check.h"
#include "image/hex_line.h"
#include "image/hex_records.h"
#include "tests/fuzz/fuzz_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrel;
    fuzz::FuzzRig rig;
    const std::string path = rig.Input("fuzz.hex", fuzz::AsText(data, size));
    for (int eeprom = 0; eeprom < 2; ++eeprom) {
        rig.p.state.eepromFile = eeprom;
        image::HexRecordStream stream(rig.p);
        if (!stream.Open(path))
            return 0;
        // A file of n bytes cannot hold more than n records; the bound only
        // turns a reader that stops moving into a failure instead of a hang.
        for (std::size_t records = 0; records <= size; ++records) {
            image::HexRecord record;
            if (stream.NextRecord(record) != image::RecordResult::Record)
                break;
            if (record.length < 1 || record.length > 255)
                __builtin_trap();
            for (int i = 0; i < record.length; ++i) {
                const int byte = stream.NextDataByte();
                if (byte < 0 || byte > 255)
                    __builtin_trap();
            }
            if (stream.NextDataByte() != -1)
                __builtin_trap();
            stream.FinishRecord();
        }
        stream.Close();
    }
    return 0;
}
