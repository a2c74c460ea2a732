#include "lib/MessageLoop.h"

#include <ares.h>
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "lib/ErrorText.h"

namespace {

CMessageLoop* s_loop = nullptr;

int64_t NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int SocketError(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

int LookupError(int status, const hostent* host)
{
    switch (status) {
    case ARES_SUCCESS: return host && host->h_addr_list && host->h_addr_list[0] ? 0 : kWsaNoData;
    case ARES_ENOTFOUND: return kWsaHostNotFound;
    case ARES_ENODATA: return kWsaNoData;
    case ARES_ETIMEOUT:
    case ARES_ECONNREFUSED:
    case ARES_ESERVFAIL: return kWsaTryAgain;
    case ARES_ENOMEM: return kWsaNoBufs;
    default: return kWsaNoRecovery;
    }
}

// "localhost" and names below it always mean this machine, also where the hosts file does
// not say so (a minimal container); asking a name server for them would only time out.
bool IsLocalhostName(const char* name)
{
    std::string_view text(name);
    if (!text.empty() && text.back() == '.')
        text.remove_suffix(1);
    constexpr std::string_view kLocal = "localhost";
    if (text.size() < kLocal.size())
        return false;
    const std::string_view tail = text.substr(text.size() - kLocal.size());
    const bool isLocal =
        std::equal(tail.begin(), tail.end(), kLocal.begin(), [](char a, char b) { return (a | 0x20) == b; });
    return isLocal && (text.size() == kLocal.size() || text[text.size() - kLocal.size() - 1] == '.');
}
}  // namespace

CMessageLoop& CMessageLoop::Instance()
{
    // Never destroyed: sessions held by static objects may still unregister at exit.
    static CMessageLoop* loop = new CMessageLoop;
    return *loop;
}

CMessageLoop::CMessageLoop()
{
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_epoll < 0 || m_wakeFd < 0 || m_timerFd < 0) {
        std::perror("VoltTCP message loop");
        std::abort();
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = m_wakeFd;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wakeFd, &ev);
    ev.data.fd = m_timerFd;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_timerFd, &ev);
    s_loop = this;
}

void CMessageLoop::Run()
{
    while (!m_quit)
        RunOnce(-1);
    m_quit = false;
}

void CMessageLoop::Quit()
{
    m_quit = true;
    if (!m_wakeSignalled)
        Wake();
}

void CMessageLoop::RunOnce(int timeoutMs)
{
    if (!m_queue.empty())
        timeoutMs = 0;
    ++m_running;
    FlushInterest();
    ProcessEpoll(timeoutMs);
    DispatchQueued();
    --m_running;
    // Re-arming once per pass, after the handlers ran, saves a system call per event.
    FlushInterest();
    SyncWake();
}

void CMessageLoop::SetPumpHook(std::function<void()> hook)
{
    m_pumpHook = std::move(hook);
}

void CMessageLoop::Pump()
{
    if (m_pumpHook) {
        auto hook = m_pumpHook;  // the hook may replace itself
        hook();
    }
}

TargetHandle CMessageLoop::Register(MessageHandler handler)
{
    uint32_t index;
    if (!m_freeTargets.empty()) {
        index = m_freeTargets.back();
        m_freeTargets.pop_back();
    } else {
        index = static_cast<uint32_t>(m_targets.size());
        m_targets.emplace_back();
    }
    Target& target = m_targets[index];
    target.alive = true;
    target.handler = std::move(handler);
    return TargetHandle{index, target.generation};
}

void CMessageLoop::Unregister(TargetHandle handle)
{
    if (!IsAlive(handle))
        return;
    Target& target = m_targets[handle.index];
    target.alive = false;
    target.handler = nullptr;  // safe: dispatch calls a copy
    if (++target.generation == 0)
        target.generation = 1;
    m_freeTargets.push_back(handle.index);

    for (auto it = m_timers.lower_bound({handle, 0}); it != m_timers.end() && it->first.first == handle;)
        it = m_timers.erase(it);
    std::erase_if(m_lookups, [&](const auto& item) { return item.second.target == handle; });
    for (size_t fd = 0; fd < m_fds.size(); ++fd) {
        if (m_fds[fd].kind == FdKind::Socket && m_fds[fd].target == handle)
            SelectSocket(static_cast<int>(fd), handle, 0, 0);
    }
}

