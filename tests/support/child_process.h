// Running a piece of a test in a forked child: as an unprivileged user (the
// tests run as root in CI, and root is not stopped by file permissions), or
// under a file size limit (a full disk, without filling one). The child's
// failed expectations are printed by the child and make RunInChild fail.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32
using uid_t = unsigned int;
using gid_t = unsigned int;
#else
#include <sys/types.h>
#endif

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Skips a test that needs a forked child, another user or a file size
// limit: Windows has none of them (and its folders take new files whatever
// their read-only attribute says).
#ifdef _WIN32
#define REQUIRE_FORKED_CHILD() \
    GTEST_SKIP() << "no forked child, other user or file size limit on Windows"
#else
#define REQUIRE_FORKED_CHILD() \
    do {                       \
    } while (0)
#endif

namespace ostrel::testing {

struct ChildOptions {
    // Drop to an unprivileged user first, when running as root.
    bool unprivileged = false;
    // The largest file the child may write, in bytes (RLIMIT_FSIZE); a
    // write beyond it fails with EFBIG instead of ending the child.
    std::optional<unsigned long> fileSizeLimit;
};

// Runs `body` in a forked child and waits for it. True when the child ended
// normally without a failed expectation; `why` says otherwise.
bool RunInChild(const std::function<void()>& body, const ChildOptions& options = {},
                std::string* why = nullptr);

// The user and group an unprivileged child runs as: "nobody" when the tests
// run as root, the tests' own user otherwise.
uid_t UnprivilegedUid();
gid_t UnprivilegedGid();

// Hands a folder and everything in it to the unprivileged user (when the
// tests run as root), so that a child or a program run by it can use it.
void GiveToUnprivileged(const std::filesystem::path& folder);

// The command line that runs a program as the unprivileged user: setpriv
// with that user and group in front of `program` when running as root,
// `program` alone otherwise.
std::vector<std::string> UnprivilegedCommand(const std::string& program);

}  // namespace ostrel::testing
