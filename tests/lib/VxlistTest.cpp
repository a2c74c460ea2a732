#include "lib/Vxlist.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(VxList, AllocatesOneBlockPerBlockSizeNodesAndRecyclesThem)
{
    CVxList list(10);
    int items[20];
    for (int i = 0; i < 11; ++i)
        list.AddTail(&items[i]);
    EXPECT_EQ(2, list.BlockCount());
    EXPECT_EQ(11, list.GetCount());
    while (!list.IsEmpty())
        list.RemoveHead();
    for (int i = 0; i < 20; ++i)
        list.AddTail(&items[i]);
    EXPECT_EQ(2, list.BlockCount());
    list.RemoveAll();
    EXPECT_EQ(0, list.BlockCount());
    list.AddTail(&items[0]);
    EXPECT_EQ(1, list.BlockCount());
    list.RemoveAll();
}

TEST(VxList, KeepsFifoOrderAcrossRecycling)
{
    CVxList list(3);
    int items[8];
    std::vector<void*> out;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 8; ++i)
            list.AddTail(&items[i]);
        list.RemoveHead();
        list.AddTail(&items[0]);
        out.clear();
        while (!list.IsEmpty())
            out.push_back(list.RemoveHead());
        ASSERT_EQ(8u, out.size());
        for (int i = 1; i < 8; ++i)
            EXPECT_EQ(&items[i], out[static_cast<size_t>(i - 1)]);
        EXPECT_EQ(&items[0], out[7]);
    }
    EXPECT_EQ(3, list.BlockCount());
}

TEST(VxList, RemovingTheOnlyElementEmptiesTheList)
{
    CVxList list(10);
    int item = 0;
    list.AddTail(&item);
    EXPECT_EQ(&item, list.GetHead());
    list.GetHead() = nullptr;  // the head reference is writable
    EXPECT_EQ(nullptr, list.RemoveHead());
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(0, list.GetCount());
    list.AddTail(&item);
    EXPECT_EQ(&item, list.RemoveHead());
}

TEST(VxListDeathTest, PreconditionsStopTheProgram)
{
    EXPECT_DEATH(
        {
            CVxList list(10);
            list.RemoveHead();
        },
        "m_pNodeHead != NULL");
    EXPECT_DEATH(
        {
            CVxList list(10);
            list.GetHead();
        },
        "m_pNodeHead != NULL");
    EXPECT_DEATH({ CVxList list(0); }, "nBlockSize > 0");
}

TEST(VxListDeathTest, CountOverflowStopsInsteadOfWrapping)
{
    EXPECT_DEATH(
        {
            CVxList list(4096);
            int item = 0;
            for (int i = 0; i < 65536; ++i)
                list.AddTail(&item);
        },
        "m_nCount > 0");
}

}  // namespace
