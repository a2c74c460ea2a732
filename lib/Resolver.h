#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "lib/TargetHandle.h"

// Answer of a host look-up: addresses in network order, first one first.
struct CHostEntry {
    std::vector<uint32_t> addresses;
};

struct ares_channeldata;
struct hostent;

// Asynchronous IPv4 name look-ups through one c-ares channel, set up on first use. The
// channel's sockets are watched by the message loop, which also calls ProcessTimeouts by
// NextDeadline. Each answer leaves through post as a message for its target; the addresses
// reach the caller's entry only at delivery (Complete), so a look-up cancelled before then
// writes nothing.
class CResolver final {
public:
    struct SHooks {
        // Add, change or (neither readable nor writable) remove one of the channel's sockets.
        std::function<void(int fd, bool readable, bool writable)> watch;
        // Queue the answer to request for target; error 0 or a socket error number (11001-11004...).
        std::function<void(TargetHandle target, uint32_t message, uint32_t request, int error)> post;
    };

    explicit CResolver(SHooks hooks);
    ~CResolver();
    CResolver(const CResolver&) = delete;
    CResolver& operator=(const CResolver&) = delete;

    // A non-zero request handle, or 0 with errno set when there is no channel.
    uint32_t Start(TargetHandle target, uint32_t message, const char* name, CHostEntry* entry);
    // False when the request is unknown, answered and delivered, or cancelled already.
    bool Cancel(uint32_t request);
    void CancelAll(TargetHandle target);

    void Process(int fd, bool readable, bool writable);
    void ProcessTimeouts();
    // When ProcessTimeouts is due next; kNever while nothing is asked.
    int64_t NextDeadline(int64_t nowNs) const;
    static constexpr int64_t kNever = INT64_MAX;

    // At delivery of the answer: fills the caller's entry; false when it was cancelled.
    bool Complete(uint32_t request);

private:
    struct SLookup {
        TargetHandle target;
        uint32_t message;
        CHostEntry* entry;
        bool answered = false;
        std::vector<uint32_t> addresses;
    };
    // What c-ares hands back to DoneCb; it outlives a cancelled look-up until c-ares lets go.
    struct SCall {
        CResolver* resolver;
        uint32_t request;
    };

    bool EnsureChannel();
    void Answer(uint32_t request, int status, const hostent* host);
    static void SocketStateCb(void* data, int fd, int readable, int writable);
    static void DoneCb(void* arg, int status, int timeouts, hostent* host);

    SHooks m_hooks;
    ares_channeldata* m_channel = nullptr;
    bool m_failed = false;
    uint32_t m_nextRequest = 1;
    std::map<uint32_t, SLookup> m_lookups;
};
