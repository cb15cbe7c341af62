// A fresh folder under the system's temporary directory, removed with its
// contents when the object goes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ostrel::testing {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    // Path of a file inside the folder.
    std::string File(std::string_view name) const;
    // Writes a file inside the folder (bytes as given) and returns its path.
    std::string Write(std::string_view name, std::string_view content) const;
    // Reads a file inside the folder; empty when it is missing.
    std::string Read(std::string_view name) const;

  private:
    std::filesystem::path path_;
};

// Reads a whole file; empty when it is missing. Paths are UTF-8, as
// everywhere in the program.
std::string ReadFileBytes(const std::string& path);
// Writes a whole file (bytes as given); false when that failed.
bool WriteFileBytes(const std::string& path, std::string_view content);
// True when taking the write permission from a folder stops this process
// from creating files in it: not for root on Linux, and never on Windows,
// whose read-only attribute on a folder does not refuse new files.
bool FolderPermissionsApply();
// The project's source folder (for examples/, resources/ and tests/data/).
std::string SourcePath(std::string_view relative);

}  // namespace ostrel::testing
