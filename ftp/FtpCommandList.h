#pragma once

#include <cstdint>
#include <string_view>

#include "lib/Vxlist.h"

class CFtpControl;
struct CFtpMessage;

// The commands waiting for the control connection, oldest first; it owns them.
class CFtpCommandList final {
public:
    explicit CFtpCommandList(CFtpControl& control);
    ~CFtpCommandList();
    CFtpCommandList(const CFtpCommandList&) = delete;
    CFtpCommandList& operator=(const CFtpCommandList&) = delete;

    // Queues "word[ argument]\r\n" (or the placeholder for an empty word), then SendNext.
    // False when no memory could be had.
    bool Add(std::string_view word, std::string_view argument, uint8_t id, std::string_view localFile = {});
    // Sends the head command when the engine is idle on an open connection.
    void SendNext();
    void Clear();

    bool IsEmpty() const { return m_list.IsEmpty(); }
    uint8_t HeadId();

private:
    CFtpControl& m_control;
    CVxList m_list{10};
};
