#pragma once

#include <cstdint>

// The queue of the library: a doubly linked list of untyped pointers whose nodes come from
// blocks allocated a few at a time and are recycled, so a busy queue does not allocate.
// The list never owns what its elements point to.
class CVxList final {
public:
    struct CNode {
        CNode* pNext;
        CNode* pPrev;
        void* data;
    };

    explicit CVxList(int nBlockSize = 10);
    ~CVxList();
    CVxList(const CVxList&) = delete;
    CVxList& operator=(const CVxList&) = delete;

    bool IsEmpty() const { return m_nCount == 0; }
    uint16_t GetCount() const { return m_nCount; }
    void*& GetHead();
    CNode* AddTail(void* data);
    void* RemoveHead();
    void RemoveAll();

    // Blocks allocated since construction (they are released only together).
    int BlockCount() const;

private:
    struct CBlock {
        CBlock* pNext;
        uint32_t nodes;
        uint32_t reserved;
    };

    CNode* NewNode(CNode* pPrev, CNode* pNext);
    void FreeNode(CNode* node);

    CNode* m_pNodeHead = nullptr;
    CNode* m_pNodeTail = nullptr;
    uint16_t m_nCount = 0;
    CNode* m_pNodeFree = nullptr;
    CBlock* m_pBlocks = nullptr;
    int m_nBlockSize;
};
