// Reading and writing the program's text files byte by byte.
//
// Files are opened in binary mode and line ends are handled here, the same
// on every platform: a CR LF pair reads as a single LF (as a text-mode read
// would deliver it), a lone CR stays a CR. Writers put CR LF themselves.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace ostrel {

// Joins a relative name to a directory; an absolute name stays as it is.
std::string ResolvePath(std::string_view directory, std::string_view name);

class TextReader {
  public:
    TextReader() = default;
    explicit TextReader(const std::string& path) { Open(path); }
    ~TextReader() { Close(); }
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    bool Open(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    void Close();

    // The next character (0..255), with CR LF read as one LF; -1 at the end of the file.
    int Get();

  private:
    std::FILE* file_ = nullptr;
    int pending_ = -2;  // a character read ahead after a CR; -2 when none
};

class TextWriter {
  public:
    TextWriter() = default;
    ~TextWriter() { Close(); }
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    // Creates the file, replacing an earlier one.
    bool Create(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    // Closes the file; false when any write or the close failed.
    bool Close();

    void Write(std::string_view text);
    // A line end: CR LF.
    void NewLine() { Write("\r\n"); }
    bool Failed() const { return failed_; }

  private:
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

}  // namespace ostrel
