#pragma once

#include <cstdint>
#include <functional>
#include <string>

// A load generator for echo servers on 127.0.0.1: many non-blocking connections on one
// epoll set, each sending a pseudo-random byte stream and reading it back.
class CEchoLoad final {
public:
    struct COptions {
        uint16_t port = 0;
        uint32_t connections = 1;
        // Bytes each connection sends and expects back; 0 sends until the duration ends.
        uint64_t bytesPerConnection = 0;
        double durationSeconds = 0;    // measuring time when bytesPerConnection is 0
        double timeoutSeconds = 120;   // the whole run, connecting included
        bool verify = true;            // compare every echoed byte with what was sent
        uint32_t chunk = 65536;        // bytes per send call
        uint32_t window = 256 * 1024;  // bytes a connection may have in flight
        uint64_t seed = 1;
        // Runs once every connection is up, before any byte is sent.
        std::function<void()> onAllConnected;
    };

    struct CResult {
        uint32_t connected = 0;
        uint32_t completed = 0;    // connections that got every byte back
        uint64_t bytesEchoed = 0;  // in the measured interval
        double seconds = 0;        // length of the measured interval
        std::string error;         // first failure; empty when none
        double MegabytesPerSecond() const
        {
            return seconds > 0 ? static_cast<double>(bytesEchoed) / 1e6 / seconds : 0;
        }
    };

    static CResult Run(const COptions& options);

    // Byte `offset` of connection `connection`'s stream.
    static uint8_t StreamByte(uint64_t seed, uint32_t connection, uint64_t offset);

    // Raises this process's descriptor limit to at least `needed` when the hard limit allows.
    static bool RaiseDescriptorLimit(uint64_t needed);
};
