#pragma once

#include <cstdint>

// The national replacement sets: which code in the data stands for which drawn character.
class CVtNationalSet final {
public:
    static constexpr uint8_t kCount = 12;  // sets 1-12; 0 is none

    // The character drawn for a code received while the set is active.
    static uint8_t Drawn(uint8_t set, uint8_t written);
    // The code to send for a character typed while the set is active. Only characters
    // outside ASCII are replaced: where a set draws a plain letter or sign as a stand-in
    // (the Dutch florin as "f"), typing that letter must still send the letter.
    static uint8_t Written(uint8_t set, uint8_t typed);
};
