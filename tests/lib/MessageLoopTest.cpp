#include "lib/MessageLoop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/RunLoop.h"

namespace {

using namespace std::chrono_literals;

CMessageLoop& Loop()
{
    return CMessageLoop::Instance();
}

// A target that records what it receives as "message:wParam:lParam" strings.
struct Recorder {
    std::vector<std::string> seen;
    TargetHandle handle;
    std::function<void(uint32_t, uintptr_t, intptr_t)> also;

    Recorder()
    {
        handle = Loop().Register([this](uint32_t m, uintptr_t w, intptr_t l) {
            seen.push_back(std::to_string(m) + ":" + std::to_string(w) + ":" + std::to_string(l));
            if (also)
                also(m, w, l);
        });
    }
    ~Recorder() { Loop().Unregister(handle); }
};

std::string SocketEvent(int fd, uint32_t event, int error = 0)
{
    return std::to_string(kMsgSocket) + ":" + std::to_string(fd) + ":" +
           std::to_string(MakeSelectLParam(event, error));
}

struct SocketPair {
    int fd[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fd)); }
    ~SocketPair()
    {
        for (int f : fd) {
            if (f >= 0) {
                Loop().SelectSocket(f, {}, 0, 0);
                close(f);
            }
        }
    }
};

TEST(MessageLoop, DeliversPostedMessagesInArrivalOrder)
{
    Recorder a, b;
    Loop().Post(a.handle, 1, 1, 0);
    Loop().Post(b.handle, 2, 1, 0);
    Loop().Post(a.handle, 1, 2, 0);
    Loop().Post(b.handle, 2, 2, 0);
    ASSERT_TRUE(RunUntil([&] { return a.seen.size() == 2 && b.seen.size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"1:1:0", "1:2:0"}), a.seen);
    EXPECT_EQ((std::vector<std::string>{"2:1:0", "2:2:0"}), b.seen);
}

TEST(MessageLoop, FdIsReadableWhileWorkIsQueued)
{
    Recorder a;
    Loop().Post(a.handle, 7, 0, 0);
    pollfd p{Loop().Fd(), POLLIN, 0};
    EXPECT_EQ(1, poll(&p, 1, 1000));
    Loop().RunOnce(0);
    EXPECT_EQ(1u, a.seen.size());
    EXPECT_EQ(0, poll(&p, 1, 0));
}

TEST(MessageLoop, DeadTargetGetsNothingAndItsHandleIsNotReused)
{
    int delivered = 0;
    TargetHandle old = Loop().Register([&](uint32_t, uintptr_t, intptr_t) { ++delivered; });
    Loop().Post(old, 1, 0, 0);
    Loop().SetTimer(old, 10, 1);
    Loop().Unregister(old);
    Recorder fresh;  // likely takes the same slot
    Loop().Post(old, 1, 0, 0);
    RunFor(50ms);
    EXPECT_EQ(0, delivered);
    EXPECT_TRUE(fresh.seen.empty());
    EXPECT_FALSE(Loop().IsAlive(old));
    EXPECT_TRUE(Loop().IsAlive(fresh.handle));
}

TEST(MessageLoop, TargetDestroyedByAnEarlierHandlerGetsNothingMore)
{
    auto victim = std::make_unique<Recorder>();
    Recorder killer;
    killer.also = [&](uint32_t, uintptr_t, intptr_t) { victim.reset(); };
    Loop().Post(killer.handle, 1, 0, 0);
    Loop().Post(victim->handle, 1, 0, 0);
    Loop().Post(killer.handle, 2, 0, 0);
    ASSERT_TRUE(RunUntil([&] { return killer.seen.size() == 2; }));
    EXPECT_EQ(nullptr, victim);
}

TEST(MessageLoop, ReentrantRunOnceDeliversEachMessageOnceInOrder)
{
    Recorder a;
    int depth = 0;
    a.also = [&](uint32_t m, uintptr_t, intptr_t) {
        if (m == 1) {
            ++depth;
            Loop().Post(a.handle, 3, 0, 0);
            Loop().RunOnce(0);  // a modal loop inside a handler
            --depth;
        }
    };
    Loop().Post(a.handle, 1, 0, 0);
    Loop().Post(a.handle, 2, 0, 0);
    ASSERT_TRUE(RunUntil([&] { return a.seen.size() == 3; }));
    RunFor(20ms);
    EXPECT_EQ((std::vector<std::string>{"1:0:0", "2:0:0", "3:0:0"}), a.seen);
    EXPECT_EQ(0, depth);
}

