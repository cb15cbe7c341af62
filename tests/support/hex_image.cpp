#include "tests/support/hex_image.h"

#include <cstdio>
#include <sstream>

namespace ostrel::testing {

namespace {
int Hex2(const std::string& s, size_t pos) {
    if (pos + 2 > s.size())
        return -1;
    unsigned v = 0;
    if (std::sscanf(s.substr(pos, 2).c_str(), "%2x", &v) != 1)
        return -1;
    return static_cast<int>(v);
}
}  // namespace

ByteImage ParseHexImage(const std::string& text) {
    ByteImage image;
    std::istringstream in(text);
    std::string line;
    uint32_t base = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() < 11 || line[0] != ':')
            continue;
        int n = Hex2(line, 1);
        int a = (Hex2(line, 3) << 8) | Hex2(line, 5);
        int t = Hex2(line, 7);
        if (t == 1)
            break;
        if (t == 4)
            base = static_cast<uint32_t>((Hex2(line, 9) << 8) | Hex2(line, 11)) << 16;
        if (t == 2)
            base = static_cast<uint32_t>((Hex2(line, 9) << 8) | Hex2(line, 11)) << 4;
        if (t != 0)
            continue;
        for (int i = 0; i < n; ++i)
            image[base + static_cast<uint32_t>(a + i)] =
                static_cast<uint8_t>(Hex2(line, 9 + 2 * static_cast<size_t>(i)));
    }
    return image;
}

std::string HexText(const ByteImage& image) {
    std::string text;
    char cell[32];
    uint32_t upper = 0;
    auto it = image.begin();
    while (it != image.end()) {
        const uint32_t start = it->first;
        if ((start >> 16) != upper) {
            upper = start >> 16;
            std::snprintf(cell, sizeof cell, ":02000004%04X%02X\n", upper,
                          (0x100 - ((6 + (upper >> 8) + (upper & 0xFF)) & 0xFF)) & 0xFF);
            text += cell;
        }
        std::string data;
        int sum = 0;
        uint32_t n = 0;
        // A record stays inside its 64 KB and its run of addresses.
        while (it != image.end() && n < 16 && it->first == start + n &&
               (it->first >> 16) == upper) {
            std::snprintf(cell, sizeof cell, "%02X", it->second);
            data += cell;
            sum += it->second;
            ++n;
            ++it;
        }
        const uint32_t offset = start & 0xFFFF;
        sum += static_cast<int>(n + (offset >> 8) + (offset & 0xFF));
        std::snprintf(cell, sizeof cell, ":%02X%04X00", n, offset);
        text += cell + data;
        std::snprintf(cell, sizeof cell, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += cell;
    }
    return text + ":00000001FF\n";
}

ByteImage SpreadImage(uint32_t flashBytes, uint32_t pageBytes) {
    ByteImage image;
    auto fill = [&image](uint32_t from, uint32_t to) {
        for (uint32_t a = from; a < to; ++a)
            image[a] = static_cast<uint8_t>((a * 7 + (a >> 8) * 13 + 3) & 0xFF);
    };
    const uint32_t middle = flashBytes / 2;
    fill(0, pageBytes);
    fill(middle - pageBytes - 5, middle + pageBytes + 11);
    fill(flashBytes - pageBytes, flashBytes);
    return image;
}

std::string ImageDifferences(const ByteImage& image, const ByteImage& other, int limit) {
    std::string out;
    int shown = 0;
    for (const auto& [address, value] : image) {
        auto it = other.find(address);
        if (it != other.end() && it->second == value)
            continue;
        if (shown++ >= limit)
            break;
        char text[64];
        if (it == other.end()) {
            std::snprintf(text, sizeof text, "0x%04X: %02X missing\n", address, value);
        } else {
            std::snprintf(text, sizeof text, "0x%04X: %02X != %02X\n", address, value, it->second);
        }
        out += text;
    }
    return out;
}

std::string DumpText(uint32_t flashBytes, uint32_t eepromBytes, const ByteImage& image) {
    auto byte = [&image](uint32_t a) {
        auto found = image.find(a);
        return found == image.end() ? 0xFFu : static_cast<unsigned>(found->second);
    };
    std::string text = "FLASH-Memory:\r\n";
    char cell[16];
    for (uint32_t w = 0; w < flashBytes / 2; ++w) {
        if (w % 8 == 0) {
            std::snprintf(cell, sizeof cell, "\r\n%.4X:", w);
            text += cell;
        }
        std::snprintf(cell, sizeof cell, " %.2X%.2X", byte(2 * w + 1), byte(2 * w));
        text += cell;
    }
    text += "\r\n\r\n\r\nEEPROM-Memory:\r\n";
    for (uint32_t a = 0; a < eepromBytes; ++a) {
        if (a % 8 == 0) {
            std::snprintf(cell, sizeof cell, "\r\n%.4X:", a);
            text += cell;
        }
        text += " FF";
    }
    return text;
}

}  // namespace ostrel::testing
