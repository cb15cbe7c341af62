#include "platform/text_file.h"

#include <sys/stat.h>

#include "platform/paths.h"

namespace ostrel {

std::string ResolvePath(std::string_view directory, std::string_view name) {
    return JoinPath(directory, name);
}

bool TextReader::Open(const std::string& path) {
    Close();
    file_ = std::fopen(path.c_str(), "rb");
    pending_ = -2;
    // A folder opens for reading on some systems; it is not a file.
    struct stat info {};
    if (file_ && (fstat(fileno(file_), &info) != 0 || S_ISDIR(info.st_mode)))
        Close();
    return file_ != nullptr;
}

void TextReader::Close() {
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    pending_ = -2;
}

int TextReader::Get() {
    if (!file_)
        return -1;
    int c;
    if (pending_ != -2) {
        c = pending_;
        pending_ = -2;
    } else {
        c = std::fgetc(file_);
    }
    if (c == EOF)
        return -1;
    if (c == '\r') {
        int next = std::fgetc(file_);
        if (next == '\n')
            return '\n';
        pending_ = next == EOF ? -1 : next;
        if (pending_ == -1)
            pending_ = -2;  // nothing after the CR
    }
    return c;
}

bool TextWriter::Create(const std::string& path) {
    Close();
    failed_ = false;
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
}

bool TextWriter::Close() {
    if (!file_)
        return !failed_;
    if (std::fclose(file_) != 0)
        failed_ = true;
    file_ = nullptr;
    return !failed_;
}

void TextWriter::Write(std::string_view text) {
    if (!file_ || text.empty())
        return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size())
        failed_ = true;
}

}  // namespace ostrel
