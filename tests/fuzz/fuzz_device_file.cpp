// Fuzzes ostrel.ini: filling the device list, and the lookup by signature
// (Autodetection on) and by the name chosen in the list (Autodetection off).
#include "devices/device_file.h"
#include "tests/fuzz/fuzz_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrel;
    fuzz::FuzzRig rig;
    const std::string_view text = fuzz::AsText(data, size);
    rig.Input(devices::kDeviceFileName, text);
    devices::ParseDeviceLine(text);
    devices::FillDeviceList(rig.p);
    rig.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, true);
    rig.p.state.manualDevice = 0;
    for (const char* signature : {"1E9307 ", "1E9101 ", "FFFFFF "}) {
        rig.p.state.signatureHex.Assign(signature);
        devices::FindDevice(rig.p, core::ReadDeviceChoice(rig.p));
    }
    rig.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, false);
    rig.p.state.manualDevice = 1;
    const int count = rig.windows.ListCount();
    for (int i = 0; i < count && i < 4; ++i) {
        rig.windows.SelectListEntry(i);
        devices::FindDevice(rig.p, core::ReadDeviceChoice(rig.p));
    }
    return 0;
}
