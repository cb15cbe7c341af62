// ostrel-cli run as a user runs it, against the simulated target: a fresh
// start directory holding the shipped ostrel.ini, the simulated chip's state
// file in it, and every run with --port SIM --virtual-clock --no-pause, so a
// whole command takes milliseconds. Readback files are parsed here, by the
// tests' own readers, to compare memories byte by byte.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/cli_process.h"
#include "tests/support/hex_image.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {

// The console program under test; empty when the build did not provide it.
std::string CliProgram();

// Skips the test, with the reason shown, when there is no console program.
#define REQUIRE_CLI()                                                          \
    do {                                                                       \
        if (::ostrel::testing::CliProgram().empty())                           \
            GTEST_SKIP() << "ostrel-cli was not built (OSTREL_CLI undefined)"; \
    } while (0)

class CliRig {
  public:
    // A start directory with the shipped ostrel.ini; the simulated chip is `simChip`.
    explicit CliRig(std::string simChip = "ATmega8");

    // ostrel-cli --port SIM --virtual-clock --no-pause --dir <dir> --sim-chip <chip> args...
    // A run that crashes, hangs or ends with a status above 2 is a test failure.
    ProcessResult Run(const std::vector<std::string>& args,
                      const ProcessOptions& options = {}) const;
    // ostrel-cli with exactly these arguments (same crash check).
    ProcessResult RunBare(const std::vector<std::string>& args,
                          const ProcessOptions& options = {}) const;
    // Run, as a user that root's powers do not help (the tests run as root
    // in CI): the start directory is handed to that user first.
    ProcessResult RunUnprivileged(const std::vector<std::string>& args,
                                  const ProcessOptions& options = {}) const;

    // Copies a file of the source tree (relative to it) into the start
    // directory, keeping its name; returns the copy's path.
    std::string CopyIn(std::string_view sourceRelative) const;

    // `readhex` then readback.hex parsed; a failed run gives an empty image.
    ByteImage ReadHex() const;

    const std::string& chip() const { return chip_; }

    TempDir dir;

  private:
    std::string chip_;
};

// Checks the way a console run ended: never by a signal, never hanging,
// never with a status other than 0, 1 or 2.
void ExpectNoCrash(const ProcessResult& r);

// The two memories of a readback.txt, by byte address. `valid` is false when
// the text does not have the layout the Read command writes (both headings,
// address-led data lines, consecutive addresses).
struct DumpImage {
    ByteImage flash;
    ByteImage eeprom;
    bool valid = false;
    std::string problem;  // why it is not valid
};
DumpImage ParseDump(const std::string& text);

// What a memory of `size` bytes reads after `image` was written into an
// erased one: the image's bytes, FF everywhere else.
ByteImage ErasedWith(uint32_t size, const ByteImage& image);

// Empty when the two images hold the same addresses and values; otherwise
// up to ten differences and the sizes, for a failure message.
std::string CompareImages(const ByteImage& expected, const ByteImage& actual);

}  // namespace ostrel::testing
