#include "lib/TimerQueue.h"

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Runs a script against one queue on a clock of its own; returns what fired, in order, and
// what `next` saw. Timers are named by target and id: "a1" is id 1 of target a; "A" is the
// target that reuses a's slot with a new generation.
//   at T          the clock reads T
//   set X P       set (or restart) timer X with period P
//   kill X        kill X; killall T kills every timer of target T
//   on X C, C...  when X fires next, run the commands C (once)
//   expire        expire what is due now
//   next          the next deadline ("next=T" or "next=never")
class CScript {
public:
    std::string Run(const std::string& script)
    {
        std::istringstream steps(script);
        std::string step;
        while (std::getline(steps, step, ';'))
            Command(step);
        return m_out.str();
    }

private:
    static TargetHandle Target(char name)
    {
        const bool renewed = name >= 'A' && name <= 'Z';
        return TargetHandle{static_cast<uint32_t>((renewed ? name - 'A' : name - 'a')), renewed ? 2u : 1u};
    }
    static std::string Name(TargetHandle target, uintptr_t id)
    {
        const char letter =
            static_cast<char>((target.generation == 2 ? 'A' : 'a') + static_cast<char>(target.index));
        return letter + std::to_string(id);
    }

    void Command(const std::string& text)
    {
        std::istringstream words(text);
        std::string verb, name;
        words >> verb;
        if (verb == "on") {
            words >> name;
            std::string rest;
            std::getline(words, rest);
            m_actions[name] = rest;
            return;
        }
        if (verb == "at") {
            words >> m_now;
        } else if (verb == "set") {
            int64_t period = 0;
            words >> name >> period;
            m_queue.Set(Target(name[0]), std::stoul(name.substr(1)), period, m_now);
        } else if (verb == "kill") {
            words >> name;
            m_queue.Kill(Target(name[0]), std::stoul(name.substr(1)));
        } else if (verb == "killall") {
            words >> name;
            m_queue.KillAll(Target(name[0]));
        } else if (verb == "expire") {
            m_queue.Expire(m_now, [this](TargetHandle target, uintptr_t id) { Fired(Name(target, id)); });
        } else if (verb == "next") {
            const int64_t next = m_queue.NextDeadline();
            Say(next == CTimerQueue::kNever ? "next=never" : "next=" + std::to_string(next));
        } else if (!verb.empty()) {
            ADD_FAILURE() << "unknown step: " << text;
        }
    }

    void Fired(const std::string& name)
    {
        Say(name);
        const auto action = m_actions.find(name);
        if (action == m_actions.end())
            return;
        const std::string commands = action->second;
        m_actions.erase(action);
        std::istringstream steps(commands);
        std::string step;
        while (std::getline(steps, step, ','))
            Command(step);
    }

    void Say(const std::string& text) { m_out << (m_out.tellp() > 0 ? " " : "") << text; }

    CTimerQueue m_queue;
    int64_t m_now = 0;
    std::map<std::string, std::string> m_actions;
    std::ostringstream m_out;
};

TEST(TimerQueue, Scripts)
{
    const struct {
        const char* what;
        const char* script;
        const char* seen;
    } cases[] = {
        {"earliest deadline first", "set a1 30; set b1 10; set c1 20; at 30; expire", "b1 c1 a1"},
        {"equal deadlines in the order they were set", "set c1 10; set a1 10; set b2 10; at 10; expire",
         "c1 a1 b2"},
        {"nothing before its deadline", "set a1 10; at 9; expire; next; at 10; expire; next",
         "next=10 a1 next=20"},
        {"a late timer fires once and counts its period from now", "set a1 10; at 35; expire; next",
         "a1 next=45"},
        {"setting again restarts and takes the new period",
         "set a1 10; at 5; set a1 20; at 10; expire; at 25; expire; next", "a1 next=45"},
        {"ids and targets are separate timers", "set a1 10; set a2 10; set b1 10; kill a1; at 10; expire",
         "a2 b1"},
        {"a killed timer is gone", "set a1 10; kill a1; kill a1; next; at 10; expire", "next=never"},
        {"killall takes one target, not its slot's next generation",
         "set a1 10; set a2 10; set A1 10; set b1 10; killall a; at 10; expire", "A1 b1"},
        {"a timer killed by an earlier one in the same pass does not fire",
         "set a1 10; set b1 10; set c1 10; on a1 kill b1; at 10; expire", "a1 c1"},
        {"a timer that kills itself stops", "set a1 10; on a1 kill a1; at 10; expire; next; at 20; expire",
         "a1 next=never"},
        {"a timer restarted by an earlier one moves back",
         "set a1 10; set b1 10; on a1 set b1 5; at 10; expire; next", "a1 next=15"},
        {"a timer set during a pass waits for the next pass, even when due",
         "set a1 10; on a1 at 0, set b1 5, at 10; at 10; expire; next; expire", "a1 next=5 b1"},
        {"a zero period still advances", "set a1 0; at 1; expire; expire; next", "a1 next=2"},
    };
    for (const auto& c : cases) {
        CScript script;
        EXPECT_EQ(c.seen, script.Run(c.script)) << c.what;
    }
}

}  // namespace
