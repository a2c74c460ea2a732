#pragma once

#include <cstdint>
#include <string>

// Unicode helpers of the terminal: UTF-8 in both directions and the width of a character.

constexpr uint32_t kReplacementCharacter = 0xFFFD;

// Decodes UTF-8 one byte at a time, across as many calls as the bytes arrive in. Malformed
// input (stray continuation bytes, overlong forms, surrogates, values above U+10FFFF, a
// sequence cut short) becomes U+FFFD, one for each maximal invalid part as the Unicode
// standard recommends; a byte that cannot continue a sequence is not lost but read again.
class CUtf8Decoder final {
public:
    static constexpr uint32_t kIncomplete = 0xFFFFFFFF;

    // The code point that `byte` completes, kIncomplete while a sequence needs more bytes, or
    // U+FFFD. With `again` set the byte did not belong to the sequence before it: feed it again.
    uint32_t Feed(uint8_t byte, bool& again)
    {
        again = false;
        if (m_need == 0)
            return Start(byte);
        if (byte < m_lower || byte > m_upper) {
            m_need = 0;
            again = true;
            return kReplacementCharacter;
        }
        m_lower = 0x80;
        m_upper = 0xBF;
        m_code = (m_code << 6) | (byte & 0x3Fu);
        return --m_need == 0 ? m_code : kIncomplete;
    }

    // A sequence has started and waits for its continuation bytes.
    bool Pending() const { return m_need != 0; }
    void Reset() { m_need = 0; }

private:
    uint32_t Start(uint8_t byte);

    uint32_t m_code = 0;
    int m_need = 0;
    uint8_t m_lower = 0x80;
    uint8_t m_upper = 0xBF;
};

// Cells a character takes: 0 for combining marks and other zero-width characters, 2 for wide
// (East Asian) characters, 1 for everything else, unassigned code points included. The same
// widths as the C library's wcwidth() in the C.UTF-8 locale, whatever the process's locale.
int VtCharWidth(uint32_t code);

void AppendUtf8(std::string& out, uint32_t code);
// Latin-1 text as UTF-8.
std::string Latin1ToUtf8(const std::string& text);

// The Unicode character a DEC special graphics code (0x5F-0x7E) stands for; other codes stay.
uint32_t DecGraphicsToUnicode(uint32_t code);
