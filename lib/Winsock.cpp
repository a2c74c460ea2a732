#include "lib/Winsock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/ErrorText.h"

#ifndef VOLTTCP_LIB_VERSION
#define VOLTTCP_LIB_VERSION "0"
#endif

namespace {

// Process-wide state, guarded by the library lock.
struct Registry {
    bool classRegistered = false;
    int objectCount = 0;
    CWinsock* pumping = nullptr;
    bool destroyedWhilePumping = false;
    CStartupData startup;
    char localHostName[64] = {};
    char localAddress[16] = {};
    CHostEntry localHostRecord;
};

Registry& Shared()
{
    static Registry registry;
    return registry;
}

}  // namespace

std::recursive_mutex& CWinsock::LibraryLock()
{
    static std::recursive_mutex lock;
    return lock;
}

int CWinsock::ObjectCount()
{
    std::lock_guard guard(LibraryLock());
    return Shared().objectCount;
}

const CStartupData& CWinsock::StartupData()
{
    return Shared().startup;
}
const char* CWinsock::LocalHostName()
{
    return Shared().localHostName;
}
const char* CWinsock::LocalAddressText()
{
    return Shared().localAddress;
}
const CHostEntry& CWinsock::LocalHostRecord()
{
    return Shared().localHostRecord;
}

CWinsock::CWinsock()
{
    std::lock_guard guard(LibraryLock());
    Shared().classRegistered = true;
    ++Shared().objectCount;
}

CWinsock::~CWinsock()
{
    m_quiet = true;
    *m_alive = false;
    std::lock_guard guard(LibraryLock());
    Registry& shared = Shared();
    --shared.objectCount;
    if (shared.pumping == this)
        shared.destroyedWhilePumping = true;
    ReleaseWindow();
    CloseTraceFile();
    if (m_started)
        WsCleanup();
    if (shared.objectCount == 0)
        shared.classRegistered = false;
}

const char* CWinsock::StateText(uint8_t state)
{
    switch (state) {
    case Closed: return "Closed";
    case Connecting: return "Connecting";
    case Connected: return "Connected";
    case Closing: return "Closing";
    default: return "";
    }
}

bool CWinsock::CreateNotifyWindow(const CWinsock* startedBy)
{
    ReleaseWindow();
    std::lock_guard guard(LibraryLock());
    m_window = std::make_unique<CNotifyWindow>(
        [this](uint32_t message, uintptr_t wParam, intptr_t lParam) { WindowProc(message, wParam, lParam); });
    m_window->SetTitle(Shared().localHostName);
    const std::string stars(65, '*');
    Trace(stars.c_str());
    Trace("VoltTCP Socket Library Version " VOLTTCP_LIB_VERSION);
    Trace(stars.c_str());
    SetTitle(StateText(m_state));
    const bool joined = startedBy && startedBy->m_started && !(m_flags & (kFlagTrace | kFlagTraceLines));
    if (!m_started && !joined && !StartInterface())
        return false;
    if (Shared().localAddress[0] == '\0' && m_localRequest == 0)
        m_localRequest =
            WsAsyncGetHostByName(kMsgLocalHost, Shared().localHostName, &Shared().localHostRecord);
    return true;
}

void CWinsock::ReleaseWindow()
{
    if (m_remoteRequest) {
        WsCancelAsyncRequest(m_remoteRequest);
        m_remoteRequest = 0;
    }
    if (m_localRequest) {
        WsCancelAsyncRequest(m_localRequest);
        m_localRequest = 0;
    }
    m_hostRecord.reset();
    m_hostName.reset();
    m_largeBuffer.reset();
    m_largeCapacity = 0;
    std::unique_ptr<CNotifyWindow> window = std::move(m_window);
    window.reset();
}

