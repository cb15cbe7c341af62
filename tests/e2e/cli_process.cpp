#include "tests/e2e/cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace ostrel::testing {

namespace {

// Closes a descriptor once, when the holder goes.
struct Fd {
    int fd = -1;
    ~Fd() { Close(); }
    void Close() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t'\"") == std::string::npos)
        return arg;
    std::string quoted = "'";
    for (char c : arg) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

}  // namespace

std::string ProcessResult::Describe() const {
    std::string text = "command: " + command + "\n";
    if (!started)
        return text + "(could not be started)\n";
    if (timedOut)
        text += "(timed out and killed)\n";
    if (exited) {
        text += "exit status: " + std::to_string(status) + "\n";
    } else {
        text += "killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")\n";
    }
    text += "--- stdout ---\n" + out + "--- stderr ---\n" + err + "---";
    return text;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         int timeoutMs) {
    ProcessResult r;
    r.command = Quote(program);
    for (const std::string& a : args) {
        r.command += ' ';
        r.command += Quote(a);
    }

    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return r;
    Fd outRead{outPipe[0]}, outWrite{outPipe[1]};
    if (::pipe2(errPipe, O_CLOEXEC) != 0)
        return r;
    Fd errRead{errPipe[0]}, errWrite{errPipe[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite.fd, STDERR_FILENO);

    std::vector<std::string> argvStore;
    argvStore.push_back(program);
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(argvStore.size() + 1);
    for (std::string& a : argvStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return r;
    r.started = true;
    outWrite.Close();
    errWrite.Close();

    // Read both pipes as they fill, so a child that writes much to one of
    // them never blocks on a full pipe while we wait on the other.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    while (outRead.fd >= 0 || errRead.fd >= 0) {
        pollfd fds[2];
        nfds_t count = 0;
        if (outRead.fd >= 0)
            fds[count++] = {outRead.fd, POLLIN, 0};
        if (errRead.fd >= 0)
            fds[count++] = {errRead.fd, POLLIN, 0};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            r.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        int ready = ::poll(fds, count, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0)
                continue;
            Fd& source = fds[i].fd == outRead.fd ? outRead : errRead;
            std::string& sink = fds[i].fd == outRead.fd ? r.out : r.err;
            ssize_t n = ::read(source.fd, buffer, sizeof buffer);
            if (n > 0) {
                sink.append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                source.Close();
            }
        }
    }

    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(wstatus)) {
        r.exited = true;
        r.status = WEXITSTATUS(wstatus);
    } else if (WIFSIGNALED(wstatus)) {
        r.signal = WTERMSIG(wstatus);
    }
    return r;
}

::testing::AssertionResult ExitedWith(const ProcessResult& r, int status) {
    if (r.started && r.exited && !r.timedOut && r.status == status)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected exit status " << status << "\n"
                                         << r.Describe();
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace ostrel::testing
