// The file system operations on Windows: MoveFileExW for the whole
// replacement (std::rename refuses an existing target there), LockFileEx for
// the lock, FlushFileBuffers for the sync, and the wide calls throughout, so
// that names with any letters work.
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/file_system.h"
#include "platform/win32/wide.h"

namespace ostrel {

namespace {

std::error_code LastError() {
    return {static_cast<int>(GetLastError()), std::system_category()};
}

// What the attributes of an existing path say it is; empty for a plain file.
std::string KindText(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return "it is a folder";
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return "it is a device, not a file";
    return {};
}

std::optional<FileIdentity> IdentityFrom(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return std::nullopt;
    FileIdentity id;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                        info.nFileSizeLow);
    id.modified = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
        info.ftLastWriteTime.dwLowDateTime);
    return id;
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    // No access asked for: the attributes and the index can be read from a
    // file that others hold open, and opening it starts nothing.
    HANDLE file = CreateFileW(win32::Widen(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::optional<FileIdentity> id = IdentityFrom(file);
    CloseHandle(file);
    return id;
}

std::optional<FileIdentity> IdentityOf(std::FILE* file) {
    if (file == nullptr)
        return std::nullopt;
    return IdentityFrom(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

std::error_code ReplaceWhole(const std::string& temp, const std::string& target) {
    // One step that replaces an existing target, on the disk before it returns.
    if (!MoveFileExW(win32::Widen(temp).c_str(), win32::Widen(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return LastError();
    return {};
}

std::string UniqueTempName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return target + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) +
           ".part";
}

bool SyncToDisk(std::FILE* file) {
    if (file == nullptr || std::fflush(file) != 0)
        return false;
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    // A console or a pipe cannot be flushed to a disk: no failure of the data.
    return FlushFileBuffers(handle) != 0 || GetFileType(handle) != FILE_TYPE_DISK;
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

std::string NotAFile(const std::string& path) {
    DWORD attributes = GetFileAttributesW(win32::Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return {};
    return KindText(attributes);
}

std::FILE* OpenPlainFile(const std::string& path, const char* mode, std::string* why) {
    std::string kind = NotAFile(path);
    if (!kind.empty()) {
        if (why)
            *why = kind;
        errno = kind == "it is a folder" ? EISDIR : ENODEV;
        return nullptr;
    }
    std::FILE* file = _wfopen(win32::Widen(path).c_str(), win32::Widen(mode).c_str());
    if (file == nullptr) {
        int error = errno;
        if (why)
            *why = std::strerror(error);
        errno = error;
    }
    return file;
}

std::optional<FileLock> FileLock::TryLock(const std::string& path, std::string* holder) {
    std::string kind = NotAFile(path);
    if (!kind.empty()) {
        if (holder)
            *holder = "cannot lock " + path + ": " + kind;
        return std::nullopt;
    }
    // The lock is on the first byte of a sibling that is never replaced: a
    // file open in a handle of ours could not be replaced by a save. Others
    // may open it too (sharing everything).
    const std::string lockPath = path + ".lock";
    HANDLE file = CreateFileW(win32::Widen(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (holder)
            *holder = "cannot open " + lockPath + ": " + LastError().message();
        return std::nullopt;
    }
    OVERLAPPED at{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        DWORD error = GetLastError();
        CloseHandle(file);
        if (holder) {
            *holder = error == ERROR_LOCK_VIOLATION
                          ? "another program"
                          : "cannot lock " + path + ": " +
                                std::system_category().message(static_cast<int>(error));
        }
        return std::nullopt;
    }
    return FileLock(reinterpret_cast<std::intptr_t>(file));
}

bool FileLock::MovesWithFile() {
    return false;
}

bool FileLock::Holds(const std::string& path) const {
    if (handle_ == -1)
        return false;
    BY_HANDLE_FILE_INFORMATION mine{};
    if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle_), &mine))
        return false;
    HANDLE named = CreateFileW(win32::Widen(path + ".lock").c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION other{};
    bool same = GetFileInformationByHandle(named, &other) &&
                mine.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
                mine.nFileIndexHigh == other.nFileIndexHigh &&
                mine.nFileIndexLow == other.nFileIndexLow;
    CloseHandle(named);
    return same;
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
