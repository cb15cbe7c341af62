// Reading and writing the program's text files byte by byte.
//
// Files are opened in binary mode and line ends are handled here, the same
// on every platform: a CR LF pair reads as a single LF (as a text-mode read
// would deliver it), a lone CR stays a CR. Writers put CR LF themselves.
//
// Only plain files are read: a FIFO, a device or a folder is refused when it
// is opened, never read (a read from a FIFO would wait for ever). A file is
// written whole or not at all: the text goes to a temporary file beside it,
// which takes the file's place only when everything has been written.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_identity.h"
#include "platform/paths.h"

namespace ostrel {

class TextReader {
  public:
    TextReader() = default;
    explicit TextReader(const std::string& path) { Open(path); }
    ~TextReader() { Close(); }
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // False when the file cannot be opened or is no plain file (errno and
    // why() say why).
    bool Open(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    void Close();
    // Why the last Open failed, in a few words ("it is a folder", "No such
    // file or directory").
    const std::string& why() const { return why_; }
    // The identity of the open file as it is now; no value when none is open.
    std::optional<FileIdentity> Identity() const;

    // The next character (0..255), with CR LF read as one LF; -1 at the end of the file.
    int Get();

  private:
    std::FILE* file_ = nullptr;
    int pending_ = -2;  // a character read ahead after a CR; -2 when none
    std::string why_;
};

class TextWriter {
  public:
    TextWriter() = default;
    // A file not closed (an error or a stop on the way) is dropped: the file
    // it was to replace stays as it was.
    ~TextWriter() { Discard(); }
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    // Starts the file that will replace `path` (or be created there). False
    // when it cannot be: `path` is a folder or no plain file, or the folder
    // takes no new file; why() says why.
    bool Create(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    // Finishes the file: it takes the place of the old one, whole. False when
    // any write, the sync to the disk or the replacement failed (why() says
    // why); the old file then stays as it was.
    bool Close();
    // Drops what has been written; the old file stays as it was.
    void Discard();

    void Write(std::string_view text);
    // A line end: CR LF.
    void NewLine() { Write("\r\n"); }
    bool Failed() const { return failed_; }
    const std::string& why() const { return why_; }

  private:
    void Fail(int error);

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string temp_;
    bool failed_ = false;
    std::string why_;
};

}  // namespace ostrel
