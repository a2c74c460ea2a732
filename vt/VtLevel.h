#pragma once

#include <cstdint>

// The emulation level, as the terminal and its keyboard both number it.
enum EVtLevel : uint8_t {
    kLevelNone = 0,
    kLevelVt52 = 1,
    kLevelVt100 = 2,
    kLevelVt220 = 4,
    kLevelVt220Bit8 = 8,
    kLevelVt320 = 16,
    kLevelVt320Bit8 = 32,
};
