#pragma once

#include <cstdint>

// What every session and facade shares: the SessionFlags given to Connect, Listen, Accept and
// Open, and the state GetState reports.

// SessionFlags bits; components may use the higher bits of the byte for their own options.
constexpr uint8_t kFlagTrace = 1;  // trace file and trace lines; the view outlives the connection
constexpr uint8_t kFlagReuseAddr = 2;
constexpr uint8_t kFlagKeepAlive = 4;
constexpr uint8_t kFlagTraceLines = 8;  // trace lines only
constexpr uint8_t kFlagSocketDebug = 16;

// The names live in a scope of their own: CWinsock, CVoltTcp and CVoltUdp bring them into
// theirs, so callers write CVoltTcp::Connected.
namespace session {
enum EState : uint8_t { Closed = 1, Connecting = 2, Connected = 4, Listening = 8, Closing = 16 };
}