bool CMessageLoop::IsAlive(TargetHandle handle) const
{
    return handle.index < m_targets.size() && m_targets[handle.index].alive &&
           m_targets[handle.index].generation == handle.generation;
}

void CMessageLoop::Post(TargetHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    m_queue.push_back(Message{target, message, wParam, lParam});
    if (m_running == 0 && m_dispatching == 0 && !m_wakeSignalled)
        Wake();
}

void CMessageLoop::Wake()
{
    uint64_t one = 1;
    if (write(m_wakeFd, &one, sizeof one) == sizeof one)
        m_wakeSignalled = true;
}

void CMessageLoop::SyncWake()
{
    if (m_queue.empty() && !m_quit) {
        if (m_wakeSignalled) {
            uint64_t value;
            if (read(m_wakeFd, &value, sizeof value) == sizeof value)
                m_wakeSignalled = false;
        }
    } else if (!m_wakeSignalled) {
        Wake();
    }
}

void CMessageLoop::DispatchQueued()
{
    ++m_dispatching;
    // A few rounds of what is queued, then back to the kernel: a handler that posts to itself
    // must not starve the sockets, but a stream being read need not poll after every piece.
    size_t budget = m_queue.size();
    int rounds = 4;
    while (!m_queue.empty()) {
        if (budget == 0) {
            if (--rounds == 0)
                break;
            budget = m_queue.size();
        }
        --budget;
        const Message message = m_queue.front();
        m_queue.pop_front();
        if (!IsAlive(message.target))
            continue;
        if (message.lookup != 0 && !CompleteLookup(message.lookup))
            continue;
        MessageHandler handler = m_targets[message.target.index].handler;
        handler(message.message, message.wParam, message.lParam);
    }
    --m_dispatching;
    if (m_running == 0)
        SyncWake();
}

void CMessageLoop::ProcessEpoll(int timeoutMs)
{
    epoll_event events[64];
    const int count = epoll_wait(m_epoll, events, 64, timeoutMs);
    // No handler runs here: events only become messages, so no result is stale when used.
    for (int i = 0; i < count; ++i) {
        const int fd = events[i].data.fd;
        if (fd == m_wakeFd)
            continue;
        if (fd == m_timerFd)
            FireTimers();
        else
            HandleFdEvents(fd, events[i].events);
    }
}

CMessageLoop::FdRecord& CMessageLoop::Record(int fd)
{
    const size_t index = static_cast<size_t>(fd);
    if (index >= m_fds.size())
        m_fds.resize(index + 1);
    return m_fds[index];
}

