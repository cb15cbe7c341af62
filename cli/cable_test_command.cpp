#include "cli/cable_test_command.h"

#include <string>

#include "adapter/adapter.h"
#include "adapter/cable_test.h"
#include "app/endings.h"

namespace ostrel::cli {

app::CommandResult RunCableTestCommand(Programmer& p, const CableTestOutput& output) {
    const bool live = output.live && !output.quiet;
    if (!output.quiet) {
        std::fprintf(output.err, "cable test on %s: each state is held %u s\n",
                     p.state.portName.c_str(), adapter::kCableTestPauseMs / 1000);
        std::fflush(output.err);
    }
    size_t liveWidth = 0;
    adapter::CableTestHooks hooks;
    hooks.show = [&](const adapter::CableReading& r) {
        std::string line = adapter::FormatReading(r);
        if (live) {
            // Wipe the live line before the final reading goes to standard output.
            std::string shown = r.final ? std::string() : line;
            std::fprintf(output.err, "\r%-*s\r%s", static_cast<int>(liveWidth), "", shown.c_str());
            std::fflush(output.err);
            liveWidth = shown.size();
        }
        if (r.final) {
            std::fprintf(output.out, "%s\n", line.c_str());
            std::fflush(output.out);
        }
    };
    // Between two reads the console takes input: an interrupt (Ctrl-C)
    // stops the test, which still lets go of the target.
    hooks.idle = [&p] {
        p.windows.ProcessPendingEvents();
        return !p.stopRequested;
    };
    adapter::CableTestResult result = adapter::RunCableTest(p, hooks);
    app::TellDriverAccessFailure(p);
    if (result.stopped) {
        p.state.errorText.Assign(
            "Stopped: the cable test did not finish; the chip is unchanged.\n");
        app::ReportFailure(p);
        return app::CommandResult::Stopped;
    }
    if (result.status != 0) {
        // The same report a command gives when the port cannot be used.
        app::ReportFailure(p);
        return app::CommandResult::Failed;
    }
    std::fprintf(output.out, "%.*s\n",
                 static_cast<int>(adapter::VerdictText(result.verdict).size()),
                 adapter::VerdictText(result.verdict).data());
    return app::CommandResult::Ok;
}

}  // namespace ostrel::cli
