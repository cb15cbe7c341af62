// Looking at the instructions the simulated chip received.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tests/support/sim_rig.h"

namespace ostrel::testing {

using Frame = std::array<uint8_t, 4>;

inline int CountFrames(SimRig& rig, const Frame& frame) {
    int n = 0;
    for (const auto& f : rig.chip().instructions())
        if (f == frame)
            ++n;
    return n;
}

// The frames whose first byte is `opcode`, in order.
inline std::vector<Frame> FramesOf(SimRig& rig, uint8_t opcode) {
    std::vector<Frame> out;
    for (const auto& f : rig.chip().instructions())
        if (f[0] == opcode)
            out.push_back(f);
    return out;
}

}  // namespace ostrel::testing
