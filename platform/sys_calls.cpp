#include "platform/sys_calls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

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

}  // namespace ostrel