void CMessageLoop::HandleFdEvents(int fd, uint32_t revents)
{
    FdRecord& record = Record(fd);
    if (record.kind == FdKind::Resolver) {
        if (m_resolver) {
            const bool readable = (revents & (EPOLLIN | EPOLLERR | EPOLLHUP)) != 0;
            const bool writable = (revents & EPOLLOUT) != 0;
            ares_process_fd(m_resolver, readable ? fd : ARES_SOCKET_BAD, writable ? fd : ARES_SOCKET_BAD);
            ArmTimerFd();
        }
        return;
    }
    if (record.kind != FdKind::Socket)
        return;
    record.epollEvents = 0;  // one-shot: the kernel has disarmed it
    const TargetHandle target = record.target;
    const uint32_t message = record.message;
    auto post = [&](uint32_t event, int error) {
        Post(target, message, static_cast<uintptr_t>(fd), MakeSelectLParam(event, error));
    };
    const bool failed = (revents & (EPOLLERR | EPOLLHUP)) != 0;

    if (record.armed & kFdConnect) {
        if (revents & (EPOLLOUT | EPOLLERR | EPOLLHUP)) {
            const int error = SocketError(fd);
            record.armed &= ~kFdConnect;
            post(kFdConnect, error ? MapErrno(error) : 0);
            if (error) {
                record.armed = 0;
            } else if ((record.armed & kFdWrite) && (revents & EPOLLOUT)) {
                record.armed &= ~kFdWrite;
                post(kFdWrite, 0);
            }
        }
        MarkDirty(fd, record);
        return;
    }
    if ((record.armed & kFdRead) && (revents & (EPOLLIN | EPOLLRDHUP) || failed)) {
        record.armed &= ~kFdRead;
        post(kFdRead, 0);
    }
    if ((record.armed & kFdOob) && (revents & EPOLLPRI)) {
        record.armed &= ~kFdOob;
        post(kFdOob, 0);
    }
    if ((record.armed & kFdAccept) && (revents & EPOLLIN)) {
        record.armed &= ~kFdAccept;
        post(kFdAccept, 0);
    }
    if ((record.armed & kFdWrite) && (revents & EPOLLOUT)) {
        record.armed &= ~kFdWrite;
        post(kFdWrite, 0);
    }
    if ((record.armed & kFdClose) && ((revents & EPOLLRDHUP) || failed)) {
        record.armed &= ~kFdClose;
        const int error = (revents & EPOLLERR) ? SocketError(fd) : 0;
        post(kFdClose, error ? MapErrno(error) : 0);
    }
    MarkDirty(fd, record);
}

void CMessageLoop::MarkDirty(int fd, FdRecord& record)
{
    if (m_running == 0) {
        UpdateInterest(fd, record);
        return;
    }
    if (!record.dirty) {
        record.dirty = true;
        m_dirty.push_back(fd);
    }
}

void CMessageLoop::FlushInterest()
{
    // Index loop: a flush never adds to the list, but stay safe if it ever does.
    for (size_t i = 0; i < m_dirty.size(); ++i) {
        const int fd = m_dirty[i];
        FdRecord& record = Record(fd);
        if (!record.dirty)
            continue;
        record.dirty = false;
        if (record.kind == FdKind::Socket)
            UpdateInterest(fd, record);
    }
    m_dirty.clear();
}

void CMessageLoop::UpdateInterest(int fd, FdRecord& record)
{
    uint32_t wanted = 0;
    if (record.armed & (kFdRead | kFdAccept))
        wanted |= EPOLLIN;
    if (record.armed & kFdOob)
        wanted |= EPOLLPRI;
    if (record.armed & (kFdWrite | kFdConnect))
        wanted |= EPOLLOUT;
    if (record.armed & kFdClose)
        wanted |= EPOLLRDHUP;
    if (wanted == 0 || wanted == record.epollEvents)
        return;  // nothing armed stays disarmed: a paused socket costs nothing
    epoll_event ev{};
    ev.events = wanted | EPOLLONESHOT;
    ev.data.fd = fd;
    if (epoll_ctl(m_epoll, record.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev) == 0) {
        record.registered = true;
        record.epollEvents = wanted;
    }
}

bool CMessageLoop::SelectSocket(int fd, TargetHandle target, uint32_t message, uint32_t events)
{
    if (fd < 0)
        return false;
    FdRecord& record = Record(fd);
    if (record.kind == FdKind::Resolver)
        return false;
    if (events == 0 || message == 0) {
        if (record.registered)
            epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        // Notifications already queued for this socket would hit a later socket with the same number.
        if (record.kind == FdKind::Socket) {
            const TargetHandle old = record.target;
            const uint32_t oldMessage = record.message;
            std::erase_if(m_queue, [&](const Message& m) {
                return m.target == old && m.message == oldMessage && m.wParam == static_cast<uintptr_t>(fd);
            });
        }
        record = FdRecord{};
        return true;
    }
    record.kind = FdKind::Socket;
    record.target = target;
    record.message = message;
    record.selected = events;
    record.armed = events;
    UpdateInterest(fd, record);
    return record.registered;
}

