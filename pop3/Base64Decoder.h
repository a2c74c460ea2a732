#pragma once

#include <cstddef>
#include <cstdint>

// Streaming base64 (RFC 2045): digits are shifted into an accumulator and every full byte is
// written out; line breaks, spaces and tabs are skipped; any other byte ends the data.
class CBase64Decoder final {
public:
    // An entry of 64 or more marks a byte that is not a base64 digit.
    static constexpr uint8_t kPad = 254;
    static constexpr uint8_t kStray = 255;
    static const uint8_t* Table();

    void Reset()
    {
        m_bits = 0;
        m_count = 0;
    }

    // Decodes from in until a byte that ends the data (left unconsumed) or the end of the
    // input. out must hold MaxOutput(length) bytes. Returns the bytes consumed; *written is
    // the count of bytes put in out, *stopped whether a stray byte (or the padding) ended it.
    size_t Decode(const char* in, size_t length, char* out, size_t* written, bool* stopped);

    static constexpr size_t MaxOutput(size_t length) { return length / 4 * 3 + 3; }

private:
    uint32_t m_bits = 0;
    int m_count = 0;
};
