#include "platform/text_util.h"

#include <algorithm>

namespace ostrel {

namespace {
constexpr int Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : static_cast<unsigned char>(c);
}
// Whether byte `i` of `text` continues a UTF-8 character begun before it.
bool Continues(std::string_view text, std::size_t i) {
    return i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
}
}  // namespace

std::string ShortenMiddle(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return std::string(text);
    limit = std::max<std::size_t>(limit, 5);
    const std::size_t keep = limit - 3;
    std::size_t head = keep / 2;
    std::size_t tail = text.size() - (keep - head);
    while (head > 0 && Continues(text, head))
        --head;
    while (Continues(text, tail))
        ++tail;
    return std::string(text.substr(0, head)) + "..." + std::string(text.substr(tail));
}

int CompareNoCase(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        int ca = Lower(a[i]);
        int cb = Lower(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string NearestNames(std::string_view wanted, const std::vector<std::string>& names) {
    auto shared = [wanted](std::string_view name) {
        std::size_t n = 0;
        while (n < wanted.size() && n < name.size() && Lower(wanted[n]) == Lower(name[n]))
            ++n;
        return n;
    };
    std::size_t best = 0;
    for (const std::string& name : names)
        best = std::max(best, shared(name));
    constexpr std::size_t kEnough = 3;  // "ATm", "ATt": the family at least
    std::string list;
    for (const std::string& name : names) {
        if (best >= kEnough && shared(name) < best)
            continue;
        if (!list.empty())
            list += ", ";
        list += name;
    }
    return list;
}

}  // namespace ostrel