void CMessageLoop::ReenableSocket(int fd, uint32_t events)
{
    if (fd < 0 || static_cast<size_t>(fd) >= m_fds.size())
        return;
    FdRecord& record = m_fds[static_cast<size_t>(fd)];
    if (record.kind != FdKind::Socket)
        return;
    record.armed |= events & record.selected & ~kFdConnect;
    MarkDirty(fd, record);
}

void CMessageLoop::ReadAgain(int fd)
{
    if (fd < 0 || static_cast<size_t>(fd) >= m_fds.size())
        return;
    FdRecord& record = m_fds[static_cast<size_t>(fd)];
    if (record.kind != FdKind::Socket || !(record.selected & kFdRead) || (record.armed & kFdRead)) {
        ReenableSocket(fd, kFdRead | kFdOob);
        return;
    }
    record.armed |= record.selected & kFdOob;
    Post(record.target, record.message, static_cast<uintptr_t>(fd), MakeSelectLParam(kFdRead, 0));
    // Close and urgent data show up in the reads themselves; only active interest needs the kernel.
    if (record.armed & (kFdWrite | kFdAccept | kFdConnect))
        MarkDirty(fd, record);
}

void CMessageLoop::SetTimer(TargetHandle target, uintptr_t id, uint32_t periodMs)
{
    const int64_t period = static_cast<int64_t>(std::max<uint32_t>(periodMs, 1)) * 1000000;
    m_timers[{target, id}] = Timer{NowNs() + period, period};
    ArmTimerFd();
}

void CMessageLoop::KillTimer(TargetHandle target, uintptr_t id)
{
    m_timers.erase({target, id});
    ArmTimerFd();
}

void CMessageLoop::ArmTimerFd()
{
    int64_t deadline = INT64_MAX;
    for (const auto& item : m_timers)
        deadline = std::min(deadline, item.second.deadlineNs);
    if (m_resolver &&
        std::any_of(m_lookups.begin(), m_lookups.end(), [](const auto& l) { return !l.second.answered; })) {
        timeval tv{};
        if (ares_timeout(m_resolver, nullptr, &tv))
            deadline = std::min(deadline,
                                NowNs() + static_cast<int64_t>(tv.tv_sec) * 1000000000 + tv.tv_usec * 1000);
    }
    itimerspec spec{};
    if (deadline != INT64_MAX) {
        deadline = std::max<int64_t>(deadline, 1);
        spec.it_value.tv_sec = deadline / 1000000000;
        spec.it_value.tv_nsec = deadline % 1000000000;
    }
    timerfd_settime(m_timerFd, TFD_TIMER_ABSTIME, &spec, nullptr);
}

