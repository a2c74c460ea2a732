#pragma once

#include <cstdint>
#include <memory>

// One queued stretch of outgoing bytes. Small packets keep their bytes inline; larger ones
// own one buffer that is reused when the packet is set again.
class CPkt {
public:
    static constexpr uint32_t kInlineSize = 516;

    CPkt() = default;
    virtual ~CPkt() = default;
    CPkt(const CPkt&) = delete;
    CPkt& operator=(const CPkt&) = delete;

    // Returns the length stored; 0 for a non-empty set means no memory for the bytes.
    uint32_t Set(uint32_t length, const char* data, bool outOfBand, uint32_t tag);
    uint32_t Remaining() const { return m_length - m_sent; }
    const char* Current() const { return (m_isInline ? m_inline : m_buffer.get()) + m_sent; }
    void Advance(uint32_t count) { m_sent += count; }
    uint32_t Length() const { return m_length; }
    uint32_t Tag() const { return m_tag; }
    bool IsOutOfBand() const { return m_outOfBand; }
    uint32_t Capacity() const { return m_capacity; }

    // Destination of a datagram.
    char m_destHost[64] = {};
    uint16_t m_destPort = 0;
    uint32_t m_destAddress = 0;

private:
    uint32_t m_sent = 0;
    uint32_t m_length = 0;
    std::unique_ptr<char[]> m_buffer;
    uint32_t m_capacity = 0;
    char m_inline[kInlineSize] = {};
    bool m_isInline = true;
    uint32_t m_tag = 0;
    bool m_outOfBand = false;
};
