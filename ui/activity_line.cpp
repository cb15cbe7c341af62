#include "ui/activity_line.h"

#include <cstddef>

namespace ostrel::ui {

namespace {

// Where each UTF-8 character of `text` starts, and its end last. A byte that
// cannot start a character is taken with the one before it.
std::vector<std::size_t> CharacterStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80 || starts.empty())
            starts.push_back(i);
    }
    starts.push_back(text.size());
    return starts;
}

}  // namespace

std::string FitActivityLine(const std::vector<std::string>& lines, const FitsField& fits) {
    if (lines.empty())
        return {};
    for (const std::string& line : lines) {
        if (fits(line))
            return line;
    }
    const std::string_view whole = lines.back();
    const std::vector<std::size_t> starts = CharacterStarts(whole);
    const std::size_t characters = starts.size() - 1;
    for (std::size_t keep = characters; keep > 0; --keep) {
        const std::size_t head = (keep + 1) / 2;
        const std::size_t tail = keep - head;
        std::string candidate(whole.substr(0, starts[head]));
        candidate += kEllipsis;
        candidate += whole.substr(starts[characters - tail]);
        if (fits(candidate))
            return candidate;
    }
    return std::string(kEllipsis);
}

}  // namespace ostrel::ui
