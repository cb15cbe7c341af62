// Virtual serial ttys and parallel ports at the level of system calls, for
// testing the real Linux port backends without hardware.
//
// A table maps paths to virtual nodes: a tty (termios settings, RTS/DTR/break
// out, CTS/DSR/RI/DCD in), a ppdev parallel port (data, status and control
// registers, data direction, claim), or a plain file. A path that is not in
// the table does not exist. Descriptors are handed out from 3 upwards and
// never reused, so a backend that uses a descriptor after closing it gets
// EBADF instead of silently reaching another device.
//
// Behaviour follows the Linux drivers where the backends depend on it:
//  - ioctls a node does not know fail with ENOTTY, as do tcgetattr and
//    tcsetattr on anything but a tty;
//  - opening a tty without O_NONBLOCK while CLOCAL is clear and DCD is off
//    would wait for the carrier for ever; here it fails with EINTR and is
//    counted in BlockedOpens();
//  - ppdev register ioctls need the port claimed (else EINVAL); PPRCONTROL
//    gives only control bits 0-3; PPWCONTROL stores bits 0-3 and, when bit 5
//    is set, reverses the data lines as the PC-style driver does; closing a
//    descriptor releases its claim;
//  - in the reverse direction PPRDATA reads what the outside drives on the
//    data lines (the latch on an output-only port), in the forward direction
//    the data latch;
//  - TIOCEXCL makes further opens of a tty fail with EBUSY (except for the
//    superuser) until TIOCNXCL or the last close;
//  - flock locks belong to the open file: a conflicting LOCK_NB request
//    fails with EWOULDBLOCK, a blocking one would wait for ever and fails
//    with EINTR here (counted in BlockedLocks()); closing drops the lock;
//  - stat gives a character device (or a regular file) owned by root and a
//    group: ttys belong to "dialout" (20), parports to "lp" (7), files to
//    "root" (0), as on Debian, unless SetGroup says otherwise.
//
// Faults can be injected per path; every call is recorded with its result.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/sys_calls.h"

namespace ostrel::testing {

struct VirtualTty {
    termios settings{};  // as the port holds them; a Linux-like default
    bool rts = false;
    bool dtr = false;
    bool breakOn = false;
    bool exclusive = false;  // TIOCEXCL in force
    // Input lines as TIOCM_CTS, TIOCM_DSR, TIOCM_RI and TIOCM_CD bits.
    int inputs = 0;
    // When set, gives the input lines from the output lines at each read
    // (a loop-back cable, for example) instead of `inputs`.
    std::function<int(const VirtualTty&)> inputsFn;
};

struct VirtualParport {
    uint8_t data = 0;        // the data latch, driven onto the lines in the forward direction
    uint8_t status = 0;      // the status register
    uint8_t control = 0x0C;  // control bits 0-3 (a fresh claim leaves INIT and SELECT set)
    bool reverse = false;    // data lines switched to input (control bit 5)
    // False: an output-only port; the direction changes nothing and the data
    // register reads the latch either way.
    bool bidirectional = true;
    uint8_t externalLines = 0xFF;  // what the outside drives while the port does not
    // When set, gives the status register from the port's state at each read.
    std::function<uint8_t(const VirtualParport&)> statusFn;
    int claimedBy = -1;               // descriptor holding the claim
    int claims = 0;                   // successful PPCLAIMs so far
    int directionThroughControl = 0;  // PPWCONTROL writes that carried bit 5
};

// Faults of one path. Error numbers of 0 mean no fault.
struct VirtualFaults {
    int openErrno = 0;        // open fails (EACCES, ENOENT, EBUSY, ...)
    int fcntlErrno = 0;       // fcntl fails
    int tcgetattrErrno = 0;   // tcgetattr fails
    int tcsetattrFailAt = 0;  // the n-th tcsetattr on one descriptor fails (1-based); 0 never
    int tcsetattrErrno = EIO;
    int modemGetErrno = 0;  // TIOCMGET fails
    int claimErrno = 0;     // PPCLAIM fails
    int flockErrno = 0;     // flock fails
};

class VirtualDevices : public SysCalls {
  public:
    enum class NodeKind { Tty, Parport, File };

