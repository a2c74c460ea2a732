#pragma once

#include <array>
#include <cstdint>
#include <string>

// Each option's state on both sides of the connection (the Q method of RFC 1143, for a side
// that only answers). A request for a state already in force is not answered again: two
// peers that acknowledge every answer would otherwise keep each other busy for ever. The
// first request for an option, and every request that would change its state, get the
// policy's answer unchanged.
class CTelnetOptions final {
public:
    // A stateless policy: the bytes to answer one received command with ("" for none).
    using Policy = std::string (*)(uint8_t command, uint8_t option);

    // The answer to one received command: the policy's, or "" when the command asks for
    // what is already agreed. Records what the answer agrees to.
    std::string Answer(Policy policy, uint8_t command, uint8_t option);

    // We perform the option (the host asked DO and we answered WILL).
    bool LocalEnabled(uint8_t option) const { return m_local[option] == kYes; }
    // The host performs the option (it offered WILL and we answered DO).
    bool RemoteEnabled(uint8_t option) const { return m_remote[option] == kYes; }

    // A new connection starts with nothing negotiated.
    void Reset();

private:
    enum EState : uint8_t { kUnknown, kNo, kYes };

    std::array<EState, 256> m_local{};
    std::array<EState, 256> m_remote{};
};
