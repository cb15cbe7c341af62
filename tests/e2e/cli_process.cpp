#include "tests/e2e/cli_process.h"

#ifdef _WIN32
#include <windows.h>

#include <thread>

#include "platform/win32/wide.h"
#else
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
#endif

namespace ostrel::testing {

namespace {

#ifdef _WIN32
// One argument as the C runtime of the child splits its command line:
// quoted when it holds a blank or a quote, backslashes doubled before a quote.
std::string WindowsArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}
#else
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
#endif

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
#ifdef _WIN32
        text += "ended without an exit status\n";
#else
        text += "killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")\n";
#endif
    }
    text += "--- stdout ---\n" + out + "--- stderr ---\n" + err + "---";
    return text;
}

#ifdef _WIN32
// The terminal, the signal and the redirected output of ProcessOptions are
// POSIX matters; the tests that ask for them run on Linux only.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
    const int timeoutMs = options.timeoutMs;
    ProcessResult r;
    r.command = Quote(program);
    for (const std::string& a : args) {
        r.command += ' ';
        r.command += Quote(a);
    }
    std::string line = WindowsArgument(program);
    for (const std::string& a : args)
        line += ' ' + WindowsArgument(a);

    // Under Wine on a loaded machine a start now and then fails for no
    // reason of the child's; it is tried again after a short pause, so that
    // only a program that cannot start at all reads as "could not be
    // started".
    HANDLE outRead = nullptr, errRead = nullptr;
    PROCESS_INFORMATION process{};
    auto start = [&]() {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE outWrite = nullptr, errWrite = nullptr;
        if (!CreatePipe(&outRead, &outWrite, &inherit, 0))
            return false;
        if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
            CloseHandle(outRead);
            CloseHandle(outWrite);
            return false;
        }
        // Only the child's ends are inherited.
        SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
        HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nul;
        startup.hStdOutput = outWrite;
        startup.hStdError = errWrite;
        std::wstring wideLine = win32::Widen(line);
        BOOL created = CreateProcessW(nullptr, wideLine.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
        CloseHandle(outWrite);
        CloseHandle(errWrite);
        if (nul != INVALID_HANDLE_VALUE)
            CloseHandle(nul);
        if (!created) {
            CloseHandle(outRead);
            CloseHandle(errRead);
        }
        return created != FALSE;
    };
    bool created = false;
    for (int attempt = 0; attempt < 3 && !created; ++attempt) {
        if (attempt > 0)
            Sleep(500);
        created = start();
    }
    if (!created)
        return r;
    r.started = true;
    CloseHandle(process.hThread);

    // Both pipes are drained as they fill, so a child that writes much to
    // one never blocks while the other is read.
    auto drain = [](HANDLE pipe, std::string* sink) {
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0)
            sink->append(buffer, n);
    };
    std::thread outReader(drain, outRead, &r.out);
    std::thread errReader(drain, errRead, &r.err);
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        r.timedOut = true;
        TerminateProcess(process.hProcess, 137);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    outReader.join();
    errReader.join();
    CloseHandle(outRead);
    CloseHandle(errRead);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code) && !r.timedOut) {
        r.exited = true;
        r.status = static_cast<int>(code);
    }
    CloseHandle(process.hProcess);
    // The C runtime writes a text stream's line ends as CR LF on Windows;
    // the tests compare lines, as they would on Linux.
    for (std::string* text : {&r.out, &r.err}) {
        std::string lf;
        for (std::size_t i = 0; i < text->size(); ++i) {
            if ((*text)[i] == '\r' && i + 1 < text->size() && (*text)[i + 1] == '\n')
                continue;
            lf += (*text)[i];
        }
        *text = lf;
    }
    return r;
}

#else
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
    const int timeoutMs = options.timeoutMs;
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

    // A pseudo-terminal for standard input, when asked for.
    Fd terminal;
    std::string terminalName;
    if (options.terminalInput) {
        terminal.fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (terminal.fd < 0 || ::grantpt(terminal.fd) != 0 || ::unlockpt(terminal.fd) != 0)
            return r;
        terminalName = ::ptsname(terminal.fd);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.terminalInput) {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, terminalName.c_str(),
                                         O_RDWR | O_NOCTTY, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    if (options.stdoutPath.empty()) {
        posix_spawn_file_actions_adddup2(&actions, outWrite.fd, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.stdoutPath.c_str(),
                                         O_WRONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, errWrite.fd, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (options.signal != 0) {
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, options.signal);
        posix_spawnattr_setsigmask(&attributes, &blocked);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }

    // A signal due at the start is made pending before the program runs: a
    // shell with the signal blocked sends it to itself and then becomes the
    // program, which finds it pending. Sent from here after the spawn, it
    // could come after a quick command had already ended.
    const bool atStart = options.signal != 0 && options.signalWhen.empty();
    std::vector<std::string> argvStore;
    if (atStart) {
        argvStore = {"/bin/sh", "-c",
                     "kill -" + std::to_string(options.signal) + " $$ && exec \"$0\" \"$@\""};
    }
    argvStore.push_back(program);
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(argvStore.size() + 1);
    for (std::string& a : argvStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    int spawned =
        posix_spawn(&pid, argvStore.front().c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return r;
    r.started = true;
    outWrite.Close();
    errWrite.Close();
    if (!options.stdoutPath.empty())
        outRead.Close();
    if (options.terminalInput && !options.terminalInput->empty()) {
        ssize_t written =
            ::write(terminal.fd, options.terminalInput->data(), options.terminalInput->size());
        (void)written;
    }
    bool signalled = atStart;
    auto signalWhenDue = [&] {
        if (options.signal == 0 || signalled)
            return;
        if (options.signalWhen.empty() || r.err.find(options.signalWhen) != std::string::npos) {
            ::kill(pid, options.signal);
            signalled = true;
        }
    };
    signalWhenDue();

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
                signalWhenDue();
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

#endif

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