    enum class CallKind { Open, Close, Ioctl, TcGetAttr, TcSetAttr, Fcntl, Flock, Stat };
    struct Call {
        CallKind kind = CallKind::Open;
        std::string path;  // the path opened, or the path behind fd
        int fd = -1;
        int flags = 0;              // open flags; fcntl command; tcsetattr action; flock operation
        unsigned long request = 0;  // ioctl request
        int value = 0;              // the ioctl or fcntl argument's value, after the call
        termios settings{};         // tcsetattr: the settings passed
        int result = 0;
        int error = 0;  // errno of a failed call
    };

    // --- the table of paths ---
    VirtualTty& AddTty(const std::string& path);
    VirtualParport& AddParport(const std::string& path);
    void AddFile(const std::string& path);
    // The node of a path added before (throws std::out_of_range otherwise).
    VirtualTty& Tty(const std::string& path);
    VirtualParport& Parport(const std::string& path);
    VirtualFaults& Faults(const std::string& path);
    // The owner group of a path, and the names of the group database.
    void SetGroup(const std::string& path, gid_t gid);
    void AddGroup(gid_t gid, const std::string& name);

    // --- system calls ---
    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* arg) override;
    int TcGetAttr(int fd, termios* settings) override;
    int TcSetAttr(int fd, int action, const termios* settings) override;
    int Fcntl(int fd, int cmd, int arg) override;
    int Flock(int fd, int operation) override;
    int Stat(const char* path, struct stat* info) override;
    std::optional<std::string> GroupName(gid_t gid) override;

    // --- what happened ---
    const std::vector<Call>& Calls() const { return calls_; }
    std::vector<Call> CallsOf(CallKind kind) const;
    // The ioctls made, in order.
    std::vector<Call> Ioctls() const { return CallsOf(CallKind::Ioctl); }
    void ClearCalls() { calls_.clear(); }
    // Descriptors open now, in all or on one path.
    int OpenDescriptors() const { return static_cast<int>(open_.size()); }
    int OpenDescriptors(std::string_view path) const;
    int BlockedOpens() const { return blockedOpens_; }
    int BlockedLocks() const { return blockedLocks_; }
    // Descriptors holding a flock lock on a path.
    int LockHolders(std::string_view path) const;
    // False stops the call log (long simulated runs); counts stay right.
    bool recordCalls = true;
    // True opens ttys held with TIOCEXCL anyway, as the superuser can.
    bool superuser = false;

    // Name of a request the virtual devices know ("TIOCMBIS", "PPWDATA", ...).
    static std::string RequestName(unsigned long request);

  private:
    struct Node {
        NodeKind kind = NodeKind::File;
        VirtualTty tty;
        VirtualParport parport;
        VirtualFaults faults;
        gid_t gid = 0;
        std::map<int, bool> locks;  // descriptor -> exclusive lock
    };
    struct OpenFile {
        std::string path;
        int statusFlags = 0;
        int tcsetattrCalls = 0;
    };

    Node& AddNode(const std::string& path, NodeKind kind);
    Node* NodeOf(int fd, OpenFile** file);
    int Record(Call call, int result, int error);
    int TtyIoctl(Node& node, unsigned long request, void* arg, Call& call);
    int ParportIoctl(Node& node, int fd, unsigned long request, void* arg, Call& call);

    std::map<std::string, Node, std::less<>> nodes_;
    std::map<int, OpenFile> open_;
    std::vector<Call> calls_;
    std::map<gid_t, std::string> groups_{{0, "root"}, {7, "lp"}, {20, "dialout"}};
    int nextFd_ = 3;
    int blockedOpens_ = 0;
    int blockedLocks_ = 0;
};

}  // namespace ostrel::testing
