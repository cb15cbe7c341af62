#include <windows.h>

#include <vector>

#include "platform/paths.h"
#include "platform/win32/wide.h"

namespace ostrel {

PathStyle NativePathStyle() {
    return PathStyle::Windows;
}

std::string OwnProgramPath() {
    // The buffer grows until the whole path fits: GetModuleFileNameW cuts a
    // longer one and says so only by filling the buffer.
    std::vector<wchar_t> buffer(MAX_PATH);
    while (buffer.size() <= 32768) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return win32::Narrow(std::wstring_view(buffer.data(), n));
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

}  // namespace ostrel
