#pragma once

#include <cstdint>
#include <string>

// One queued command. An empty line is the active-mode placeholder, which opens the listener
// instead of sending anything.
struct CFtpMessage {
    std::string line;       // command word, " " and the argument when there is one, CR LF
    std::string localFile;  // of a transfer command; empty when none
    uint8_t id = 0;         // FtpCommandId
};