bool CWinsock::StartInterface()
{
    Registry& shared = Shared();
    shared.startup = CStartupData{};
    if (WsStartup(0x0101, &shared.startup) != 0)
        return false;
    m_started = true;
    const CStartupData& data = shared.startup;
    if (data.version != 0x0101) {
        TraceF("  Windows Sockets version %d.%d not supported", data.version & 0xFF, data.version >> 8);
        OnError(ExcSystem, "WINSOCK version not supported");
        return false;
    }
    if (shared.localHostName[0] == '\0') {
        if (WsGetHostName(shared.localHostName, sizeof shared.localHostName) != 0) {
            std::snprintf(shared.localHostName, sizeof shared.localHostName, "Unknown");
            std::snprintf(shared.localAddress, sizeof shared.localAddress, "127.1.1.1");
        }
        shared.localHostName[sizeof shared.localHostName - 1] = '\0';
    }
    if (shared.localHostName[0])
        TraceF("  Local Host Name: %s", shared.localHostName);
    else
        Trace("  Local Host Name Not Present");
    TraceF("  WINSOCK interface: %.256s", data.description);
    TraceF("  System Status: %.128s", data.systemStatus);
    TraceF("  Windows Sockets Version: %d.%d", data.version & 0xFF, data.version >> 8);
    if (data.maxUdpDg != 0)
        TraceF("  Max bytes for a UDP datagram: %u", data.maxUdpDg);
    TraceF("  Max number of open sockets: %u", data.maxSockets);
    return true;
}

void CWinsock::Trace(const char* text)
{
    if (!(m_flags & (kFlagTrace | kFlagTraceLines)) || !m_window)
        return;
    CTraceView& view = m_window->TraceView();
    if (view.LineCount() > 400)
        view.Clear();
    view.AppendLine(text);
}

void CWinsock::TraceF(const char* format, ...)
{
    if (!(m_flags & (kFlagTrace | kFlagTraceLines)) || !m_window)
        return;
    char line[515];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Trace(line);
}

void CWinsock::SetTitle(const char* text)
{
    if (m_window)
        m_window->SetTitle(text);
}

void CWinsock::ShowIfTracing()
{
    if ((m_flags & (kFlagTrace | kFlagTraceLines)) && m_window)
        m_window->ShowMinimized();
}

bool CWinsock::PumpPending()
{
    std::unique_lock guard(LibraryLock());
    Registry& shared = Shared();
    if (shared.pumping != nullptr)
        return true;
    shared.pumping = this;
    CMessageLoop::Instance().Pump();
    shared.pumping = nullptr;
    if (shared.destroyedWhilePumping) {
        shared.destroyedWhilePumping = false;
        return false;
    }
    return true;
}

void CWinsock::PostSelf(uint32_t event)
{
    if (m_window)
        m_window->Post(kMsgSocket, static_cast<uintptr_t>(m_socket), MakeSelectLParam(event, 0));
}

void CWinsock::ReportSocketError(int error)
{
    if (error == kWsaReported)
        return;
    const char* text = nullptr;
    const uint8_t code = ErrorText(error, &text);
    OnError(code, text);
}

void CWinsock::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case kMsgTimer:
        if (wParam == kListenTimerId)
            Close(true);
        else
            OnTimer(wParam);
        break;
    case kMsgClose: Close(true); break;
    case kMsgRemoteHost: {
        const int error = SelectError(lParam);
        uint32_t address = 0;
        if (m_hostRecord) {
            if (error == 0 && !m_hostRecord->addresses.empty())
                address = m_hostRecord->addresses.front();
            m_hostRecord.reset();
            m_hostName.reset();
            m_remoteRequest = 0;
        }
        OnHostResolved(error, address);
        break;
    }
    case kMsgSocket: {
        if (m_socket == -1)
            break;
        const int error = SelectError(lParam);
        if (error != 0) {
            ReportSocketError(error);
            break;
        }
        switch (SelectEvent(lParam)) {
        case kFdRead:
        case kFdOob: OnReceive(false); break;
        case kFdWrite: OnWriteReady(); break;
        case kFdAccept: OnAccept(); break;
        case kFdConnect: OnConnect(); break;
        case kFdClose: OnReceive(true); break;
        default: break;
        }
        break;
    }
    case kMsgLocalHost: {
        const int error = SelectError(lParam);
        char line[64];
        {
            std::lock_guard guard(LibraryLock());
            Registry& shared = Shared();
            uint32_t address = 0;
            if (error == 0 && !shared.localHostRecord.addresses.empty())
                address = shared.localHostRecord.addresses.front();
            else
                shared.localHostRecord.addresses.clear();
            std::snprintf(shared.localAddress, sizeof shared.localAddress, "%s", FormatDotted(address));
            std::snprintf(line, sizeof line, "  Local Host Addr: %s (%ul)", shared.localAddress, address);
        }
        Trace(line);
        m_localRequest = 0;
        OnLocalHostResolved();
        break;
    }
    default: break;
    }
}

