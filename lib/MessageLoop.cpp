#include "lib/MessageLoop.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "lib/ErrorText.h"

namespace {

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

}  // namespace

CMessageLoop& CMessageLoop::Instance()
{
    // Never destroyed: sessions held by static objects may still unregister at exit.
    static CMessageLoop* loop = new CMessageLoop;
    return *loop;
}

CMessageLoop::CMessageLoop()
    : m_resolver(CResolver::SHooks{
          [this](int fd, bool readable, bool writable) { WatchResolverSocket(fd, readable, writable); },
          [this](TargetHandle target, uint32_t message, uint32_t request, int error) {
              Enqueue(Message{target, message, request, MakeSelectLParam(0, error), request});
          },
      })
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

    if (m_timers.KillAll(handle))
        ArmTimerFd();
    m_resolver.CancelAll(handle);
    const std::vector<int> sockets = std::move(target.sockets);
    target.sockets.clear();
    for (const int fd : sockets) {
        if (m_fds[static_cast<size_t>(fd)].kind == FdKind::Socket &&
            m_fds[static_cast<size_t>(fd)].target == handle)
            SelectSocket(fd, handle, 0, 0);
    }
}

void CMessageLoop::ForgetSocket(int fd, const FdRecord& record)
{
    if (record.kind != FdKind::Socket || record.target.index >= m_targets.size())
        return;
    std::erase(m_targets[record.target.index].sockets, fd);
}

bool CMessageLoop::IsAlive(TargetHandle handle) const
{
    return handle.index < m_targets.size() && m_targets[handle.index].alive &&
           m_targets[handle.index].generation == handle.generation;
}

void CMessageLoop::Post(TargetHandle target, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    Enqueue(Message{target, message, wParam, lParam});
}

void CMessageLoop::Enqueue(const Message& message)
{
    m_queue.push_back(message);
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
        if (message.lookup != 0 && !m_resolver.Complete(message.lookup))
            continue;
        if (message.wParam < m_fds.size()) {
            FdRecord& record = m_fds[message.wParam];
            if (record.posted != 0 && record.target == message.target && record.message == message.message)
                record.posted &= ~SelectEvent(message.lParam);
        }
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
        m_resolver.Process(fd, (revents & (EPOLLIN | EPOLLERR | EPOLLHUP)) != 0, (revents & EPOLLOUT) != 0);
        ArmTimerFd();
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
        record.posted |= kFdAccept;
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
    const int operation = record.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    int result = epoll_ctl(m_epoll, operation, fd, &ev);
    if (result != 0 && operation == EPOLL_CTL_ADD && errno == EEXIST)
        result = epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &ev);  // left in the set, disarmed, when deselected
    if (result == 0) {
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
        // A registration the kernel has disarmed reports nothing: closing the socket takes it
        // out of the set, which saves a call per connection (most close after an event), and
        // a later selection of a socket kept open finds it again.
        if (record.registered && record.epollEvents != 0)
            epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        // Notifications already queued for this socket would hit a later socket with the same number.
        if (record.kind == FdKind::Socket) {
            ForgetSocket(fd, record);
            DropNotices(fd, record);
        }
        record = FdRecord{};
        return true;
    }
    if (record.kind != FdKind::Socket || !(record.target == target)) {
        ForgetSocket(fd, record);
        if (IsAlive(target))
            m_targets[target.index].sockets.push_back(fd);
    }
    record.kind = FdKind::Socket;
    record.target = target;
    record.message = message;
    record.selected = events;
    record.armed = events;
    record.posted = 0;  // a new selection starts afresh, as WSAAsyncSelect does
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

void CMessageLoop::DropNotices(int fd, const FdRecord& record, uint32_t onlyEvent)
{
    std::erase_if(m_queue, [&](const Message& m) {
        return m.target == record.target && m.message == record.message &&
               m.wParam == static_cast<uintptr_t>(fd) &&
               (onlyEvent == 0 || SelectEvent(m.lParam) == onlyEvent);
    });
}

void CMessageLoop::AcceptAgain(int fd)
{
    if (fd < 0 || static_cast<size_t>(fd) >= m_fds.size())
        return;
    FdRecord& record = m_fds[static_cast<size_t>(fd)];
    if (record.kind != FdKind::Socket || !(record.selected & kFdAccept) || (record.armed & kFdAccept))
        return;
    pollfd waiting{fd, POLLIN, 0};
    const bool more = poll(&waiting, 1, 0) == 1 && (waiting.revents & POLLIN);
    if (record.posted & kFdAccept) {
        if (more)
            return;  // the notice on its way finds the next connection
        // The owner accepted outside the notice and took what it stood for: withdraw it, so
        // that its accept does not fail on an empty queue.
        DropNotices(fd, record, kFdAccept);
        record.posted &= ~kFdAccept;
    } else if (more) {
        record.posted |= kFdAccept;
        Post(record.target, record.message, static_cast<uintptr_t>(fd), MakeSelectLParam(kFdAccept, 0));
        return;
    }
    ReenableSocket(fd, kFdAccept);
}

void CMessageLoop::SetTimer(TargetHandle target, uintptr_t id, uint32_t periodMs)
{
    m_timers.Set(target, id, static_cast<int64_t>(std::max<uint32_t>(periodMs, 1)) * 1000000, NowNs());
    ArmTimerFd();
}

void CMessageLoop::KillTimer(TargetHandle target, uintptr_t id)
{
    if (m_timers.Kill(target, id))
        ArmTimerFd();
}

void CMessageLoop::ArmTimerFd()
{
    int64_t deadline = std::min(m_timers.NextDeadline(), m_resolver.NextDeadline(NowNs()));
    itimerspec spec{};
    if (deadline != CTimerQueue::kNever) {
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
    m_timers.Expire(NowNs(), [this](TargetHandle target, uintptr_t id) { Post(target, kMsgTimer, id, 0); });
    m_resolver.ProcessTimeouts();
    ArmTimerFd();
}

void CMessageLoop::WatchResolverSocket(int fd, bool readable, bool writable)
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
        ForgetSocket(fd, record);
        record.kind = FdKind::Resolver;
        record.registered = true;
    }
}

uint32_t CMessageLoop::StartLookup(TargetHandle target, uint32_t message, const char* name, CHostEntry* entry)
{
    const uint32_t request = m_resolver.Start(target, message, name, entry);
    ArmTimerFd();
    return request;
}

bool CMessageLoop::CancelLookup(uint32_t request)
{
    return m_resolver.Cancel(request);
}
