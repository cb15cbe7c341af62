#include "tests/support/child_process.h"

#ifdef _WIN32
// Windows has no forked children and no other user to run as: the tests
// that need them skip (REQUIRE_FORKED_CHILD), and these say so if called.
namespace ostrel::testing {

uid_t UnprivilegedUid() {
    return 0;
}

gid_t UnprivilegedGid() {
    return 0;
}

void GiveToUnprivileged(const std::filesystem::path& /*folder*/) {}

std::vector<std::string> UnprivilegedCommand(const std::string& program) {
    return {program};
}

bool RunInChild(const std::function<void()>& /*body*/, const ChildOptions& /*options*/,
                std::string* why) {
    if (why)
        *why = "no forked child on Windows";
    return false;
}

}  // namespace ostrel::testing
#else
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace ostrel::testing {

namespace {
// The user nobody of Debian, which owns no file.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
}  // namespace

uid_t UnprivilegedUid() {
    return ::geteuid() == 0 ? kNobody : ::geteuid();
}

gid_t UnprivilegedGid() {
    return ::geteuid() == 0 ? kNogroup : ::getegid();
}

void GiveToUnprivileged(const std::filesystem::path& folder) {
    if (::geteuid() != 0)
        return;
    std::error_code ec;
    // A file that cannot be handed over shows as the access the test then lacks.
    bool handedOver = ::lchown(folder.c_str(), kNobody, kNogroup) == 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec))
        handedOver = ::lchown(entry.path().c_str(), kNobody, kNogroup) == 0 && handedOver;
    (void)handedOver;
}

std::vector<std::string> UnprivilegedCommand(const std::string& program) {
    if (::geteuid() != 0)
        return {program};
    return {"/usr/bin/setpriv", "--reuid=" + std::to_string(kNobody),
            "--regid=" + std::to_string(kNogroup), "--clear-groups", program};
}

bool RunInChild(const std::function<void()>& body, const ChildOptions& options, std::string* why) {
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = ::fork();
    if (pid < 0) {
        if (why)
            *why = "fork failed";
        return false;
    }
    if (pid == 0) {
        if (options.unprivileged && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNogroup) != 0 || ::setuid(kNobody) != 0)
                std::_Exit(3);
        }
        if (options.fileSizeLimit) {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                std::_Exit(4);
        }
        body();
        std::fflush(stdout);
        std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    if (why) {
        if (WIFSIGNALED(status))
            *why = "the child was killed by signal " + std::to_string(WTERMSIG(status));
        else if (WEXITSTATUS(status) == 3)
            *why = "the child could not drop its privileges";
        else if (WEXITSTATUS(status) == 4)
            *why = "the child could not set its file size limit";
        else
            *why = "the child failed (its output is above)";
    }
    return false;
}

}  // namespace ostrel::testing
#endif
