#include "lib/TimerQueue.h"

#include <algorithm>

void CTimerQueue::Set(TargetHandle target, uintptr_t id, int64_t periodNs, int64_t nowNs)
{
    const Key key{target, id};
    const int64_t period = std::max<int64_t>(periodNs, 1);  // a zero period would fire forever
    auto [it, added] = m_timers.try_emplace(key, STimer{0, period, 0});
    if (!added) {
        m_byDeadline.erase({it->second.deadline, it->second.order, key});
        it->second.period = period;
    }
    Schedule(key, it->second, nowNs + period);
}

bool CTimerQueue::Kill(TargetHandle target, uintptr_t id)
{
    const auto it = m_timers.find({target, id});
    if (it == m_timers.end())
        return false;
    m_byDeadline.erase({it->second.deadline, it->second.order, it->first});
    m_timers.erase(it);
    return true;
}

bool CTimerQueue::KillAll(TargetHandle target)
{
    auto it = m_timers.lower_bound({target, 0});
    const bool any = it != m_timers.end() && it->first.first == target;
    while (it != m_timers.end() && it->first.first == target) {
        m_byDeadline.erase({it->second.deadline, it->second.order, it->first});
        it = m_timers.erase(it);
    }
    return any;
}

int64_t CTimerQueue::NextDeadline() const
{
    return m_byDeadline.empty() ? kNever : std::get<0>(*m_byDeadline.begin());
}

void CTimerQueue::Expire(int64_t nowNs, const std::function<void(TargetHandle, uintptr_t)>& fire)
{
    // No iterator survives fire: the next due timer is looked up afresh each time.
    const uint64_t passStart = m_nextOrder;
    for (;;) {
        auto due = m_byDeadline.begin();
        while (due != m_byDeadline.end() && std::get<0>(*due) <= nowNs && std::get<1>(*due) >= passStart)
            ++due;  // scheduled during this pass
        if (due == m_byDeadline.end() || std::get<0>(*due) > nowNs)
            return;
        const Key key = std::get<2>(*due);
        m_byDeadline.erase(due);
        STimer& timer = m_timers.at(key);
        Schedule(key, timer, nowNs + timer.period);
        fire(key.first, key.second);
    }
}

void CTimerQueue::Schedule(const Key& key, STimer& timer, int64_t deadline)
{
    timer.deadline = deadline;
    timer.order = m_nextOrder++;
    m_byDeadline.emplace(timer.deadline, timer.order, key);
}
