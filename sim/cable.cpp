#include "sim/cable.h"

#include "platform/text_util.h"

namespace ostrel::sim {

namespace {

constexpr CableKind kCables[] = {CableKind::Parallel, CableKind::SerialPlain, CableKind::Cablet1,
                                 CableKind::Cablet2};

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
        if (EqualsNoCase(text, CableName(kind))) {
            *cable = kind;
            return true;
        }
    }
    return false;
}

}  // namespace ostrel::sim
