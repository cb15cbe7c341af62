#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/file_system.h"

namespace ostrel {

std::error_code ReplaceWhole(const std::string& temp, const std::string& target) {
    if (std::rename(temp.c_str(), target.c_str()) != 0)
        return {errno, std::generic_category()};
    return {};
}

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && ::isatty(::fileno(stream)) != 0;
}

std::string UniqueTempName(const std::string& target) {
    return target + "." + std::to_string(::getpid()) + ".tmp";
}

std::optional<FileLock> FileLock::TryLock(const std::string& path, std::string* holder) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (holder)
            *holder = "cannot open " + path + ": " + std::generic_category().message(errno);
        return std::nullopt;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (holder) {
            char text[32] = {};
            ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
            std::string pid = got > 0 ? std::string(text, static_cast<std::size_t>(got)) : "";
            while (!pid.empty() && (pid.back() == '\n' || pid.back() == '\r'))
                pid.pop_back();
            *holder = pid.empty() ? "another process" : "process " + pid;
        }
        ::close(fd);
        return std::nullopt;
    }
    // The holder's process id, for the message of whoever waits.
    std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // A lock without the note still locks.
    }
    return FileLock(fd);
}

void FileLock::Release() {
    if (handle_ < 0)
        return;
    int fd = static_cast<int>(handle_);
    ::flock(fd, LOCK_UN);
    ::close(fd);
    handle_ = -1;
}

}  // namespace ostrel
