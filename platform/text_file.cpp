#include "platform/text_file.h"

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"

#include "platform/paths.h"

namespace ostrel {

bool TextReader::Open(const std::string& path) {
    Close();
    why_.clear();
    file_ = OpenPlainFile(path, "rb", &why_);
    pending_ = -2;
    return file_ != nullptr;
}

void TextReader::Close() {
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    pending_ = -2;
}

std::optional<FileIdentity> TextReader::Identity() const {
    return file_ ? IdentityOf(file_) : std::nullopt;
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
    Discard();
    failed_ = false;
    why_.clear();
    path_ = path;
    if (std::string kind = NotAFile(path); !kind.empty()) {
        failed_ = true;
        why_ = kind;
        errno = EISDIR;
        return false;
    }
    temp_ = UniqueTempName(path);
    // "x": a file of that name that is not ours is never taken over.
    file_ = std::fopen(temp_.c_str(), "wbx");
    if (!file_) {
        Fail(errno);
        temp_.clear();
        return false;
    }
    return true;
}

void TextWriter::Fail(int error) {
    if (!failed_)
        why_ = std::strerror(error);
    failed_ = true;
}

bool TextWriter::Close() {
    if (!file_)
        return !failed_ && !path_.empty();
    if (!failed_ && !SyncToDisk(file_))
        Fail(errno);
    if (std::fclose(file_) != 0)
        Fail(errno);
    file_ = nullptr;
    if (!failed_) {
        if (std::error_code ec = ReplaceWhole(temp_, path_))
            Fail(ec.value());
    }
    if (failed_)
        std::remove(temp_.c_str());
    temp_.clear();
    return !failed_;
}

void TextWriter::Discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
        std::remove(temp_.c_str());
    }
    temp_.clear();
}

void TextWriter::Write(std::string_view text) {
    if (!file_ || text.empty() || failed_)
        return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size())
        Fail(errno);
}

}  // namespace ostrel
