// Fuzzes ostrel.cfg: the start-up reads, then the writers that change single
// places of the file it left.
#include "app/settings.h"
#include "tests/fuzz/fuzz_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrel;
    fuzz::FuzzRig rig;
    rig.Input(app::kSettingsFile, fuzz::AsText(data, size));
    app::RestorePortAndSpeed(rig.p);
    bool declined = false;
    app::ReadReopenData(rig.p, &declined);
    app::StorePath(rig.p, true);
    app::StoreSpeed(rig.p);
    app::SaveAtExit(rig.p);
    app::ReadReopenData(rig.p, &declined);
    return 0;
}
