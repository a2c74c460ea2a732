#include "pop3/PktBuf.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <new>

bool PktBuf::Append(const char* data, size_t length, size_t limit)
{
    if (length > limit || m_length > limit - length)
        return false;
    // Room for a zero byte after the data, which keeps texts handed on terminated.
    const size_t needed = m_length + length + 1;
    if (needed > m_capacity) {
        const size_t capacity = std::max(needed, std::min(limit + 1, m_capacity * 2));
        std::unique_ptr<char[]> grown(new (std::nothrow) char[capacity]);
        if (!grown)
            return false;
        if (m_length > 0)
            std::memcpy(grown.get(), m_data.get(), m_length);
        m_data = std::move(grown);
        m_capacity = capacity;
    }
    std::memcpy(m_data.get() + m_length, data, length);
    m_length += length;
    m_data[m_length] = '\0';
    return true;
}

void PktBuf::ResetBuffer()
{
    m_data.reset();
    m_capacity = 0;
    m_length = 0;
}

const char* PktBuf::Search(const char* from, const char* end, std::string_view pattern, char stop)
{
    if (pattern.empty())
        return from;
    for (const char* p = from; p < end && end - p >= static_cast<ptrdiff_t>(pattern.size()); ++p) {
        if (stop != '\0' && *p == stop)
            return nullptr;
        if (strncasecmp(p, pattern.data(), pattern.size()) == 0)
            return p;
    }
    return nullptr;
}
