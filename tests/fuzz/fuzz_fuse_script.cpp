// Fuzzes the fuse and lock script beside a data file: the check before
// anything is sent, the line parser, and a run against the recording port.
#include "app/fuse_script.h"
#include "tests/fuzz/fuzz_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrel;
    fuzz::FuzzRig rig;
    const std::string_view text = fuzz::AsText(data, size);
    const std::string script = rig.Input("fuzz.scr", text);
    const std::string program = rig.Input("fuzz.hex", ":00000001FF\n");
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        app::ParseScriptLine(text.substr(start, end - start));
        start = end + 1;
    }
    std::string problem;
    app::CheckFuseScript(rig.p, script, problem);
    rig.p.state.currentFileName.Assign(program);
    app::RunFuseScript(rig.p);
    return 0;
}
