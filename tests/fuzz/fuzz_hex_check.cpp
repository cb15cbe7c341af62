// Fuzzes the whole-file checks of an Intel HEX file, as flash and as EEPROM
// data, and the syntax and checksum check the commands run first.
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
    image::CheckDataFile(rig.p, path, false);
    image::CheckDataFile(rig.p, path, true);
    rig.p.state.currentFileName.Assign(path);
    image::CheckHexFile(rig.p);
    return 0;
}
