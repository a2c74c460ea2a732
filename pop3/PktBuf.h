#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

// The engine's receive buffer: replies that span chunks are gathered here until their end
// is seen. It grows as needed up to a limit; past it, or when memory runs out, an append
// reports failure and the data is not kept.
class PktBuf {
public:
    PktBuf() = default;
    PktBuf(const PktBuf&) = delete;
    PktBuf& operator=(const PktBuf&) = delete;

    bool Append(const char* data, size_t length, size_t limit);
    // Frees the memory; nothing is held.
    void ResetBuffer();
    char* Data() { return m_data.get(); }
    size_t Length() const { return m_length; }
    bool Empty() const { return m_length == 0; }

    // The first occurrence of pattern in [from, end), ASCII letters compared without regard to
    // case; a stop character (when not '\0') ends the search. nullptr when not found.
    static const char* Search(const char* from, const char* end, std::string_view pattern, char stop = '\0');

private:
    std::unique_ptr<char[]> m_data;
    size_t m_capacity = 0;
    size_t m_length = 0;
};
