// ostrel-cli cable-test: the cable test with its readings printed. Each state's
// final reading and the cable the loop-backs indicate go to standard output;
// on a terminal the reading of the state being held updates live on standard
// error.
#pragma once

#include <cstdio>

#include "app/commands.h"
#include "core/programmer.h"

namespace ostrel::cli {

struct CableTestOutput {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool live = false;   // standard error is a terminal: show the held state live
    bool quiet = false;  // no progress on standard error
};

app::CommandResult RunCableTestCommand(Programmer& p, const CableTestOutput& output);

}  // namespace ostrel::cli