void CWinsock::OpenTraceFile()
{
    char name[16];
    int number = 0;
    for (; number < 100; ++number) {
        std::snprintf(name, sizeof name, "VTCP%d.DBG", number);
        if (access(name, F_OK) != 0)
            break;
    }
    if (number == 100)
        std::snprintf(name, sizeof name, "VTCP%d.DBG", 99);
    Trace("Debug flag SET!");
    CloseTraceFile();  // one file per opening
    m_traceFile = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_traceFile >= 0) {
        char* path = realpath(name, nullptr);
        TraceF("  %s will be filled with debug data", path ? path : name);
        std::free(path);
    } else {
        TraceF("  Failed to create debuf file %s", name);
    }
}

void CWinsock::CloseTraceFile()
{
    if (m_traceFile >= 0) {
        close(m_traceFile);
        m_traceFile = -1;
    }
}

void CWinsock::RecordTraffic(bool outgoing, const char* data, size_t count)
{
    if (m_traceFile < 0)
        return;
    iovec parts[2];
    parts[0].iov_base = const_cast<char*>(outgoing ? "\r\n---> " : "\r\n<--- ");
    parts[0].iov_len = 7;
    parts[1].iov_base = const_cast<char*>(data);
    parts[1].iov_len = count;
    const ssize_t written = writev(m_traceFile, parts, 2);
    const int saved = written > 7 ? static_cast<int>(written - 7) : 0;
    if (outgoing)
        TraceF("  %d bytes sent, %d bytes saved in debug file", static_cast<int>(count), saved);
    else
        TraceF("  %d bytes received, %d bytes saved in debug file", static_cast<int>(count), saved);
}

CWinsock::CLocalAddresses::CLocalAddresses()
{
    // The host name's entry alone often holds only a loopback address: the interfaces that
    // are up say where the machine can be reached. Loopback goes last, each address once.
    // A host name that could not be looked up still leaves the list empty.
    std::vector<uint32_t> addresses;
    {
        std::lock_guard guard(LibraryLock());
        addresses = Shared().localHostRecord.addresses;
    }
    const CSocketBinding& binding = SocketBinding();
    ifaddrs* interfaces = nullptr;
    if (!addresses.empty() && binding.getifaddrs && binding.getifaddrs(&interfaces) == 0) {
        std::vector<uint32_t> up;
        for (const ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
            if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && (entry->ifa_flags & IFF_UP)) {
                sockaddr_in address;
                std::memcpy(&address, entry->ifa_addr, sizeof address);
                up.push_back(address.sin_addr.s_addr);
            }
        }
        if (binding.freeifaddrs)
            binding.freeifaddrs(interfaces);
        addresses.insert(addresses.begin(), up.begin(), up.end());
    }
    const auto loopback = [](uint32_t address) { return (ntohl(address) >> 24) == 127; };
    std::stable_partition(addresses.begin(), addresses.end(), [&](uint32_t a) { return !loopback(a); });
    for (uint32_t address : addresses) {
        if (m_texts.size() == kMaxLocalAddresses)
            break;
        std::string text = FormatDotted(address);
        if (std::find(m_texts.begin(), m_texts.end(), text) == m_texts.end())
            m_texts.push_back(std::move(text));
    }
    for (const std::string& text : m_texts)
        m_list.push_back(text.c_str());
    m_list.push_back("");
    m_list.push_back(nullptr);
}
