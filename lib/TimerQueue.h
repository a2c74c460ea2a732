#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "lib/TargetHandle.h"

// The repeating timers of the message loop, one per (target, id), ordered by deadline. Times
// are nanoseconds of a monotonic clock that the caller reads; the queue never reads a clock.
class CTimerQueue final {
public:
    static constexpr int64_t kNever = INT64_MAX;

    // Starts the timer, or restarts it with the new period when it runs already.
    void Set(TargetHandle target, uintptr_t id, int64_t periodNs, int64_t nowNs);
    // False when no such timer runs.
    bool Kill(TargetHandle target, uintptr_t id);
    // Every timer of a target that goes away; false when it had none.
    bool KillAll(TargetHandle target);

    int64_t NextDeadline() const;  // kNever when no timer runs
    size_t Count() const { return m_timers.size(); }

    // Each timer due at nowNs, earliest deadline first and equal deadlines in the order they
    // were scheduled: its next deadline becomes nowNs + period, then fire(target, id) runs. A
    // late timer fires once, however many periods it missed. fire may set and kill timers: one
    // killed before its turn does not fire, one set meanwhile waits for a later call.
    void Expire(int64_t nowNs, const std::function<void(TargetHandle, uintptr_t)>& fire);

private:
    using Key = std::pair<TargetHandle, uintptr_t>;
    struct STimer {
        int64_t deadline;
        int64_t period;
        uint64_t order;  // scheduling sequence: breaks ties between equal deadlines
    };

    void Schedule(const Key& key, STimer& timer, int64_t deadline);

    std::map<Key, STimer> m_timers;
    std::set<std::tuple<int64_t, uint64_t, Key>> m_byDeadline;
    uint64_t m_nextOrder = 0;
};
