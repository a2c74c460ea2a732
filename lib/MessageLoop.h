#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "lib/Resolver.h"
#include "lib/TargetHandle.h"
#include "lib/TimerQueue.h"

// Message numbers of the library's own notifications, the system's values.
constexpr uint32_t kMsgClose = 16;         // close request (the user closed the trace view)
constexpr uint32_t kMsgTimer = 275;        // wParam: timer id
constexpr uint32_t kMsgRemoteHost = 2025;  // wParam: request, lParam high 16 bits: error
constexpr uint32_t kMsgSocket = 2026;      // wParam: socket, lParam: event | error << 16
constexpr uint32_t kMsgLocalHost = 2028;   // wParam: request, lParam high 16 bits: error
constexpr uintptr_t kListenTimerId = 10;
constexpr uintptr_t kAcceptRetryTimerId = 11;  // a listening session resting after a descriptor shortage

// Socket event bits.
constexpr uint32_t kFdRead = 1;
constexpr uint32_t kFdWrite = 2;
constexpr uint32_t kFdOob = 4;
constexpr uint32_t kFdAccept = 8;
constexpr uint32_t kFdConnect = 16;
constexpr uint32_t kFdClose = 32;

constexpr intptr_t MakeSelectLParam(uint32_t event, int error)
{
    return static_cast<intptr_t>((static_cast<uint32_t>(error) << 16) | (event & 0xFFFF));
}
constexpr uint32_t SelectEvent(intptr_t lParam)
{
    return static_cast<uint32_t>(lParam) & 0xFFFF;
}
constexpr int SelectError(intptr_t lParam)
{
    return static_cast<int>((static_cast<uint32_t>(lParam) >> 16) & 0xFFFF);
}

using MessageHandler = std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

// The one event loop of the process. It keeps the epoll set, the queue of posted messages,
// the wake-up and the dispatch; socket readiness (with re-enabling semantics), the timers of
// its CTimerQueue and the answers of its CResolver all reach their targets as messages.
class CMessageLoop final {
public:
    static CMessageLoop& Instance();

    CMessageLoop(const CMessageLoop&) = delete;
    CMessageLoop& operator=(const CMessageLoop&) = delete;

    int Fd() const { return m_epoll; }
    void Run();
    void Quit();
    void RunOnce(int timeoutMs);
    void SetPumpHook(std::function<void()> hook);
    void Pump();

    TargetHandle Register(MessageHandler handler);
    void Unregister(TargetHandle target);  // its queued messages, timers and look-ups are dropped
    bool IsAlive(TargetHandle target) const;

    void Post(TargetHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam);
    size_t PendingMessages() const { return m_queue.size(); }

    // Repeating timer, posted as kMsgTimer with the id; setting it again restarts it. A
    // message already queued stays queued when the timer is killed.
    void SetTimer(TargetHandle target, uintptr_t id, uint32_t periodMs);
    void KillTimer(TargetHandle target, uintptr_t id);

    // events 0 stops all notifications for the socket.
    bool SelectSocket(int fd, TargetHandle target, uint32_t message, uint32_t events);
    // Called after recv, send (would block) and accept, as their Winsock counterparts do.
    void ReenableSocket(int fd, uint32_t events);
    // After a read that filled the caller's buffer: more data is almost surely waiting, so
    // FD_READ is posted at once instead of asking the kernel again.
    void ReadAgain(int fd);
    // After an accept that succeeded: while more connections wait, FD_ACCEPT is posted at
    // once (one look at the socket) instead of re-arming it and waiting for the next pass;
    // a notice still queued whose connection was taken is withdrawn.
    void AcceptAgain(int fd);

    // Returns a non-zero request handle; the answer fills *entry and posts message to target.
    uint32_t StartLookup(TargetHandle target, uint32_t message, const char* name, CHostEntry* entry);
    bool CancelLookup(uint32_t request);

private:
    CMessageLoop();
    ~CMessageLoop() = delete;  // lives until the process ends

    struct Message {
        TargetHandle target;
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
        uint32_t lookup = 0;  // answered look-up, completed only if still wanted at delivery
    };
    struct Target {
        uint32_t generation = 1;
        bool alive = false;
        MessageHandler handler;
        std::vector<int> sockets;  // selected for it, so that unregistering need not scan every record
    };
    enum class FdKind : uint8_t { None, Socket, Resolver };
    struct FdRecord {
        FdKind kind = FdKind::None;
        TargetHandle target;
        uint32_t message = 0;
        uint32_t selected = 0;     // events asked for
        uint32_t armed = 0;        // events that may be posted now
        uint32_t epollEvents = 0;  // what the kernel watches now (0: disarmed)
        uint32_t posted = 0;       // FD_ACCEPT queued and not yet delivered
        bool registered = false;
        bool dirty = false;  // interest to apply when the current pass ends
    };

    void Enqueue(const Message& message);
    void Wake();
    void ProcessEpoll(int timeoutMs);
    void SyncWake();
    void HandleFdEvents(int fd, uint32_t revents);
    void UpdateInterest(int fd, FdRecord& record);
    // Removes the queued notices of a socket's selection (only those of onlyEvent, if given).
    void DropNotices(int fd, const FdRecord& record, uint32_t onlyEvent = 0);
    // Takes a socket record off its target's list, before the record changes hands.
    void ForgetSocket(int fd, const FdRecord& record);
    void MarkDirty(int fd, FdRecord& record);
    void FlushInterest();
    void FireTimers();
    void ArmTimerFd();
    void DispatchQueued();
    FdRecord& Record(int fd);
    void WatchResolverSocket(int fd, bool readable, bool writable);

    int m_epoll = -1;
    int m_wakeFd = -1;
    int m_timerFd = -1;
    bool m_wakeSignalled = false;
    int m_dispatching = 0;
    int m_running = 0;  // inside RunOnce: posts and re-arms wait for its end
    std::vector<int> m_dirty;
    bool m_quit = false;
    std::function<void()> m_pumpHook;
    std::deque<Message> m_queue;
    std::vector<Target> m_targets;
    std::vector<uint32_t> m_freeTargets;
    std::vector<FdRecord> m_fds;
    CTimerQueue m_timers;
    CResolver m_resolver;
};
