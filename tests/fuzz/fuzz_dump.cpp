// Fuzzes the readback dump as a data file: the whole-file check and the
// conversion into hex.tmp, whose result must then pass as a flash file.
#include "image/dump.h"
#include "image/file_names.h"
#include "image/hex_check.h"
#include "image/hex_line.h"
#include "image/hex_records.h"
#include "tests/fuzz/fuzz_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrel;
    fuzz::FuzzRig rig;
    const std::string path = rig.Input("readback.txt", fuzz::AsText(data, size));
    image::CheckDumpFile(rig.p, path);
    rig.p.state.currentFileName.Assign(path);
    rig.p.state.baseName.Assign("readback.txt");
    if (image::ConvertDumpToHex(rig.p) == 0) {
        const std::string hexTmp = image::HexTmpPath(rig.p);
        image::CheckDataFile(rig.p, hexTmp, false);
    }
    return 0;
}
