#pragma once

#include <cstddef>

// Uudecoding, one line at a time.
class CUuDecoder final {
public:
    // The byte count a line announces: (first character - 32) AND 63; 0 ends the data, as
    // does a line beginning with "end".
    static bool EndsData(const char* line, size_t length);
    // Decodes a data line (not empty, not ending the data) into out, which must hold 64
    // bytes; characters missing from a short line count as zero. Returns the bytes written.
    static size_t DecodeLine(const char* line, size_t length, char* out);
};
