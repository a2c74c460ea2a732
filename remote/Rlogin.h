#pragma once

#include "remote/Rbase.h"

// Remote login: an interactive session whose echo and output go to the display unchanged;
// the program sends the keys typed into the display through Send.
class CRloginClient final : public CBaseClient {
public:
    // The terminal field, with no speed.
    static constexpr const char* kTerminal = "TTY";

    explicit CRloginClient(IRemoteView& view) : CBaseClient(view) {}

    // A NUL, the user name as the local and as the remote user, and the terminal field. The
    // server answers nothing until it has all of it, so it all goes out at once; the server's
    // NUL then acknowledges it.
    static std::string StartupMessage(const std::string& user);

    // The server's NUL has arrived since the connection was established.
    bool Acknowledged() const { return m_acknowledged; }

    // The server's control bytes: sent urgent, they arrive inline and always start a block.
    // Each carries the window-size request, perhaps with the flush and flow-control bits.
    static constexpr unsigned char kControlFlush = 0x02;
    static constexpr unsigned char kControlNoFlow = 0x10;
    static constexpr unsigned char kControlFlow = 0x20;
    static constexpr unsigned char kControlWindowSize = 0x80;
    static bool IsControlByte(unsigned char byte)
    {
        constexpr unsigned char kOtherBits =
            static_cast<unsigned char>(~(kControlFlush | kControlNoFlow | kControlFlow | kControlWindowSize));
        return (byte & kControlWindowSize) && (byte & kOtherBits) == 0;
    }

protected:
    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* localHostName) override;
    void OnReceive(const char* data, uint32_t length) override;

private:
    void Show(const char* data, uint32_t length);

    bool m_acknowledged = false;
    // The last block ended inside a multi-byte character: a leading byte with the high bit set
    // continues it and is no control byte.
    bool m_characterOpen = false;
};
