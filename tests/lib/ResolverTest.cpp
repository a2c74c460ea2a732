#include "lib/Resolver.h"

#include <arpa/inet.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// A resolver on its own: local names are answered inside Start, so every case runs without
// a loop or a name server. What it posts is recorded as "message:request:error".
struct CResolverFixture {
    std::vector<std::string> posted;
    CResolver resolver{CResolver::SHooks{
        [](int, bool, bool) {},
        [this](TargetHandle, uint32_t message, uint32_t request, int error) {
            posted.push_back(std::to_string(message) + ":" + std::to_string(request) + ":" +
                             std::to_string(error));
        },
    }};
};

TEST(Resolver, AnswersReachTheEntryOnlyIfStillWantedAtDelivery)
{
    const TargetHandle owner{3, 1};
    const TargetHandle other{4, 1};
    const TargetHandle sameSlotLater{3, 2};
    enum EStep { kNothing, kCancel, kCancelAll, kCancelAllOther, kCancelAllSameSlotLater, kCompleteTwice };
    const struct {
        const char* what;
        EStep step;
        bool delivered;
    } cases[] = {
        {"delivered", kNothing, true},
        {"cancelled between answer and delivery", kCancel, false},
        {"its target went away", kCancelAll, false},
        {"another target went away", kCancelAllOther, true},
        {"the slot's next generation went away", kCancelAllSameSlotLater, true},
        {"delivered once only", kCompleteTwice, true},
    };
    for (const auto& c : cases) {
        CResolverFixture f;
        CHostEntry entry;
        const uint32_t request = f.resolver.Start(owner, 2025, "localhost", &entry);
        ASSERT_NE(0u, request) << c.what;
        ASSERT_EQ(std::vector<std::string>{"2025:" + std::to_string(request) + ":0"}, f.posted) << c.what;
        EXPECT_TRUE(entry.addresses.empty()) << c.what << ": nothing is written before delivery";
        switch (c.step) {
        case kCancel: EXPECT_TRUE(f.resolver.Cancel(request)) << c.what; break;
        case kCancelAll: f.resolver.CancelAll(owner); break;
        case kCancelAllOther: f.resolver.CancelAll(other); break;
        case kCancelAllSameSlotLater: f.resolver.CancelAll(sameSlotLater); break;
        case kNothing:
        case kCompleteTwice: break;
        }
        EXPECT_EQ(c.delivered, f.resolver.Complete(request)) << c.what;
        EXPECT_EQ(c.delivered ? std::vector<uint32_t>{htonl(INADDR_LOOPBACK)} : std::vector<uint32_t>{},
                  entry.addresses)
            << c.what;
        if (c.step == kCompleteTwice) {
            entry.addresses.clear();
            EXPECT_FALSE(f.resolver.Complete(request)) << c.what;
            EXPECT_TRUE(entry.addresses.empty()) << c.what;
        }
        EXPECT_FALSE(f.resolver.Cancel(request)) << c.what << ": nothing left to cancel";
    }
}

TEST(Resolver, RequestsAreDistinctAndNeverZero)
{
    CResolverFixture f;
    CHostEntry entry;
    const uint32_t first = f.resolver.Start({1, 1}, 2025, "localhost", &entry);
    const uint32_t second = f.resolver.Start({1, 1}, 2028, "localhost", nullptr);
    EXPECT_NE(0u, first);
    EXPECT_NE(first, second);
    EXPECT_EQ(2u, f.posted.size());
    EXPECT_TRUE(f.resolver.Complete(second)) << "an answer without an entry is still delivered";
    EXPECT_EQ(CResolver::kNever, f.resolver.NextDeadline(0)) << "no question is open";
}

}  // namespace
