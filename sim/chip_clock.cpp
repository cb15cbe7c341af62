#include "sim/chip_clock.h"
#include "platform/paths.h"

#include "platform/file_system.h"
#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace ostrel::sim {

namespace {

// The text as it may be shown in one line: at most 40 characters, anything
// that is not printable ASCII as '?'.
std::string Quoted(std::string_view text) {
    std::string shown = "'";
    for (char c : text.substr(0, 40))
        shown.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    if (text.size() > 40)
        shown += "...";
    return shown + "'";
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string ReadChipClock(std::string_view text, uint32_t* hz) {
    auto notAClock = [text] {
        return Quoted(text) + " is not a clock in Hz (such as 32768, 128k or 3.6864M)";
    };
    std::size_t i = 0;
    // Whole part, saturated far above the highest clock so that a long
    // number is "outside" rather than wrapped round.
    constexpr uint64_t kSaturated = 1'000'000'000'000ull;
    uint64_t whole = 0;
    const std::size_t wholeStart = i;
    while (i < text.size() && IsDigit(text[i])) {
        whole = std::min(kSaturated, whole * 10 + static_cast<uint64_t>(text[i] - '0'));
        ++i;
    }
    if (i == wholeStart)
        return notAClock();
    std::string_view fraction;
    if (i < text.size() && text[i] == '.') {
        const std::size_t start = ++i;
        while (i < text.size() && IsDigit(text[i]))
            ++i;
        fraction = text.substr(start, i - start);
        if (fraction.empty())
            return notAClock();
    }
    uint64_t unit = 1;
    if (i < text.size() && (text[i] == 'k' || text[i] == 'K')) {
        unit = 1000;
        ++i;
    } else if (i < text.size() && text[i] == 'M') {
        unit = 1000000;
        ++i;
    }
    if (i != text.size())
        return notAClock();

    // The fraction in units of 10^-6 of the unit; digits beyond the sixth
    // must be zeros (no unit is larger than 10^6 Hz).
    while (!fraction.empty() && fraction.back() == '0')
        fraction.remove_suffix(1);
    if (fraction.size() > 6)
        return Quoted(text) + " is not a whole number of Hz";
    uint64_t millionths = 0;
    for (std::size_t d = 0; d < 6; ++d)
        millionths =
            millionths * 10 + static_cast<uint64_t>(d < fraction.size() ? fraction[d] - '0' : 0);
    const uint64_t part = millionths * unit;
    if (part % 1000000 != 0)
        return Quoted(text) + " is not a whole number of Hz";
    const uint64_t value = whole * unit + part / 1000000;
    if (value < kMinChipClockHz || value > kMaxChipClockHz)
        return Quoted(text) + " is outside " + ClockText(kMinChipClockHz) + " to " +
               ClockText(kMaxChipClockHz);
    *hz = static_cast<uint32_t>(value);
    return {};
}

std::string ClockText(uint32_t hz) {
    uint32_t unit = 1;
    const char* name = " Hz";
    if (hz >= 1000000) {
        unit = 1000000;
        name = " MHz";
    } else if (hz >= 1000) {
        unit = 1000;
        name = " kHz";
    }
    std::string text = std::to_string(hz / unit);
    if (uint32_t rest = hz % unit; rest != 0) {
        std::string digits = std::to_string(rest + unit).substr(1);  // leading zeros kept
        while (digits.back() == '0')
            digits.pop_back();
        text += "." + digits;
    }
    return text + name;
}

std::string ClockPathBeside(const std::string& statePath) {
    if (statePath.empty())
        return {};
    return (FsPath(statePath).parent_path() / kClockFileName).string();
}

ClockLoad LoadChipClock(const std::string& path) {
    ClockLoad load;
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(FsPath(path), ec))
        return load;
    const std::string problem = "The simulated chip clock file '" + path + "' ";
    const std::string fallback = "; the chip runs on its factory clock.";
    std::string why;
    std::FILE* file = OpenPlainFile(path, "rb", &why);
    if (file == nullptr) {
        load.warning = problem + "cannot be read (" + why + ")" + fallback;
        return load;
    }
    // One short line; anything longer is not a file this program wrote.
    char bytes[65];
    const std::size_t n = std::fread(bytes, 1, sizeof bytes, file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        load.warning = problem + "cannot be read" + fallback;
        return load;
    }
    if (n == sizeof bytes) {
        load.warning = problem + "is too long for a clock" + fallback;
        return load;
    }
    std::string_view text(bytes, n);
    if (text.ends_with('\n'))
        text.remove_suffix(1);
    if (text.ends_with('\r'))
        text.remove_suffix(1);
    uint32_t hz = 0;
    if (std::string wrong = ReadChipClock(text, &hz); !wrong.empty()) {
        load.warning = problem + "holds no clock: " + wrong + fallback;
        return load;
    }
    load.hz = hz;
    return load;
}

bool SaveChipClock(const std::string& path, uint32_t hz, std::string* error) {
    if (path.empty())
        return true;
    const std::string problem = "Cannot keep the simulated chip clock in '" + path + "' (";
    if (hz == 0) {
        // Only a file of ours is removed; a folder or a pipe of that name stays.
        if (std::string kind = NotAFile(path); !kind.empty()) {
            if (error != nullptr)
                *error = problem + kind + ").";
            return false;
        }
        std::error_code ec;
        std::filesystem::remove(FsPath(path), ec);
        if (ec && error != nullptr)
            *error = problem + ec.message() + ").";
        return !ec;
    }
    // Written whole or not at all.
    TextWriter out;
    if (out.Create(path)) {
        out.Write(std::to_string(hz) + "\n");
        out.Close();
    }
    if (out.Failed() && error != nullptr)
        *error = problem + out.why() + ").";
    return !out.Failed();
}

}  // namespace ostrel::sim
