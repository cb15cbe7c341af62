// The few file operations whose form differs between the systems: replacing
// a file whole, asking whether a stream is a terminal, an advisory lock held
// for a whole command, and a temporary name beside a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>

namespace ostrel {

// Puts the finished file `temp` in place of `target` in one step: a reader
// sees the old file or the new one, never a part. `temp` must be in the same
// folder (UniqueTempName). rename(2) on Linux; MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH on Windows, where
// std::rename refuses an existing target. On failure both files are as they
// were and the error says why.
std::error_code ReplaceWhole(const std::string& temp, const std::string& target);

// True when the stream is a terminal (a console window on Windows) rather
// than a file or a pipe.
bool IsTerminal(std::FILE* stream);

// A name in the folder of `target` that no other process of this system
// uses: the target's name with the process id and ".tmp" after it.
std::string UniqueTempName(const std::string& target);

// An advisory lock on a file, held while the object lives (flock on Linux,
// LockFileEx on Windows). Programs that honour it take turns; it does not
// stop anyone else.
class FileLock {
  public:
    // Locks `path` (created when missing) without waiting. Nothing when
    // another process holds it; then `holder` (when given) names that
    // process where the system can tell (its process id, written into the
    // lock file by the holder), else says why the lock could not be had.
    static std::optional<FileLock> TryLock(const std::string& path, std::string* holder);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

  private:
    explicit FileLock(std::intptr_t handle) : handle_(handle) {}
    void Release();

    // The open lock file: a descriptor on Linux, a HANDLE on Windows; -1 when none.
    std::intptr_t handle_ = -1;
};

}  // namespace ostrel
