#include "lib/Vxlist.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

// Preconditions hold in every build: a wrapped count would corrupt the queue silently.
#define VXLIST_REQUIRE(expression)                                                                  \
    do {                                                                                            \
        if (!(expression)) {                                                                        \
            std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", #expression, __FILE__, \
                         __LINE__);                                                                 \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)

CVxList::CVxList(int nBlockSize) : m_nBlockSize(nBlockSize)
{
    VXLIST_REQUIRE(nBlockSize > 0);
}

CVxList::~CVxList()
{
    RemoveAll();
    VXLIST_REQUIRE(m_nCount == 0);
}

void*& CVxList::GetHead()
{
    VXLIST_REQUIRE(m_pNodeHead != NULL);
    return m_pNodeHead->data;
}

CVxList::CNode* CVxList::AddTail(void* data)
{
    CNode* node = NewNode(m_pNodeTail, nullptr);
    node->data = data;
    if (m_pNodeTail)
        m_pNodeTail->pNext = node;
    else
        m_pNodeHead = node;
    m_pNodeTail = node;
    return node;
}

void* CVxList::RemoveHead()
{
    VXLIST_REQUIRE(m_pNodeHead != NULL);
    CNode* old = m_pNodeHead;
    void* data = old->data;
    m_pNodeHead = old->pNext;
    if (m_pNodeHead)
        m_pNodeHead->pPrev = nullptr;
    else
        m_pNodeTail = nullptr;
    FreeNode(old);
    return data;
}

void CVxList::RemoveAll()
{
    m_nCount = 0;
    m_pNodeHead = m_pNodeTail = m_pNodeFree = nullptr;
    while (m_pBlocks) {
        CBlock* next = m_pBlocks->pNext;
        ::operator delete(m_pBlocks);
        m_pBlocks = next;
    }
}

int CVxList::BlockCount() const
{
    int count = 0;
    for (const CBlock* block = m_pBlocks; block; block = block->pNext)
        ++count;
    return count;
}

CVxList::CNode* CVxList::NewNode(CNode* pPrev, CNode* pNext)
{
    if (!m_pNodeFree) {
        const int nMax = m_nBlockSize;
        const int cbElement = static_cast<int>(sizeof(CNode));
        VXLIST_REQUIRE(nMax > 0 && cbElement > 0);
        const size_t bytes = sizeof(CBlock) + static_cast<size_t>(nMax) * sizeof(CNode);
        static_assert(sizeof(CBlock) % alignof(CNode) == 0);
        auto* block = static_cast<CBlock*>(::operator new(bytes));
        block->pNext = m_pBlocks;
        block->nodes = static_cast<uint32_t>(nMax);
        block->reserved = 0;
        m_pBlocks = block;
        // CBlock is 16 bytes, so the nodes that follow it stay pointer-aligned.
        auto* nodes = reinterpret_cast<CNode*>(block + 1);
        for (int i = nMax - 1; i >= 0; --i) {
            nodes[i].pNext = m_pNodeFree;
            m_pNodeFree = &nodes[i];
        }
    }
    VXLIST_REQUIRE(m_pNodeFree != NULL);
    CNode* node = m_pNodeFree;
    m_pNodeFree = m_pNodeFree->pNext;
    node->pPrev = pPrev;
    node->pNext = pNext;
    ++m_nCount;
    VXLIST_REQUIRE(m_nCount > 0);
    node->data = nullptr;
    return node;
}

void CVxList::FreeNode(CNode* node)
{
    node->pNext = m_pNodeFree;
    m_pNodeFree = node;
    --m_nCount;
}
