#include "vt/VtNationalSet.h"

#include <array>
#include <string_view>

namespace {

// Pairs of written code and drawn code, per set.
using Pairs = std::string_view;

const std::array<Pairs, CVtNationalSet::kCount> kSets = {
    // 1 United Kingdom
    Pairs("\x23\xA3", 2),
    // 2 Dutch
    Pairs("\x23\xA3\x40\xBE\x5B\xFD\x5C\xBD\x5D\x7C\x7B\x22\x7C\x66\x7D\xBC\x7E\x27", 18),
    // 3 Finnish
    Pairs("\x5B\xC4\x5C\xD6\x5D\xC5\x5E\xDC\x60\xE9\x7B\xE4\x7C\xF6\x7D\xE5\x7E\xFC", 18),
    // 4 French
    Pairs("\x23\xA3\x40\xE0\x5B\xB0\x5C\xE7\x5D\xA7\x7B\xE9\x7C\xF9\x7D\xE8\x7E\x22", 18),
    // 5 French Canadian
    Pairs("\x40\xE0\x5B\xE2\x5C\xE7\x5D\xEA\x5E\xEE\x60\xF4\x7B\xE9\x7C\xF9\x7D\xE8\x7E\xFB", 20),
    // 6 German
    Pairs("\x40\xA7\x5B\xC4\x5C\xD6\x5D\xDC\x7B\xE4\x7C\xF6\x7D\xFC\x7E\xDF", 16),
    // 7 Italian
    Pairs("\x23\xA3\x40\xA7\x5B\xB0\x5C\xE7\x5D\xE9\x60\xF9\x7B\xE0\x7C\xF2\x7D\xE8\x7E\xEC", 20),
    // 8 Norwegian/Danish
    Pairs("\x5B\xC6\x5C\xD8\x5D\xC5\x7B\xE6\x7C\xF8\x7D\xE5", 12),
    // 9 Portuguese
    Pairs("\x5B\xC3\x5C\xC7\x5D\xD5\x7B\xE3\x7C\xE7\x7D\xF5", 12),
    // 10 Spanish
    Pairs("\x23\xA3\x40\xA7\x5B\xA1\x5C\xD1\x5D\xBF\x7B\x60\x7C\xB0\x7D\xF1\x7E\xE7", 18),
    // 11 Swedish
    Pairs("\x40\xC9\x5B\xC4\x5C\xD6\x5D\xC5\x5E\xDC\x60\xE9\x7B\xE4\x7C\xF6\x7D\xE5\x7E\xFC", 20),
    // 12 Swiss
    Pairs("\x23\xF9\x40\xE0\x5B\xE9\x5C\xE7\x5D\xEA\x5E\xEE\x5F\xE8\x60\xF4\x7B\xE4\x7C\xF6"
          "\x7D\xFC\x7E\xFB",
          24),
};

Pairs SetPairs(uint8_t set)
{
    if (set == 0 || set > CVtNationalSet::kCount)
        return {};
    return kSets[set - 1u];
}

}  // namespace

uint8_t CVtNationalSet::Drawn(uint8_t set, uint8_t written)
{
    const Pairs pairs = SetPairs(set);
    for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
        if (static_cast<uint8_t>(pairs[i]) == written)
            return static_cast<uint8_t>(pairs[i + 1]);
    }
    return written;
}

uint8_t CVtNationalSet::Written(uint8_t set, uint8_t typed)
{
    if (typed < 0x80)
        return typed;
    const Pairs pairs = SetPairs(set);
    for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
        if (static_cast<uint8_t>(pairs[i + 1]) == typed)
            return static_cast<uint8_t>(pairs[i]);
    }
    return typed;
}
