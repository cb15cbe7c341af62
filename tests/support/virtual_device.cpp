#include "tests/support/virtual_device.h"

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace ostrel::testing {

namespace {

// The settings a Linux serial port has before anyone configures it.
termios DefaultTtySettings() {
    termios t{};
    t.c_iflag = ICRNL | IXON;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS8 | CREAD | HUPCL;
    t.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    return t;
}

constexpr int kInputLines = TIOCM_CTS | TIOCM_DSR | TIOCM_RI | TIOCM_CD;
// Status flags fcntl(F_SETFL) may change.
constexpr int kChangeableStatusFlags = O_NONBLOCK | O_APPEND | O_ASYNC;

}  // namespace

VirtualDevices::Node& VirtualDevices::AddNode(const std::string& path, NodeKind kind) {
    Node& node = nodes_[path];
    node = Node{};
    node.kind = kind;
    node.gid = kind == NodeKind::Tty ? 20 : kind == NodeKind::Parport ? 7 : 0;
    return node;
}

VirtualTty& VirtualDevices::AddTty(const std::string& path) {
    Node& node = AddNode(path, NodeKind::Tty);
    node.tty.settings = DefaultTtySettings();
    return node.tty;
}

VirtualParport& VirtualDevices::AddParport(const std::string& path) {
    return AddNode(path, NodeKind::Parport).parport;
}

void VirtualDevices::AddFile(const std::string& path) {
    AddNode(path, NodeKind::File);
}

VirtualTty& VirtualDevices::Tty(const std::string& path) {
    return nodes_.at(path).tty;
}
VirtualParport& VirtualDevices::Parport(const std::string& path) {
    return nodes_.at(path).parport;
}
VirtualFaults& VirtualDevices::Faults(const std::string& path) {
    return nodes_.at(path).faults;
}
void VirtualDevices::SetGroup(const std::string& path, gid_t gid) {
    nodes_.at(path).gid = gid;
}
void VirtualDevices::AddGroup(gid_t gid, const std::string& name) {
    groups_[gid] = name;
}

int VirtualDevices::LockHolders(std::string_view path) const {
    auto it = nodes_.find(path);
    return it == nodes_.end() ? 0 : static_cast<int>(it->second.locks.size());
}

std::vector<VirtualDevices::Call> VirtualDevices::CallsOf(CallKind kind) const {
    std::vector<Call> out;
    for (const Call& call : calls_) {
        if (call.kind == kind)
            out.push_back(call);
    }
    return out;
}

int VirtualDevices::OpenDescriptors(std::string_view path) const {
    int n = 0;
    for (const auto& [fd, file] : open_) {
        if (file.path == path)
            ++n;
    }
    return n;
}

int VirtualDevices::Record(Call call, int result, int error) {
    call.result = result;
    call.error = error;
    if (recordCalls)
        calls_.push_back(std::move(call));
    errno = error;
    return result;
}

VirtualDevices::Node* VirtualDevices::NodeOf(int fd, OpenFile** file) {
    auto it = open_.find(fd);
    if (it == open_.end())
        return nullptr;
    *file = &it->second;
    return &nodes_.at(it->second.path);
}

int VirtualDevices::Open(const char* path, int flags) {
    Call call;
    call.kind = CallKind::Open;
    call.path = path != nullptr ? path : "";
    call.flags = flags;
    auto it = nodes_.find(call.path);
    if (it == nodes_.end())
        return Record(std::move(call), -1, ENOENT);
    Node& node = it->second;
    if (node.faults.openErrno != 0)
        return Record(std::move(call), -1, node.faults.openErrno);
    if (node.kind == NodeKind::Tty && node.tty.exclusive && !superuser)
        return Record(std::move(call), -1, EBUSY);
    if (node.kind == NodeKind::Tty && (flags & O_NONBLOCK) == 0 &&
        (node.tty.settings.c_cflag & CLOCAL) == 0) {
        int lines = node.tty.inputsFn ? node.tty.inputsFn(node.tty) : node.tty.inputs;
        if ((lines & TIOCM_CD) == 0) {
            // The real open would sleep until the carrier comes.
            ++blockedOpens_;
            return Record(std::move(call), -1, EINTR);
        }
    }
    int fd = nextFd_++;
    OpenFile file;
    file.path = call.path;
    file.statusFlags = flags & (O_ACCMODE | kChangeableStatusFlags);
    open_.emplace(fd, std::move(file));
    call.fd = fd;
    return Record(std::move(call), fd, 0);
}

int VirtualDevices::Close(int fd) {
    Call call;
    call.kind = CallKind::Close;
    call.fd = fd;
    auto it = open_.find(fd);
    if (it == open_.end())
        return Record(std::move(call), -1, EBADF);
    call.path = it->second.path;
    Node& node = nodes_.at(it->second.path);
    // Closing a ppdev descriptor gives up its claim.
    if (node.kind == NodeKind::Parport && node.parport.claimedBy == fd)
        node.parport.claimedBy = -1;
    node.locks.erase(fd);
    open_.erase(it);
    // The tty driver forgets TIOCEXCL when its last user goes.
    if (node.kind == NodeKind::Tty && OpenDescriptors(call.path) == 0)
        node.tty.exclusive = false;
    return Record(std::move(call), 0, 0);
}

int VirtualDevices::Fcntl(int fd, int cmd, int arg) {
    Call call;
    call.kind = CallKind::Fcntl;
    call.fd = fd;
    call.flags = cmd;
    call.value = arg;
    OpenFile* file = nullptr;
    Node* node = NodeOf(fd, &file);
    if (node == nullptr)
        return Record(std::move(call), -1, EBADF);
    call.path = file->path;
    if (node->faults.fcntlErrno != 0)
        return Record(std::move(call), -1, node->faults.fcntlErrno);
    switch (cmd) {
        case F_GETFL:
            return Record(std::move(call), file->statusFlags, 0);
        case F_SETFL:
            file->statusFlags =
                (file->statusFlags & ~kChangeableStatusFlags) | (arg & kChangeableStatusFlags);
            return Record(std::move(call), 0, 0);
        default:
            return Record(std::move(call), -1, EINVAL);
    }
}

int VirtualDevices::Flock(int fd, int operation) {
    Call call;
    call.kind = CallKind::Flock;
    call.fd = fd;
    call.flags = operation;
    OpenFile* file = nullptr;
    Node* node = NodeOf(fd, &file);
    if (node == nullptr)
        return Record(std::move(call), -1, EBADF);
    call.path = file->path;
    if (node->faults.flockErrno != 0)
        return Record(std::move(call), -1, node->faults.flockErrno);
    int kind = operation & ~LOCK_NB;
    if (kind == LOCK_UN) {
        node->locks.erase(fd);
        return Record(std::move(call), 0, 0);
    }
    if (kind != LOCK_EX && kind != LOCK_SH)
        return Record(std::move(call), -1, EINVAL);
    bool exclusive = kind == LOCK_EX;
    for (const auto& [holder, holderExclusive] : node->locks) {
        if (holder == fd || (!exclusive && !holderExclusive))
            continue;
        if (operation & LOCK_NB)
            return Record(std::move(call), -1, EWOULDBLOCK);
        // The real call would sleep until the holder lets go.
        ++blockedLocks_;
        return Record(std::move(call), -1, EINTR);
    }
    node->locks[fd] = exclusive;
    return Record(std::move(call), 0, 0);
}

int VirtualDevices::Stat(const char* path, struct stat* info) {
    Call call;
    call.kind = CallKind::Stat;
    call.path = path != nullptr ? path : "";
    auto it = nodes_.find(call.path);
    if (it == nodes_.end())
        return Record(std::move(call), -1, ENOENT);
    if (info == nullptr)
        return Record(std::move(call), -1, EFAULT);
    const Node& node = it->second;
    *info = {};
    info->st_mode = node.kind == NodeKind::File ? (S_IFREG | 0644) : (S_IFCHR | 0660);
    info->st_uid = 0;
    info->st_gid = node.gid;
    info->st_nlink = 1;
    return Record(std::move(call), 0, 0);
}

std::optional<std::string> VirtualDevices::GroupName(gid_t gid) {
    auto it = groups_.find(gid);
    if (it == groups_.end())
        return std::nullopt;
    return it->second;
}

int VirtualDevices::TcGetAttr(int fd, termios* settings) {
    Call call;
    call.kind = CallKind::TcGetAttr;
    call.fd = fd;
    OpenFile* file = nullptr;
    Node* node = NodeOf(fd, &file);
    if (node == nullptr)
        return Record(std::move(call), -1, EBADF);
    call.path = file->path;
    if (node->kind != NodeKind::Tty)
        return Record(std::move(call), -1, ENOTTY);
    if (node->faults.tcgetattrErrno != 0) {
        return Record(std::move(call), -1, node->faults.tcgetattrErrno);
    }
    *settings = node->tty.settings;
    return Record(std::move(call), 0, 0);
}

int VirtualDevices::TcSetAttr(int fd, int action, const termios* settings) {
    Call call;
    call.kind = CallKind::TcSetAttr;
    call.fd = fd;
    call.flags = action;
    if (settings != nullptr)
        call.settings = *settings;
    OpenFile* file = nullptr;
    Node* node = NodeOf(fd, &file);
    if (node == nullptr)
        return Record(std::move(call), -1, EBADF);
    call.path = file->path;
    if (node->kind != NodeKind::Tty)
        return Record(std::move(call), -1, ENOTTY);
    if (settings == nullptr)
        return Record(std::move(call), -1, EFAULT);
    if (action != TCSANOW && action != TCSADRAIN && action != TCSAFLUSH) {
        return Record(std::move(call), -1, EINVAL);
    }
    ++file->tcsetattrCalls;
    if (node->faults.tcsetattrFailAt == file->tcsetattrCalls) {
        return Record(std::move(call), -1, node->faults.tcsetattrErrno);
    }
    node->tty.settings = *settings;
    return Record(std::move(call), 0, 0);
}

int VirtualDevices::Ioctl(int fd, unsigned long request, void* arg) {
    Call call;
    call.kind = CallKind::Ioctl;
    call.fd = fd;
    call.request = request;
    OpenFile* file = nullptr;
    Node* node = NodeOf(fd, &file);
    if (node == nullptr)
        return Record(std::move(call), -1, EBADF);
    call.path = file->path;
    int error = ENOTTY;
    switch (node->kind) {
        case NodeKind::Tty:
            error = TtyIoctl(*node, request, arg, call);
            break;
        case NodeKind::Parport:
            error = ParportIoctl(*node, fd, request, arg, call);
            break;
        case NodeKind::File:
            break;
    }
    return Record(std::move(call), error == 0 ? 0 : -1, error);
}

int VirtualDevices::TtyIoctl(Node& node, unsigned long request, void* arg, Call& call) {
    VirtualTty& tty = node.tty;
    switch (request) {
        case TIOCMBIS:
        case TIOCMBIC:
        case TIOCMSET: {
            if (arg == nullptr)
                return EFAULT;
            int bits = *static_cast<int*>(arg);
            call.value = bits;
            bool rts = (bits & TIOCM_RTS) != 0;
            bool dtr = (bits & TIOCM_DTR) != 0;
            if (request == TIOCMBIS) {
                tty.rts = tty.rts || rts;
                tty.dtr = tty.dtr || dtr;
            } else if (request == TIOCMBIC) {
                tty.rts = tty.rts && !rts;
                tty.dtr = tty.dtr && !dtr;
            } else {
                tty.rts = rts;
                tty.dtr = dtr;
            }
            return 0;
        }
        case TIOCMGET: {
            if (arg == nullptr)
                return EFAULT;
            if (node.faults.modemGetErrno != 0)
                return node.faults.modemGetErrno;
            int inputs = (tty.inputsFn ? tty.inputsFn(tty) : tty.inputs) & kInputLines;
            int lines = inputs | (tty.rts ? TIOCM_RTS : 0) | (tty.dtr ? TIOCM_DTR : 0);
            *static_cast<int*>(arg) = lines;
            call.value = lines;
            return 0;
        }
        case TIOCEXCL:
            tty.exclusive = true;
            return 0;
        case TIOCNXCL:
            tty.exclusive = false;
            return 0;
        case TIOCSBRK:
            tty.breakOn = true;
            return 0;
        case TIOCCBRK:
            tty.breakOn = false;
            return 0;
        default:
            return ENOTTY;
    }
}

int VirtualDevices::ParportIoctl(Node& node, int fd, unsigned long request, void* arg, Call& call) {
    VirtualParport& port = node.parport;
    if (request == PPCLAIM) {
        if (port.claimedBy == fd)
            return EINVAL;  // already held through this descriptor
        if (node.faults.claimErrno != 0)
            return node.faults.claimErrno;
        // The real driver sleeps until the other holder lets go.
        if (port.claimedBy >= 0)
            return EBUSY;
        port.claimedBy = fd;
        ++port.claims;
        return 0;
    }
    bool known = request == PPRELEASE || request == PPWDATA || request == PPRDATA ||
                 request == PPRSTATUS || request == PPRCONTROL || request == PPWCONTROL ||
                 request == PPDATADIR;
    if (!known)
        return ENOTTY;
    if (port.claimedBy != fd)
        return EINVAL;  // ppdev: claim the port first
    if (request == PPRELEASE) {
        port.claimedBy = -1;
        return 0;
    }
    if (arg == nullptr)
        return EFAULT;
    auto* byte = static_cast<unsigned char*>(arg);
    switch (request) {
        case PPWDATA:
            port.data = *byte;
            call.value = *byte;
            return 0;
        case PPRDATA:
            *byte = port.reverse && port.bidirectional ? port.externalLines : port.data;
            break;
        case PPRSTATUS:
            *byte = port.statusFn ? port.statusFn(port) : port.status;
            break;
        case PPRCONTROL:
            *byte = port.control & 0x0F;
            break;
        case PPWCONTROL:
            port.control = *byte & 0x0F;
            if (*byte & 0x20) {
                ++port.directionThroughControl;
                port.reverse = true;
            }
            call.value = *byte;
            return 0;
        case PPDATADIR: {
            int reverse = *static_cast<int*>(arg);
            port.reverse = reverse != 0;
            call.value = reverse;
            return 0;
        }
        default:
            return ENOTTY;
    }
    call.value = *byte;
    return 0;
}

std::string VirtualDevices::RequestName(unsigned long request) {
    struct Name {
        unsigned long request;
        const char* name;
    };
    static const Name kNames[] = {
        {TIOCMBIS, "TIOCMBIS"},   {TIOCMBIC, "TIOCMBIC"},     {TIOCMSET, "TIOCMSET"},
        {TIOCMGET, "TIOCMGET"},   {TIOCSBRK, "TIOCSBRK"},     {TIOCCBRK, "TIOCCBRK"},
        {TIOCEXCL, "TIOCEXCL"},   {TIOCNXCL, "TIOCNXCL"},     {PPCLAIM, "PPCLAIM"},
        {PPRELEASE, "PPRELEASE"}, {PPWDATA, "PPWDATA"},       {PPRDATA, "PPRDATA"},
        {PPRSTATUS, "PPRSTATUS"}, {PPRCONTROL, "PPRCONTROL"}, {PPWCONTROL, "PPWCONTROL"},
        {PPDATADIR, "PPDATADIR"},
    };
    for (const Name& n : kNames) {
        if (n.request == request)
            return n.name;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "ioctl %#lx", request);
    return buf;
}

}  // namespace ostrel::testing
