#include "tests/support/RunLoop.h"

#include "lib/MessageLoop.h"

namespace {

using Clock = std::chrono::steady_clock;

std::function<void()>& Step()
{
    static std::function<void()> step;
    return step;
}

void RunOnce()
{
    if (Step())
        Step()();
    else
        CMessageLoop::Instance().RunOnce(5);
}

}  // namespace

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        RunOnce();
    }
    return true;
}

void RunFor(std::chrono::milliseconds duration)
{
    const auto deadline = Clock::now() + duration;
    while (Clock::now() < deadline)
        RunOnce();
}

void SetEventLoopStep(std::function<void()> step)
{
    Step() = std::move(step);
}
