#pragma once

#include <compare>
#include <cstdint>

// A message target: slot index plus a generation, so a handle outlives its target safely.
struct TargetHandle {
    uint32_t index = 0;
    uint32_t generation = 0;
    bool IsValid() const { return generation != 0; }
    friend bool operator==(const TargetHandle&, const TargetHandle&) = default;
    friend auto operator<=>(const TargetHandle&, const TargetHandle&) = default;
};
