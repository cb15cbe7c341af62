// What tells one file from another: where it lives (the volume and the
// file's number on it), how long it is and when it was last changed. A file
// replaced by a rename, a name switched to another file, or a file rewritten
// in place gives another identity, so a command can tell that what it
// streams is the file it checked.
#pragma once

#include <cstdint>
#include <string>

namespace ostrel {

struct FileIdentity {
    std::uint64_t volume = 0;  // device (Linux) or volume serial number (Windows)
    std::uint64_t index = 0;   // inode (Linux) or file index (Windows)
    std::int64_t size = -1;
    std::int64_t modified = 0;  // in the system's finest unit
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// A file a command has judged, under the name it will open again.
struct CheckedFile {
    std::string path;
    FileIdentity identity;
};

}  // namespace ostrel
