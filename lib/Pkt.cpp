#include "lib/Pkt.h"

#include <cstring>
#include <new>

uint32_t CPkt::Set(uint32_t length, const char* data, bool outOfBand, uint32_t tag)
{
    m_tag = tag;
    m_outOfBand = outOfBand;
    m_sent = 0;
    m_length = 0;
    if (length <= kInlineSize) {
        m_isInline = true;
        if (length > 0)
            std::memcpy(m_inline, data, length);
        m_length = length;
        return length;
    }
    if (m_capacity < length) {
        m_buffer.reset();
        m_buffer.reset(new (std::nothrow) char[length]);
        m_capacity = m_buffer ? length : 0;
        if (!m_buffer)
            return 0;
    }
    m_isInline = false;
    std::memcpy(m_buffer.get(), data, length);
    m_length = length;
    return length;
}
