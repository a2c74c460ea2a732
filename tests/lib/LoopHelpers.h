#pragma once

#include <chrono>
#include <functional>

#include "lib/MessageLoop.h"

// Runs the loop until done() or the time-out; every loop in the tests is bounded by it.
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        CMessageLoop::Instance().RunOnce(10);
    }
    return true;
}

// Runs the loop for a while, to show that nothing more arrives.
inline void RunFor(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline)
        CMessageLoop::Instance().RunOnce(5);
}