TEST(MessageLoop, TimersArePerTargetAndIdAndRepeatUntilKilled)
{
    Recorder a, b;
    Loop().SetTimer(a.handle, 10, 20);
    Loop().SetTimer(b.handle, 10, 1000);
    Loop().SetTimer(a.handle, 11, 1000);
    ASSERT_TRUE(RunUntil([&] { return a.seen.size() >= 2; }, 2s));
    EXPECT_EQ(std::to_string(kMsgTimer) + ":10:0", a.seen[0]);
    EXPECT_TRUE(b.seen.empty());
    Loop().KillTimer(a.handle, 10);
    Loop().KillTimer(a.handle, 11);
    Loop().KillTimer(b.handle, 10);
    const size_t count = a.seen.size();
    RunFor(60ms);
    EXPECT_EQ(count, a.seen.size());
}

TEST(MessageLoop, TimersArriveByDeadlineEvenWhenDueTogether)
{
    std::string order;
    Recorder a, b, c;
    for (auto [recorder, name] : {std::pair{&a, 'a'}, std::pair{&b, 'b'}, std::pair{&c, 'c'}}) {
        recorder->also = [&order, recorder, name](uint32_t, uintptr_t id, intptr_t) {
            order += name;
            Loop().KillTimer(recorder->handle, id);
        };
    }
    Loop().SetTimer(a.handle, 10, 30);
    Loop().SetTimer(b.handle, 10, 10);
    Loop().SetTimer(c.handle, 10, 20);
    usleep(40000);  // all three are due before the loop looks
    ASSERT_TRUE(RunUntil([&] { return order.size() == 3; }, 2s)) << order;
    EXPECT_EQ("bca", order);
}

TEST(MessageLoop, ReadIsPostedOnceUntilReenabled)
{
    Recorder a;
    SocketPair pair;
    ASSERT_TRUE(Loop().SelectSocket(pair.fd[0], a.handle, kMsgSocket, kFdRead));
    ASSERT_EQ(1, write(pair.fd[1], "x", 1));
    ASSERT_TRUE(RunUntil([&] { return !a.seen.empty(); }));
    ASSERT_EQ(1, write(pair.fd[1], "y", 1));
    RunFor(40ms);
    EXPECT_EQ((std::vector<std::string>{SocketEvent(pair.fd[0], kFdRead)}), a.seen);

    char buffer[1];
    ASSERT_EQ(1, read(pair.fd[0], buffer, 1));
    Loop().ReenableSocket(pair.fd[0], kFdRead);  // data remains, so it is posted again
    ASSERT_TRUE(RunUntil([&] { return a.seen.size() == 2; }));
    ASSERT_EQ(1, read(pair.fd[0], buffer, 1));
    Loop().ReenableSocket(pair.fd[0], kFdRead);  // nothing left: silence
    RunFor(40ms);
    EXPECT_EQ(2u, a.seen.size());
}

TEST(MessageLoop, WriteIsPostedOnceAndCloseOnce)
{
    Recorder a;
    SocketPair pair;
    ASSERT_TRUE(Loop().SelectSocket(pair.fd[0], a.handle, kMsgSocket, kFdWrite | kFdClose));
    ASSERT_TRUE(RunUntil([&] { return !a.seen.empty(); }));
    RunFor(30ms);
    EXPECT_EQ((std::vector<std::string>{SocketEvent(pair.fd[0], kFdWrite)}), a.seen);
    Loop().ReenableSocket(pair.fd[0], kFdWrite);
    ASSERT_TRUE(RunUntil([&] { return a.seen.size() == 2; }));

    close(pair.fd[1]);
    pair.fd[1] = -1;
    ASSERT_TRUE(RunUntil([&] { return a.seen.size() == 3; }));
    EXPECT_EQ(SocketEvent(pair.fd[0], kFdClose), a.seen[2]);
    RunFor(30ms);
    EXPECT_EQ(3u, a.seen.size());
}

TEST(MessageLoop, DeselectDropsQueuedSocketEvents)
{
    Recorder a;
    SocketPair pair;
    ASSERT_TRUE(Loop().SelectSocket(pair.fd[0], a.handle, kMsgSocket, kFdWrite));
    a.also = [&](uint32_t, uintptr_t, intptr_t) { Loop().SelectSocket(pair.fd[0], {}, 0, 0); };
    Loop().Post(a.handle, kMsgSocket, static_cast<uintptr_t>(pair.fd[0]), MakeSelectLParam(kFdRead, 0));
    Loop().Post(a.handle, kMsgSocket, static_cast<uintptr_t>(pair.fd[0]), MakeSelectLParam(kFdRead, 0));
    RunFor(40ms);
    EXPECT_EQ(1u, a.seen.size());
}

