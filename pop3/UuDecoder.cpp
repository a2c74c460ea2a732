#include "pop3/UuDecoder.h"

#include <strings.h>

namespace {

unsigned Value(const char* line, size_t length, size_t i)
{
    return i < length ? (static_cast<unsigned char>(line[i]) - 32u) & 63u : 0u;
}

}  // namespace

bool CUuDecoder::EndsData(const char* line, size_t length)
{
    if (length >= 3 && strncasecmp(line, "end", 3) == 0)
        return true;
    return length > 0 && Value(line, length, 0) == 0;
}

size_t CUuDecoder::DecodeLine(const char* line, size_t length, char* out)
{
    const size_t count = Value(line, length, 0);
    size_t written = 0;
    for (size_t i = 1; written < count; i += 4) {
        const unsigned a = Value(line, length, i), b = Value(line, length, i + 1),
                       c = Value(line, length, i + 2), d = Value(line, length, i + 3);
        const unsigned char bytes[3] = {static_cast<unsigned char>(a << 2 | b >> 4),
                                        static_cast<unsigned char>(b << 4 | c >> 2),
                                        static_cast<unsigned char>(c << 6 | d)};
        for (int k = 0; k < 3 && written < count; ++k)
            out[written++] = static_cast<char>(bytes[k]);
    }
    return written;
}
