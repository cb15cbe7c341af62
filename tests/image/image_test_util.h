// Helpers shared by the image tests: a programmer with a temporary start
// directory, Intel HEX records built with their checksums, and the texts
// the activity line showed.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/ids.h"
#include "tests/support/fixture.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {

// A recording rig whose start and current directory is a fresh folder.
struct ImageRig : RecordingRig {
    TempDir dir;
    ImageRig() {
        p.state.mainWindow = ids::kMainWindow;
        p.state.startDirectory.Assign(dir.str());
        p.currentDirectory = dir.str();
    }
    // Writes a file into the folder and makes it the current file.
    void UseFile(std::string_view name, std::string_view content) {
        p.state.currentFileName.Assign(dir.Write(name, content));
    }
    // The activity texts shown so far, without the blanks the refresh adds.
    std::vector<std::string> Activity() const {
        std::vector<std::string> out;
        for (std::string text : windows.activity) {
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            out.push_back(text);
        }
        return out;
    }
};

// One Intel HEX record with its checksum, in upper-case digits, no line end.
inline std::string Record(int type, int address, const std::vector<int>& data) {
    char text[16];
    std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                  static_cast<unsigned>(address), static_cast<unsigned>(type));
    std::string record = text;
    int sum = static_cast<int>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    for (int byte : data) {
        std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(byte));
        record += text;
        sum += byte;
    }
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>((-sum) & 0xFF));
    return record + text;
}

// `count` data bytes counting up from `first`.
inline std::vector<int> Bytes(int count, int first = 0) {
    std::vector<int> out;
    for (int i = 0; i < count; ++i)
        out.push_back((first + i) & 0xFF);
    return out;
}

inline constexpr const char* kEndRecord = ":00000001FF";

}  // namespace ostrel::testing
