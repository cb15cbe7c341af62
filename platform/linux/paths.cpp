#include <filesystem>
#include <system_error>

#include "platform/paths.h"

namespace ostrel {

PathStyle NativePathStyle() {
    return PathStyle::Posix;
}

std::string OwnProgramPath() {
    std::error_code ec;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : program.string();
}

}  // namespace ostrel
