// The few operating-system calls the real port backends make, behind an
// interface so that the backends can be driven against a virtual device in
// tests. Every call keeps the C library's convention: -1 (or another negative
// value) on failure with the reason in errno.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>

#include <optional>
#include <string>

namespace ostrel {

class SysCalls {
  public:
    virtual ~SysCalls() = default;

    // open(2) without a creation mode: the backends only open existing devices.
    virtual int Open(const char* path, int flags) = 0;
    virtual int Close(int fd) = 0;
    // ioctl(2); `arg` points at the request's argument, or is null for requests
    // that take none (TIOCSBRK, TIOCCBRK, PPCLAIM, PPRELEASE).
    virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
    virtual int TcGetAttr(int fd, termios* settings) = 0;
    virtual int TcSetAttr(int fd, int action, const termios* settings) = 0;
    // fcntl(2) with an integer argument (F_GETFL, F_SETFL).
    virtual int Fcntl(int fd, int cmd, int arg) = 0;
    // flock(2): an advisory lock on the open file (LOCK_EX, LOCK_SH, LOCK_UN,
    // with LOCK_NB). It belongs to the open file, so a second open of the same
    // device by anyone honouring it is refused while it is held.
    virtual int Flock(int fd, int operation) = 0;
    // stat(2), for the owner group of a device that refused to open.
    virtual int Stat(const char* path, struct stat* info) = 0;
    // The name of a group from the group database; none when it has no entry.
    virtual std::optional<std::string> GroupName(gid_t gid) = 0;
};

// The calls of the C library.
class LinuxSysCalls : public SysCalls {
  public:
    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    int TcGetAttr(int fd, termios* settings) override;
    int TcSetAttr(int fd, int action, const termios* settings) override;
    int Fcntl(int fd, int cmd, int arg) override;
    int Flock(int fd, int operation) override;
    int Stat(const char* path, struct stat* info) override;
    std::optional<std::string> GroupName(gid_t gid) override;
};

}  // namespace ostrel
