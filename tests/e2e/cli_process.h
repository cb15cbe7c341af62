// Runs a program as a child process, without a shell: standard input reads
// /dev/null, standard output and standard error are captured, and the way it
// ended is reported (exit status, or the signal that stopped it).
#pragma once

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

// Starts `program` with `args` (argv[1] on), waits for it to end and collects
// its output. A child still running after `timeoutMs` is killed and reported
// as timed out.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         int timeoutMs = 20000);

// Success when the process ran and exited with `status`; the failure message
// shows the command line and what it printed.
::testing::AssertionResult ExitedWith(const ProcessResult& r, int status);

// The lines of a text, without their line ends; no empty last line.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace ostrel::testing
