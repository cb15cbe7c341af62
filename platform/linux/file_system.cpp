// The file system operations on Linux: rename(2) for the whole replacement,
// flock(2) for the lock (the same lock the serial backend takes on a tty),
// and open(2) with O_NONBLOCK so that a FIFO or a device is looked at, never
// waited on.
#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ostrel {

namespace {

// The folder of a path, for syncing it after a rename; "." for a bare name.
std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string KindText(mode_t mode) {
    if (S_ISDIR(mode))
        return "it is a folder";
    if (S_ISFIFO(mode))
        return "it is a named pipe (FIFO), not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a file";
    if (S_ISSOCK(mode))
        return "it is a socket, not a file";
    if (!S_ISREG(mode))
        return "it is not a plain file";
    return {};
}

// The process that holds an flock on the file with this device and inode,
// from /proc/locks ("1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"), and
// its program name; empty when the system does not say.
std::string LockHolder(const struct stat& info) {
    std::ifstream locks("/proc/locks");
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long>(info.st_ino));
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        fields >> number >> kind >> mode >> access;
        if (access == "->")  // a waiter, listed after the holder
            continue;
        fields >> pid >> where;
        if (kind != "FLOCK" || where != wanted)
            continue;
        std::string text = "the process " + pid;
        std::ifstream comm("/proc/" + pid + "/comm");
        std::string name;
        if (std::getline(comm, name) && !name.empty())
            text += " (" + name + ")";
        return text;
    }
    return {};
}

std::optional<FileIdentity> IdentityFrom(const struct stat& info) {
    if (!S_ISREG(info.st_mode))
        return std::nullopt;
    FileIdentity id;
    id.volume = static_cast<std::uint64_t>(info.st_dev);
    id.index = static_cast<std::uint64_t>(info.st_ino);
    id.size = static_cast<std::int64_t>(info.st_size);
    id.modified =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return id;
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return IdentityFrom(info);
}

std::optional<FileIdentity> IdentityOf(std::FILE* file) {
    struct stat info {};
    if (file == nullptr || ::fstat(::fileno(file), &info) != 0)
        return std::nullopt;
    return IdentityFrom(info);
}

std::error_code ReplaceWhole(const std::string& temp, const std::string& target) {
    if (::rename(temp.c_str(), target.c_str()) != 0)
        return {errno, std::generic_category()};
    // The new name is on the disk too, not only the data.
    int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
}

std::string UniqueTempName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + "." + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".part";
}

bool SyncToDisk(std::FILE* file) {
    if (file == nullptr || std::fflush(file) != 0)
        return false;
    // Some file systems (a pipe, /dev/null) cannot sync: that is no failure of the data.
    return ::fsync(::fileno(file)) == 0 || errno == EINVAL || errno == EROFS;
}

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && ::isatty(::fileno(stream)) != 0;
}

std::string NotAFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    return KindText(info.st_mode);
}

std::FILE* OpenPlainFile(const std::string& path, const char* mode, std::string* why) {
    const bool update = std::strchr(mode, '+') != nullptr;
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
    int fd = ::open(path.c_str(), (update ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == EISDIR) {
        // A folder opened for update: say what it is.
        if (why)
            *why = "it is a folder";
        errno = EISDIR;
        return nullptr;
    }
    if (fd < 0) {
        int error = errno;
        if (why)
            *why = std::strerror(error);
        errno = error;
        return nullptr;
    }
    struct stat info {};
    std::string kind = ::fstat(fd, &info) == 0 ? KindText(info.st_mode) : "it cannot be examined";
    if (!kind.empty()) {
        ::close(fd);
        if (why)
            *why = kind;
        errno = S_ISDIR(info.st_mode) ? EISDIR : ENODEV;
        return nullptr;
    }
    // A plain file never blocks, but its reads should not see EAGAIN either.
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, mode);
    if (file == nullptr) {
        int error = errno;
        ::close(fd);
        if (why)
            *why = std::strerror(error);
        errno = error;
    }
    return file;
}

std::optional<FileLock> FileLock::TryLock(const std::string& path, std::string* holder) {
    // The file may be replaced (renamed over) between the open and the lock:
    // a lock on a file that no longer has the name is no lock. Try again on
    // the new one; a file replaced again and again is taken as busy.
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string kind = NotAFile(path);
        if (!kind.empty()) {
            if (holder) {
                *holder = "cannot lock " + path;
                *holder += ": " + kind;
            }
            return std::nullopt;
        }
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (holder)
                *holder = "cannot open " + path + ": " + std::strerror(errno);
            return std::nullopt;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int error = errno;
            struct stat info {};
            std::string who = ::fstat(fd, &info) == 0 ? LockHolder(info) : std::string();
            ::close(fd);
            if (holder) {
                if (error == EWOULDBLOCK)
                    *holder = who.empty() ? "another program" : who;
                else
                    *holder = "cannot lock " + path + ": " + std::strerror(error);
            }
            return std::nullopt;
        }
        FileLock lock(fd);
        if (lock.Holds(path))
            return lock;
    }
    if (holder)
        *holder = "another program";
    return std::nullopt;
}

bool FileLock::MovesWithFile() {
    return true;
}

bool FileLock::Holds(const std::string& path) const {
    struct stat mine {};
    struct stat named {};
    if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &mine) != 0 ||
        ::stat(path.c_str(), &named) != 0)
        return false;
    return mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

void FileLock::Release() {
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));  // closing the only descriptor ends the lock
    handle_ = -1;
}

}  // namespace ostrel
