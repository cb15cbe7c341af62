// What every fuzz harness needs: a programmer wired to the recording port, a
// virtual clock and the scripted windows, with its start directory in one
// temporary folder that lives as long as the fuzzing process. Readers that
// take a file get the fuzz input written into that folder first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/ids.h"
#include "core/programmer.h"
#include "tests/support/recording_port.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/temp_dir.h"

namespace ostrel::fuzz {

// The folder is made once: a fresh one for every input would cost more than
// the readers themselves.
inline const testing::TempDir& FuzzFolder() {
    static const testing::TempDir folder;
    return folder;
}

inline std::string_view AsText(const uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

struct FuzzRig {
    FuzzRig() {
        p.state.mainWindow = ids::kMainWindow;
        // The fastest clock: one port read per delay unit, so a harness that
        // talks to the port spends its time in the reader, not in waits.
        p.state.speed = 3;
        p.state.delayLoops = 1;
        p.state.startDirectory.Assign(FuzzFolder().str());
        p.currentDirectory = FuzzFolder().str();
    }
    // Writes the input as a file of the start directory; returns its full path.
    std::string Input(std::string_view name, std::string_view bytes) const {
        return FuzzFolder().Write(name, bytes);
    }

    testing::RecordingPort port;
    VirtualClock clock;
    testing::ScriptedWindows windows;
    Programmer p{port, clock, windows};
};

}  // namespace ostrel::fuzz
