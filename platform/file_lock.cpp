// What a file lock does alike on every system: it moves with its object and
// ends with it. Taking it, checking it and letting it go are the system's
// (platform/linux/file_system.cpp, platform/win32/file_system.cpp).
#include "platform/file_system.h"

namespace ostrel {

FileLock::FileLock(FileLock&& other) noexcept : handle_(other.handle_) {
    other.handle_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

FileLock::~FileLock() {
    Release();
}

}  // namespace ostrel