void CMessageLoop::FireTimers()
{
    uint64_t expirations;
    while (read(m_timerFd, &expirations, sizeof expirations) == sizeof expirations) {
    }
    const int64_t now = NowNs();
    for (auto& [key, timer] : m_timers) {
        if (timer.deadlineNs <= now) {
            timer.deadlineNs = now + timer.periodNs;
            Post(key.first, kMsgTimer, key.second, 0);
        }
    }
    if (m_resolver && !m_lookups.empty())
        ares_process_fd(m_resolver, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    ArmTimerFd();
}

void CMessageLoop::EnsureResolver()
{
    if (m_resolver || m_resolverFailed)
        return;
    if (ares_library_init(ARES_LIB_INIT_ALL) != ARES_SUCCESS) {
        m_resolverFailed = true;
        return;
    }
    ares_options options{};
    options.sock_state_cb = &CMessageLoop::ResolverSocketStateCb;
    options.sock_state_cb_data = this;
    options.timeout = 2000;
    options.tries = 2;
    const int mask = ARES_OPT_SOCK_STATE_CB | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES;
    if (ares_init_options(&m_resolver, &options, mask) != ARES_SUCCESS) {
        m_resolver = nullptr;
        m_resolverFailed = true;
        ares_library_cleanup();
    }
}

void CMessageLoop::ResolverSocketStateCb(void* data, int fd, int readable, int writable)
{
    static_cast<CMessageLoop*>(data)->ResolverSocketState(fd, readable != 0, writable != 0);
}

void CMessageLoop::ResolverSocketState(int fd, bool readable, bool writable)
{
    FdRecord& record = Record(fd);
    if (!readable && !writable) {
        if (record.registered)
            epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        record = FdRecord{};
        return;
    }
    epoll_event ev{};
    ev.events = (readable ? EPOLLIN : 0u) | (writable ? EPOLLOUT : 0u);
    ev.data.fd = fd;
    if (epoll_ctl(m_epoll, record.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev) == 0) {
        record.kind = FdKind::Resolver;
        record.registered = true;
    }
}

uint32_t CMessageLoop::StartLookup(TargetHandle target, uint32_t message, const char* name, CHostEntry* entry)
{
    EnsureResolver();
    if (!m_resolver) {
        errno = ENETDOWN;
        return 0;
    }
    uint32_t request = m_nextRequest++;
    if (request == 0)
        request = m_nextRequest++;
    m_lookups[request] = Lookup{target, message, entry, false, {}};
    void* const arg = reinterpret_cast<void*>(static_cast<uintptr_t>(request));
    if (IsLocalhostName(name)) {
        hostent* host = nullptr;
        if (ares_gethostbyname_file(m_resolver, name, AF_INET, &host) == ARES_SUCCESS && host) {
            LookupDoneCb(arg, ARES_SUCCESS, 0, host);
            ares_free_hostent(host);
        } else {
            in_addr loopback{htonl(INADDR_LOOPBACK)};
            char* addresses[] = {reinterpret_cast<char*>(&loopback), nullptr};
            hostent local{};
            local.h_addrtype = AF_INET;
            local.h_length = sizeof loopback;
            local.h_addr_list = addresses;
            LookupDoneCb(arg, ARES_SUCCESS, 0, &local);
        }
        return request;
    }
    // c-ares may answer from the hosts file inside this call; the answer is posted either way.
    ares_gethostbyname(m_resolver, name, AF_INET, &CMessageLoop::LookupDoneCb, arg);
    ArmTimerFd();
    return request;
}

bool CMessageLoop::CancelLookup(uint32_t request)
{
    const bool found = m_lookups.erase(request) != 0;
    ArmTimerFd();
    return found;
}

void CMessageLoop::LookupDoneCb(void* arg, int status, int, hostent* host)
{
    CMessageLoop* loop = s_loop;
    if (!loop || status == ARES_EDESTRUCTION)
        return;
    const auto request = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg));
    const auto it = loop->m_lookups.find(request);
    if (it == loop->m_lookups.end())
        return;  // cancelled: the caller's record may be gone
    Lookup& lookup = it->second;
    const int error = LookupError(status, host);
    lookup.answered = true;
    if (error == 0) {
        for (char** address = host->h_addr_list; *address; ++address) {
            uint32_t value;
            std::memcpy(&value, *address, sizeof value);
            lookup.addresses.push_back(value);
        }
    }
    // The answer may come inside StartLookup; the caller can still cancel until delivery.
    loop->m_queue.push_back(
        Message{lookup.target, lookup.message, request, MakeSelectLParam(0, error), request});
    if (loop->m_running == 0 && loop->m_dispatching == 0 && !loop->m_wakeSignalled)
        loop->Wake();
}

bool CMessageLoop::CompleteLookup(uint32_t request)
{
    const auto it = m_lookups.find(request);
    if (it == m_lookups.end() || !it->second.answered)
        return false;
    if (it->second.entry)
        it->second.entry->addresses = std::move(it->second.addresses);
    m_lookups.erase(it);
    return true;
}
