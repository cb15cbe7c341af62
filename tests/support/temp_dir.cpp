#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "platform/paths.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace ostrel::testing {

TempDir::TempDir() {
    std::random_device rd;
    std::mt19937_64 gen(rd());
    for (;;) {
        auto candidate = std::filesystem::temp_directory_path() /
                         ("ostrel-test-" + std::to_string(gen() % 1000000000ULL));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(std::string_view name) const {
    return (path_ / FsPath(name)).string();
}

std::string TempDir::Write(std::string_view name, std::string_view content) const {
    std::string file = File(name);
    WriteFileBytes(file, content);
    return file;
}

bool WriteFileBytes(const std::string& path, std::string_view content) {
    std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out.flush());
}

std::string TempDir::Read(std::string_view name) const {
    return ReadFileBytes(File(name));
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in)
        return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FolderPermissionsApply() {
#ifdef _WIN32
    return false;
#else
    return ::geteuid() != 0;
#endif
}

std::string SourcePath(std::string_view relative) {
    return std::string(OSTREL_SOURCE_DIR) + "/" + std::string(relative);
}

}  // namespace ostrel::testing
