#include "lib/Resolver.h"

#include <ares.h>
#include <arpa/inet.h>
#include <netdb.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "lib/ErrorText.h"

namespace {

int LookupError(int status, const hostent* host)
{
    switch (status) {
    case ARES_SUCCESS: return host && host->h_addr_list && host->h_addr_list[0] ? 0 : kWsaNoData;
    case ARES_ENOTFOUND: return kWsaHostNotFound;
    case ARES_ENODATA: return kWsaNoData;
    case ARES_ETIMEOUT:
    case ARES_ECONNREFUSED:
    case ARES_ESERVFAIL: return kWsaTryAgain;
    case ARES_ENOMEM: return kWsaNoBufs;
    default: return kWsaNoRecovery;
    }
}

// "localhost" and names below it always mean this machine, also where the hosts file does
// not say so (a minimal container); asking a name server for them would only time out.
bool IsLocalhostName(const char* name)
{
    std::string_view text(name);
    if (!text.empty() && text.back() == '.')
        text.remove_suffix(1);
    constexpr std::string_view kLocal = "localhost";
    if (text.size() < kLocal.size())
        return false;
    const std::string_view tail = text.substr(text.size() - kLocal.size());
    const bool isLocal =
        std::equal(tail.begin(), tail.end(), kLocal.begin(), [](char a, char b) { return (a | 0x20) == b; });
    return isLocal && (text.size() == kLocal.size() || text[text.size() - kLocal.size() - 1] == '.');
}

}  // namespace

CResolver::CResolver(SHooks hooks) : m_hooks(std::move(hooks))
{}

CResolver::~CResolver()
{
    if (m_channel) {
        ares_destroy(m_channel);  // every open call ends in DoneCb with ARES_EDESTRUCTION
        ares_library_cleanup();
    }
}

bool CResolver::EnsureChannel()
{
    if (m_channel || m_failed)
        return m_channel != nullptr;
    if (ares_library_init(ARES_LIB_INIT_ALL) != ARES_SUCCESS) {
        m_failed = true;
        return false;
    }
    ares_options options{};
    options.sock_state_cb = &CResolver::SocketStateCb;
    options.sock_state_cb_data = this;
    options.timeout = 2000;
    options.tries = 2;
    const int mask = ARES_OPT_SOCK_STATE_CB | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES;
    if (ares_init_options(&m_channel, &options, mask) != ARES_SUCCESS) {
        m_channel = nullptr;
        m_failed = true;
        ares_library_cleanup();
        return false;
    }
    return true;
}

void CResolver::SocketStateCb(void* data, int fd, int readable, int writable)
{
    static_cast<CResolver*>(data)->m_hooks.watch(fd, readable != 0, writable != 0);
}

uint32_t CResolver::Start(TargetHandle target, uint32_t message, const char* name, CHostEntry* entry)
{
    if (!EnsureChannel()) {
        errno = ENETDOWN;
        return 0;
    }
    uint32_t request = m_nextRequest++;
    if (request == 0)
        request = m_nextRequest++;
    m_lookups[request] = SLookup{target, message, entry, false, {}};
    if (IsLocalhostName(name)) {
        hostent* host = nullptr;
        if (ares_gethostbyname_file(m_channel, name, AF_INET, &host) == ARES_SUCCESS && host) {
            Answer(request, ARES_SUCCESS, host);
            ares_free_hostent(host);
        } else {
            in_addr loopback{htonl(INADDR_LOOPBACK)};
            char* addresses[] = {reinterpret_cast<char*>(&loopback), nullptr};
            hostent local{};
            local.h_addrtype = AF_INET;
            local.h_length = sizeof loopback;
            local.h_addr_list = addresses;
            Answer(request, ARES_SUCCESS, &local);
        }
        return request;
    }
    // c-ares may answer from the hosts file inside this call; the answer is posted either way.
    ares_gethostbyname(m_channel, name, AF_INET, &CResolver::DoneCb, new SCall{this, request});
    return request;
}

bool CResolver::Cancel(uint32_t request)
{
    return m_lookups.erase(request) != 0;
}

void CResolver::CancelAll(TargetHandle target)
{
    std::erase_if(m_lookups, [&](const auto& item) { return item.second.target == target; });
}

void CResolver::Process(int fd, bool readable, bool writable)
{
    if (m_channel)
        ares_process_fd(m_channel, readable ? fd : ARES_SOCKET_BAD, writable ? fd : ARES_SOCKET_BAD);
}

void CResolver::ProcessTimeouts()
{
    if (m_channel)
        ares_process_fd(m_channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
}

int64_t CResolver::NextDeadline(int64_t nowNs) const
{
    timeval tv{};
    if (!m_channel || !ares_timeout(m_channel, nullptr, &tv))
        return kNever;  // no question open
    return nowNs + static_cast<int64_t>(tv.tv_sec) * 1000000000 + static_cast<int64_t>(tv.tv_usec) * 1000;
}

void CResolver::DoneCb(void* arg, int status, int, hostent* host)
{
    const std::unique_ptr<SCall> call(static_cast<SCall*>(arg));
    if (status != ARES_EDESTRUCTION)
        call->resolver->Answer(call->request, status, host);
}

void CResolver::Answer(uint32_t request, int status, const hostent* host)
{
    const auto it = m_lookups.find(request);
    if (it == m_lookups.end())
        return;  // cancelled: the caller's entry may be gone
    SLookup& lookup = it->second;
    const int error = LookupError(status, host);
    lookup.answered = true;
    if (error == 0) {
        for (char** address = host->h_addr_list; *address; ++address) {
            uint32_t value;
            std::memcpy(&value, *address, sizeof value);
            lookup.addresses.push_back(value);
        }
    }
    // The answer may come inside Start; the caller can still cancel until delivery.
    m_hooks.post(lookup.target, lookup.message, request, error);
}

bool CResolver::Complete(uint32_t request)
{
    const auto it = m_lookups.find(request);
    if (it == m_lookups.end() || !it->second.answered)
        return false;
    if (it->second.entry)
        it->second.entry->addresses = std::move(it->second.addresses);
    m_lookups.erase(it);
    return true;
}