TEST(MessageLoop, UnregisteringDeselectsOnlyTheTargetsOwnSockets)
{
    Recorder b;
    SocketPair kept;
    SocketPair moved;
    SocketPair other;
    {
        Recorder a;
        ASSERT_TRUE(Loop().SelectSocket(kept.fd[0], a.handle, kMsgSocket, kFdRead));
        ASSERT_TRUE(Loop().SelectSocket(moved.fd[0], a.handle, kMsgSocket, kFdRead));
        ASSERT_TRUE(Loop().SelectSocket(moved.fd[0], b.handle, kMsgSocket, kFdRead));  // changes hands
        ASSERT_TRUE(Loop().SelectSocket(other.fd[0], b.handle, kMsgSocket, kFdRead));
    }
    for (SocketPair* pair : {&kept, &moved, &other})
        ASSERT_EQ(1, write(pair->fd[1], "x", 1));
    ASSERT_TRUE(RunUntil([&] { return b.seen.size() == 2; }));
    RunFor(30ms);
    std::sort(b.seen.begin(), b.seen.end());
    std::vector<std::string> expected{SocketEvent(moved.fd[0], kFdRead), SocketEvent(other.fd[0], kFdRead)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, b.seen);
    Recorder c;  // likely takes a's slot: a's socket must not come back to life for it
    ASSERT_EQ(1, write(kept.fd[1], "y", 1));
    RunFor(30ms);
    EXPECT_TRUE(c.seen.empty());
}

TEST(MessageLoop, LookupAnswersWithAddressAndCancelSilences)
{
    Recorder a;
    CHostEntry entry;
    const uint32_t request = Loop().StartLookup(a.handle, kMsgRemoteHost, "localhost", &entry);
    ASSERT_NE(0u, request);
    ASSERT_TRUE(RunUntil([&] { return !a.seen.empty(); }));
    EXPECT_EQ(std::to_string(kMsgRemoteHost) + ":" + std::to_string(request) + ":0", a.seen[0]);
    ASSERT_FALSE(entry.addresses.empty());
    EXPECT_EQ(htonl(INADDR_LOOPBACK), entry.addresses[0]);

    CHostEntry other;
    const uint32_t cancelled = Loop().StartLookup(a.handle, kMsgRemoteHost, "localhost", &other);
    EXPECT_TRUE(Loop().CancelLookup(cancelled));
    EXPECT_FALSE(Loop().CancelLookup(cancelled));
    RunFor(50ms);
    EXPECT_EQ(1u, a.seen.size());
    EXPECT_TRUE(other.addresses.empty());
}

TEST(MessageLoop, NamesUnderLocalhostAnswerLoopbackWithoutTheHostsFile)
{
    // None of these is in a usual hosts file; a name server is never asked for them.
    for (const char* name : {"app.localhost", "LocalHost.", "a.b.LOCALHOST"}) {
        Recorder a;
        CHostEntry entry;
        const uint32_t request = Loop().StartLookup(a.handle, kMsgRemoteHost, name, &entry);
        ASSERT_NE(0u, request) << name;
        ASSERT_TRUE(RunUntil([&] { return !a.seen.empty(); })) << name;
        EXPECT_EQ(std::to_string(kMsgRemoteHost) + ":" + std::to_string(request) + ":0", a.seen[0]) << name;
        EXPECT_EQ(std::vector<uint32_t>{htonl(INADDR_LOOPBACK)}, entry.addresses) << name;
    }
}

TEST(MessageLoop, FailedLookupCarriesErrorInHighWord)
{
    Recorder a;
    CHostEntry entry;
    ASSERT_NE(0u, Loop().StartLookup(a.handle, kMsgRemoteHost, "no-such-host.invalid", &entry));
    ASSERT_TRUE(RunUntil([&] { return !a.seen.empty(); }, 15s));
    const auto last = a.seen[0].rfind(':');
    const int error = SelectError(std::stol(a.seen[0].substr(last + 1)));
    EXPECT_GE(error, 11001);
    EXPECT_LE(error, 11004);
}

TEST(MessageLoop, RunStopsAtQuitAndPumpRunsTheHook)
{
    Recorder a;
    a.also = [](uint32_t, uintptr_t, intptr_t) { Loop().Quit(); };
    Loop().SetTimer(a.handle, 1, 10);
    Loop().Run();
    Loop().KillTimer(a.handle, 1);
    EXPECT_FALSE(a.seen.empty());

    int pumped = 0;
    Loop().SetPumpHook([&] { ++pumped; });
    Loop().Pump();
    Loop().SetPumpHook(nullptr);
    Loop().Pump();
    EXPECT_EQ(1, pumped);
}

}  // namespace
