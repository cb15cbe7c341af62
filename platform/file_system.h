// What the program needs of the file system beyond the C library's buffered
// files: replacing a file whole, names for temporary files that no other
// process uses, an advisory lock held for a whole command, telling a
// terminal from a file, and refusing what only looks like a file (a FIFO, a
// device, a folder) before anything is opened for a blocking read. Each
// operating system has its own implementation (platform/linux/,
// platform/win32/); nothing here names a system header.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>

#include "core/file_identity.h"

namespace ostrel {

// Puts the complete file `temp` in the place of `target` in one step, so
// that anyone who opens `target` finds the old file or the new one, never a
// part of either. Both must be in the same folder. The data is on the disk
// before the name moves. On failure `temp` is left where it is (the caller
// removes it) and `target` is untouched.
std::error_code ReplaceWhole(const std::string& temp, const std::string& target);

// A name for a temporary file in the folder of `target`, made from its name,
// that no other process will choose and that this process has not handed out
// before ("readback.hex.1234-1.part"). Nothing is created.
std::string UniqueTempName(const std::string& target);

// Forces what has been written to `file` out to the disk. False when the
// system reports that it could not.
bool SyncToDisk(std::FILE* file);

// True when the stream is a terminal (a person may be typing or reading).
bool IsTerminal(std::FILE* stream);

// Why `path` cannot be read or written as a file: "it is a folder", "it is a
// named pipe (FIFO), not a file", "it is a device, not a file". Empty when it
// is a plain file or does not exist.
std::string NotAFile(const std::string& path);

// Opens an existing plain file (mode "rb" or "r+b") without waiting on
// anything: a FIFO, a device or a folder is refused at once, never opened for
// a read that would block. Null on failure, with errno set (EISDIR for a
// folder, ENODEV for a FIFO, a device or a socket) and `why`, when given, in
// a few words as NotAFile gives them or as the system says.
std::FILE* OpenPlainFile(const std::string& path, const char* mode, std::string* why = nullptr);

// The identity of the plain file at `path` (a link is followed); no value
// when there is none, or it is no plain file.
std::optional<FileIdentity> IdentityOf(const std::string& path);
// The identity of the file open in `file`, as it is now.
std::optional<FileIdentity> IdentityOf(std::FILE* file);

// An advisory lock on a file, held by this process until the object goes.
// Others honouring it (another Ostrel) cannot take it meanwhile; nothing
// stops a program that ignores it. The file is created when missing (empty).
class FileLock {
  public:
    // Takes the lock without waiting. No value when another process holds it
    // (then `holder`, when given, names it where the system can tell: "the
    // process 1234 (ostrel-cli)") or when the file cannot be opened (then
    // `holder` says why, beginning with "cannot").
    static std::optional<FileLock> TryLock(const std::string& path, std::string* holder);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // True while the file at `path` is still the file this lock holds (it has
    // not been replaced or removed meanwhile).
    bool Holds(const std::string& path) const;

    // Whether the lock is on the file itself, so that a file replaced by a
    // rename loses it and a save must lock the new file before the old one
    // goes (Linux: flock on the open file). Where a file held open cannot be
    // replaced at all (Windows), the lock is on a sibling that is never
    // replaced, `path` + ".lock", and stays as it is through a save.
    static bool MovesWithFile();

  private:
    explicit FileLock(std::intptr_t handle) : handle_(handle) {}
    void Release();
    std::intptr_t handle_ = -1;  // the system's handle of the open, locked file
};

}  // namespace ostrel
