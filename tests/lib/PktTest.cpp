#include "lib/Pkt.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(Pkt, KeepsSmallDataInlineAndLargeDataInOneReusedBuffer)
{
    struct Case {
        uint32_t length;
        uint32_t capacityAfter;
    };
    // Lengths in the order one packet is set again and again.
    const Case cases[] = {{0, 0},       {1, 0},       {516, 0},    {517, 517},
                          {4096, 4096}, {1000, 4096}, {516, 4096}, {5000, 5000}};
    CPkt packet;
    for (const Case& c : cases) {
        const std::string data(c.length, static_cast<char>('a' + c.length % 26));
        EXPECT_EQ(c.length, packet.Set(c.length, data.data(), c.length % 2 == 1, c.length + 1)) << c.length;
        EXPECT_EQ(c.capacityAfter, packet.Capacity()) << c.length;
        EXPECT_EQ(c.length, packet.Remaining());
        EXPECT_EQ(c.length + 1, packet.Tag());
        EXPECT_EQ(c.length % 2 == 1, packet.IsOutOfBand());
        EXPECT_EQ(data, std::string(packet.Current(), packet.Remaining()));
    }
}

TEST(Pkt, AdvanceWalksThroughTheBytes)
{
    CPkt packet;
    const std::string data = std::string(600, 'x') + "tail";
    packet.Set(static_cast<uint32_t>(data.size()), data.data(), false, 0);
    packet.Advance(600);
    EXPECT_EQ(4u, packet.Remaining());
    EXPECT_EQ("tail", std::string(packet.Current(), 4));
    packet.Advance(4);
    EXPECT_EQ(0u, packet.Remaining());
    packet.Set(3, "abc", false, 0);  // setting again starts from the first byte
    EXPECT_EQ("abc", std::string(packet.Current(), packet.Remaining()));
}

}  // namespace
