// A fixed environment for the port backends' tests, so that no test depends
// on the variables of the machine it runs on.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/port_names.h"

namespace ostrel::testing {

struct FakeEnvironment {
    std::map<std::string, std::string, std::less<>> variables;
    std::vector<std::string> lookedUp;  // names asked for, in order
};

// A lookup that answers from `env` (shared, so the test can change it later).
inline EnvironmentLookup LookupIn(const std::shared_ptr<FakeEnvironment>& env) {
    return [env](std::string_view name) -> std::optional<std::string> {
        env->lookedUp.emplace_back(name);
        auto it = env->variables.find(name);
        if (it == env->variables.end())
            return std::nullopt;
        return it->second;
    };
}

}  // namespace ostrel::testing
