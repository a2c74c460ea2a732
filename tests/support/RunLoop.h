#pragma once

#include <chrono>
#include <functional>

// Every wait of a test runs the event loop and ends by itself: the library's message loop,
// or Qt's (which runs the library's) once a Qt test app exists.

// Runs the event loop until done() or the time-out; true when done.
bool RunUntil(const std::function<bool()>& done,
              std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Runs the event loop for a while, to show that nothing more arrives.
void RunFor(std::chrono::milliseconds duration);
// Replaces one short turn of the event loop (Qt's test app installs its own); nullptr restores the library's.
void SetEventLoopStep(std::function<void()> step);
