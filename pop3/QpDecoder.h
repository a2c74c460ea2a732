#pragma once

#include <cstddef>

// Quoted-printable (RFC 2045), one line at a time.
class CQpDecoder final {
public:
    // Decodes one line given without its terminator: trailing spaces and tabs are dropped, "="
    // and two hexadecimal digits give one byte, any other "=" stays as it is, and a LF is kept
    // only after a CR. out must hold length bytes. Returns the bytes written; *hardBreak is
    // false when the line ends in "=" (a soft break: the next line joins it).
    static size_t DecodeLine(const char* line, size_t length, char* out, bool* hardBreak);
};
