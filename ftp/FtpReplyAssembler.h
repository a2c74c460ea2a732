#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Cuts the control connection's byte stream into replies: a single line ending in CR LF, or
// the lines of a multi-line reply up to the line that starts with the same code and a space.
// A multi-line reply that opens with one code and ends with "226 " (a server that folds its
// 150 into the transfer's end) counts as a 226 reply.
class CFtpReplyAssembler final {
public:
    // A peer that never ends its reply must not take all memory.
    static constexpr size_t kMaxBuffered = 4u << 20;

    enum EResult : uint8_t { kNeedMore, kReply, kBadData };

    // False when the bytes do not fit (kMaxBuffered or no memory); the buffer is then empty.
    bool Append(const char* data, size_t length);
    // kReply: reply holds one whole reply, removed from the buffer. kBadData: the buffered
    // bytes are not a reply (the caller reports them with Buffered() and calls Clear()).
    EResult Next(std::string& reply);

    const std::string& Buffered() const { return m_buffer; }
    void Clear();

private:
    // The reply ends with the line that m_scanFrom is in: hands the reply over once that line
    // is whole.
    EResult TakeLastLine(std::string& reply);

    std::string m_buffer;
    // Nothing that ends the reply at the head starts before this offset.
    size_t m_scanFrom = 0;
    // Start of the line that ends the head's multi-line reply, once found.
    size_t m_lastLine = std::string::npos;
};
