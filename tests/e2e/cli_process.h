// Runs a program as a child process, without a shell: standard input reads
// /dev/null, standard output and standard error are captured, and the way it
// ended is reported (exit status, or the signal that stopped it).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ostrel::testing {

struct ProcessResult {
    std::string command;  // the command line, for failure messages
    bool started = false;
    bool exited = false;  // ended through exit(); `status` is valid
    int status = -1;
    int signal = 0;  // the signal that ended it, when it did not exit
    bool timedOut = false;
    std::string out;
    std::string err;

    // Everything about the run on a few lines, for failure messages.
    std::string Describe() const;
};

// How a child is run, beyond its arguments.
struct ProcessOptions {
    // A child still running after this is killed and reported as timed out.
    int timeoutMs = 20000;
    // Standard input is a terminal (a pseudo-terminal the test holds) with
    // this typed into it, instead of /dev/null.
    std::optional<std::string> terminalInput;
    // A signal sent to the child: at once when `signalWhen` is empty, else
    // as soon as its standard error holds that text. The child starts with
    // the signal blocked, so that it is never lost nor fatal before the
    // child watches for it (the child's own watch unblocks nothing).
    int signal = 0;
    std::string signalWhen;
    // Standard output goes to this file (/dev/full: every write fails).
    std::string stdoutPath;
};

// Starts `program` with `args` (argv[1] on), waits for it to end and collects
// its output.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options = {});

// Success when the process ran and exited with `status`; the failure message
// shows the command line and what it printed.
::testing::AssertionResult ExitedWith(const ProcessResult& r, int status);

// The lines of a text, without their line ends; no empty last line.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace ostrel::testing
