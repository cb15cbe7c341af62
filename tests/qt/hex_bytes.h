// The data bytes of an Intel HEX file by address, read plainly, so the tests
// can compare a chip's memory with the file it was written from.
#pragma once

#include <cstdint>
#include <map>
#include <sstream>
#include <string>

namespace ostrel::testing {

inline std::map<uint32_t, uint8_t> HexBytes(const std::string& text) {
    std::map<uint32_t, uint8_t> bytes;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 11 || line[0] != ':')
            continue;
        auto byte = [&](std::size_t at) {
            return static_cast<uint8_t>(std::stoul(line.substr(at, 2), nullptr, 16));
        };
        int count = byte(1);
        uint32_t address = (static_cast<uint32_t>(byte(3)) << 8) | byte(5);
        if (byte(7) != 0)
            continue;  // only data records
        for (int i = 0; i < count; ++i)
            bytes[address + i] = byte(9 + 2 * static_cast<std::size_t>(i));
    }
    return bytes;
}

}  // namespace ostrel::testing
