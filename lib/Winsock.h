#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lib/MessageLoop.h"
#include "lib/NotifyWindow.h"
#include "lib/Session.h"
#include "lib/SocketBinding.h"

// A missing function was reported already; callers must not report the failure again.
constexpr int kWsaReported = -1;

// Base of the stream and datagram sessions: the socket calls, the session's notification
// window, its trace and the process-wide registry that decides when the interface is released.
class CWinsock {
public:
    using State = session::EState;
    using enum session::EState;

    CWinsock();
    virtual ~CWinsock();
    CWinsock(const CWinsock&) = delete;
    CWinsock& operator=(const CWinsock&) = delete;

    // Slots, in order.
    virtual bool Close(bool abort) = 0;
    virtual void OnHostResolved(int error, uint32_t address) = 0;
    virtual void OnConnect() {}
    virtual void OnAccept() {}
    virtual void OnReceive(bool closing) = 0;
    virtual void OnWriteReady() = 0;
    virtual void OnError(uint8_t code, const char* text) = 0;
    virtual void OnLocalHostResolved() = 0;
    // A timer of the session's own; the listening time-out is handled before it.
    virtual void OnTimer(uintptr_t /*id*/) {}

    uint8_t GetState() const { return m_state; }
    int Socket() const { return m_socket; }
    CNotifyWindow* Window() const { return m_window.get(); }

    static int ObjectCount();
    static std::recursive_mutex& LibraryLock();
    static const CStartupData& StartupData();
    static const char* LocalHostName();
    static const char* LocalAddressText();
    static const CHostEntry& LocalHostRecord();

protected:
    // A session created by a started one (an accepted connection) shares its start-up, which
    // would otherwise cost a call for each connection; a traced one repeats it for its trace.
    bool CreateNotifyWindow(const CWinsock* startedBy = nullptr);
    void ReleaseWindow();
    void Trace(const char* text);
    void TraceF(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void SetTitle(const char* text);
    void ShowIfTracing();
    bool PumpPending();
    void PostSelf(uint32_t event);
    void ReportSocketError(int error);
    static const char* StateText(uint8_t state);

    // Trace file VTCP<n>.DBG: the first free number from 0 to 99 in the working directory.
    void OpenTraceFile();
    void CloseTraceFile();
    // One record per successful send or recv: "\r\n---> " or "\r\n<--- ", then the bytes.
    void RecordTraffic(bool outgoing, const char* data, size_t count);
    // The local host's addresses as OnStackInfo hands them on: dotted texts (at most 48),
    // then an empty text and a null end marker. Lives as long as the event that uses it.
    class CLocalAddresses final {
    public:
        static constexpr size_t kMaxLocalAddresses = 48;
        CLocalAddresses();
        CLocalAddresses(const CLocalAddresses&) = delete;
        CLocalAddresses& operator=(const CLocalAddresses&) = delete;
        const char* const* List() const { return m_list.data(); }

    private:
        std::vector<std::string> m_texts;
        std::vector<const char*> m_list;
    };

    // The socket calls; a missing function is reported here as ExcInterface.
    int WsAccept(int fd, sockaddr_in* address);
    int WsBind(int fd, const sockaddr_in& address);
    int WsCloseSocket(int fd);
    int WsConnect(int fd, const sockaddr_in& address);
    int WsGetPeerName(int fd, sockaddr_in* address);
    int WsGetSockName(int fd, sockaddr_in* address);
    uint16_t WsHtons(uint16_t value);
    uint32_t WsInetAddr(const char* text);
    int WsIoctlSocket(int fd, unsigned long command, int* argument);
    int WsListen(int fd, int backlog);
    uint16_t WsNtohs(uint16_t value);
    ssize_t WsRecv(int fd, char* buffer, size_t length, int flags);
    ssize_t WsRecvFrom(int fd, char* buffer, size_t length, int flags, sockaddr_in* from);
    ssize_t WsSend(int fd, const char* buffer, size_t length, int flags);
    ssize_t WsSendTo(int fd, const char* buffer, size_t length, int flags, const sockaddr_in& to);
    int WsSetSockOpt(int fd, int level, int option, const void* value, socklen_t length);
    int WsSocket(int family, int type, int protocol);
    int WsGetHostName(char* name, size_t length);
    int WsAsyncSelect(int fd, uint32_t events);
    uint32_t WsAsyncGetHostByName(uint32_t message, const char* name, CHostEntry* entry);
    int WsCancelAsyncRequest(uint32_t request);
    int WsStartup(uint16_t version, CStartupData* data);
    int WsCleanup();

    bool m_started = false;
    std::unique_ptr<CHostEntry> m_hostRecord;
    std::unique_ptr<std::string> m_hostName;
    uint32_t m_localRequest = 0;
    uint32_t m_remoteRequest = 0;
    int m_socket = -1;
    uint8_t m_state = Closed;
    std::unique_ptr<CNotifyWindow> m_window;
    uint8_t m_flags = 0;
    std::unique_ptr<char[]> m_largeBuffer;
    uint32_t m_largeCapacity = 0;
    int m_traceFile = -1;

    // Cleared by the destructor: code that raised an event checks it before touching fields.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // Set by destructors: nothing is reported from there.
    bool m_quiet = false;

private:
    void WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam);
    bool StartInterface();
    void NotFound(const char* text);
};
