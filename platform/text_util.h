// Small text helpers shared by the readers of the program's files and names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// Value of a hexadecimal digit in either case; -1 for any other character.
constexpr int HexDigit(int c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Compares ASCII text without regard to letter case: <0, 0 or >0.
int CompareNoCase(std::string_view a, std::string_view b);

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

// The names of `names` nearest to `wanted`, for a message about a name that
// is not there: those that share the longest beginning with it (letter case
// aside, at least "ATx"), or every name when none shares that much; joined
// with ", ".
// `text` as it is when it has at most `limit` bytes (limit at least 5);
// otherwise its beginning and its end around "...", `limit` bytes in all, so
// that a long path keeps its folder's start and its file name. A UTF-8
// character is never cut in two.
std::string ShortenMiddle(std::string_view text, std::size_t limit);

std::string NearestNames(std::string_view wanted, const std::vector<std::string>& names);

}  // namespace ostrel
