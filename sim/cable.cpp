#include "sim/cable.h"

#include <cctype>

namespace ostrel::sim {

namespace {

constexpr CableKind kCables[] = {CableKind::Parallel, CableKind::SerialPlain, CableKind::Cablet1,
                                 CableKind::Cablet2};

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

std::string_view CableName(CableKind cable) {
    switch (cable) {
        case CableKind::Parallel:
            return "parallel";
        case CableKind::SerialPlain:
            return "plain";
        case CableKind::Cablet1:
            return "cablet1";
        case CableKind::Cablet2:
            return "cablet2";
    }
    return "?";
}

bool ParseCableKind(std::string_view text, CableKind* cable) {
    for (CableKind kind : kCables) {
        if (SameText(text, CableName(kind))) {
            *cable = kind;
            return true;
        }
    }
    return false;
}

}  // namespace ostrel::sim
