#include "platform/linux/sys_calls.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace ostrel {

int LinuxSysCalls::Open(const char* path, int flags) {
    return ::open(path, flags);
}

// close(2) is not repeated after EINTR: on Linux the descriptor is gone either way.
int LinuxSysCalls::Close(int fd) {
    return ::close(fd);
}

int LinuxSysCalls::Ioctl(int fd, unsigned long request, void* arg) {
    return ::ioctl(fd, request, arg);
}

int LinuxSysCalls::TcGetAttr(int fd, termios* settings) {
    return ::tcgetattr(fd, settings);
}

int LinuxSysCalls::TcSetAttr(int fd, int action, const termios* settings) {
    return ::tcsetattr(fd, action, settings);
}

int LinuxSysCalls::Fcntl(int fd, int cmd, int arg) {
    return ::fcntl(fd, cmd, arg);
}

int LinuxSysCalls::Flock(int fd, int operation) {
    return ::flock(fd, operation);
}

int LinuxSysCalls::Stat(const char* path, struct stat* info) {
    return ::stat(path, info);
}

std::optional<std::string> LinuxSysCalls::GroupName(gid_t gid) {
    // getgrgid_r: the reentrant form, with a buffer that grows while the
    // entry does not fit (a group with many members can be large).
    std::vector<char> buffer(1024);
    for (int attempt = 0; attempt < 8; ++attempt) {
        group entry{};
        group* found = nullptr;
        int error = ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE) {
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (error != 0 || found == nullptr || found->gr_name == nullptr)
            return std::nullopt;
        return std::string(found->gr_name);
    }
    return std::nullopt;
}

}  // namespace ostrel
