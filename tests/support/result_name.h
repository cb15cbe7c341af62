// A command's result by name, for the messages of failed expectations.
#pragma once

#include "app/commands.h"

namespace ostrel::testing {

inline const char* ResultName(app::CommandResult r) {
    switch (r) {
        case app::CommandResult::Ok:
            return "Ok";
        case app::CommandResult::Failed:
            return "Failed";
        case app::CommandResult::Cancelled:
            return "Cancelled";
        case app::CommandResult::Ignored:
            return "Ignored";
        case app::CommandResult::Stopped:
            return "Stopped";
    }
    return "?";
}

}  // namespace ostrel::testing
