// A text buffer of fixed capacity that can never be written past its end.
//
// The programmer's shared text buffers (activity text, failure text, paths,
// the line buffer) have fixed sizes. Every write goes through this type: a
// text that does not fit is cut at the capacity and the buffer remembers that
// it was cut, so callers that care can refuse the input instead of using a
// silently shortened value.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace ostrel {

template <std::size_t N>
class FixedString {
    static_assert(N >= 1, "room for the terminator is needed");

  public:
    // Characters it can hold, not counting the terminator.
    static constexpr std::size_t kCapacity = N - 1;

    FixedString() { data_[0] = '\0'; }
    FixedString(std::string_view text) { Assign(text); }  // NOLINT(google-explicit-constructor)

    // Replaces the content. Returns false when the text had to be cut.
    bool Assign(std::string_view text) {
        size_ = 0;
        data_[0] = '\0';
        truncated_ = false;
        return Append(text);
    }

    // Appends text. Returns false when it had to be cut.
    bool Append(std::string_view text) {
        std::size_t room = kCapacity - size_;
        std::size_t n = text.size() < room ? text.size() : room;
        // A character loop rather than memcpy: GCC 12 for mingw mistakes a
        // temporary std::string's own small buffer for the source's bounds
        // after inlining and warns of an overrun that cannot happen.
        for (std::size_t i = 0; i < n; ++i)
            data_[size_ + i] = text[i];
        size_ += n;
        data_[size_] = '\0';
        if (n < text.size())
            truncated_ = true;
        return n == text.size();
    }

    bool Append(char c) { return Append(std::string_view(&c, 1)); }

    // printf-style formatting into the buffer, cut at the capacity.
    bool Format(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, fmt);
        int n = std::vsnprintf(data_, N, fmt, args);
        va_end(args);
        if (n < 0) {
            data_[0] = '\0';
            size_ = 0;
            truncated_ = true;
            return false;
        }
        truncated_ = static_cast<std::size_t>(n) > kCapacity;
        size_ = truncated_ ? kCapacity : static_cast<std::size_t>(n);
        return !truncated_;
    }

    // Cuts the text to at most `length` characters.
    void Truncate(std::size_t length) {
        if (length < size_) {
            size_ = length;
            data_[size_] = '\0';
        }
    }

    void Clear() { Assign({}); }

    const char* c_str() const { return data_; }
    std::string_view view() const { return {data_, size_}; }
    std::string str() const { return std::string(data_, size_); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    bool truncated() const { return truncated_; }

    // Character at i, or '\0' past the end: reading beyond the text is harmless.
    char at(std::size_t i) const { return i < size_ ? data_[i] : '\0'; }

    bool operator==(std::string_view other) const { return view() == other; }

  private:
    char data_[N];
    std::size_t size_ = 0;
    bool truncated_ = false;
};

}  // namespace ostrel
