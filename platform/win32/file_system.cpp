#include <io.h>
#include <windows.h>

#include <string>

#include "platform/file_system.h"
#include "platform/win32/wide.h"

namespace ostrel {

namespace {

std::error_code LastError() {
    return {static_cast<int>(GetLastError()), std::system_category()};
}

}  // namespace

std::error_code ReplaceWhole(const std::string& temp, const std::string& target) {
    // One step that replaces an existing target, written through to the disk
    // before the call returns.
    if (!MoveFileExW(win32::Widen(temp).c_str(), win32::Widen(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return LastError();
    return {};
}

bool IsTerminal(std::FILE* stream) {
    if (stream == nullptr)
        return false;
    // _isatty says yes for every character device (NUL too); a console
    // answers GetConsoleMode.
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

std::string UniqueTempName(const std::string& target) {
    return target + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
}

std::optional<FileLock> FileLock::TryLock(const std::string& path, std::string* holder) {
    // Others may open the file too (to read who holds it); the lock is on its
    // first byte.
    HANDLE file = CreateFileW(win32::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (holder)
            *holder = "cannot open " + path + ": " + LastError().message();
        return std::nullopt;
    }
    OVERLAPPED at{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        if (holder) {
            // The holder's note lies past the locked byte, so it can be read.
            char text[32] = {};
            DWORD got = 0;
            OVERLAPPED from{};
            from.Offset = 1;
            std::string pid;
            if (ReadFile(file, text, sizeof text - 1, &got, &from))
                pid.assign(text, got);
            while (!pid.empty() && (pid.back() == '\n' || pid.back() == '\r'))
                pid.pop_back();
            *holder = pid.empty() ? "another process" : "process " + pid;
        }
        CloseHandle(file);
        return std::nullopt;
    }
    std::string note = " " + std::to_string(GetCurrentProcessId()) + "\n";
    DWORD written = 0;
    OVERLAPPED to{};
    if (WriteFile(file, note.data(), static_cast<DWORD>(note.size()), &written, &to))
        SetEndOfFile(file);
    return FileLock(reinterpret_cast<std::intptr_t>(file));
}

void FileLock::Release() {
    if (handle_ == -1)
        return;
    auto file = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED at{};
    UnlockFileEx(file, 0, 1, 0, &at);
    CloseHandle(file);
    handle_ = -1;
}

}  // namespace ostrel
