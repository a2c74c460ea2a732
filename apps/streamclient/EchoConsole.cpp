#include "apps/streamclient/EchoConsole.h"

#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "apps/streamclient/Client.h"
#include "lib/MessageLoop.h"
#include "lib/VoltTcp.h"

namespace {

constexpr const char* kEchoText = "Hello World!";

}  // namespace

CEchoConsole::CEchoConsole(std::FILE* out) : m_out(out)
{}

int CEchoConsole::Run(const COptions& options)
{
    std::signal(SIGPIPE, SIG_IGN);
    // Each line as it is printed, also into a file: a run that is stopped keeps what it said.
    std::setvbuf(m_out, nullptr, _IOLBF, 0);
    m_options = options;
    m_block = CTcpClient::BuildBlock(kEchoText, options.size);
    CMessageLoop& loop = CMessageLoop::Instance();
    const int poller = epoll_create1(EPOLL_CLOEXEC);
    const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (poller < 0 || timer < 0) {
        std::fprintf(m_out, "error: %s\n", std::strerror(errno));
        return 1;
    }
    epoll_event interest{};
    interest.events = EPOLLIN;
    interest.data.fd = loop.Fd();
    epoll_ctl(poller, EPOLL_CTL_ADD, loop.Fd(), &interest);
    if (options.timeoutSeconds != 0) {
        itimerspec expiry{};
        expiry.it_value.tv_sec = options.timeoutSeconds;
        timerfd_settime(timer, 0, &expiry, nullptr);
        interest.data.fd = timer;
        epoll_ctl(poller, EPOLL_CTL_ADD, timer, &interest);
    }

    {
        CTcpClient client(*this);
        m_client = &client;
        std::fprintf(m_out, "Echo test: %u x %u bytes to %s port %u\n", options.reps, options.size,
                     options.host.c_str(), options.port);
        if (client.StartEcho(options.flags, options.host, options.port) ||
            client.GetState() != CVoltTcp::Closed) {
            while (!m_done) {
                loop.RunOnce(0);
                if (m_done) {
                    break;
                }
                epoll_event events[2];
                const int n = epoll_wait(poller, events, 2, -1);
                if (n < 0 && errno != EINTR) {
                    break;
                }
                for (int i = 0; i < n; ++i) {
                    if (events[i].data.fd == timer) {
                        std::fprintf(m_out, "error: no complete echo after %u s (%u of %u bytes)\n",
                                     options.timeoutSeconds, client.BytesReceived(), client.ExpectedEcho());
                        m_done = true;
                    }
                }
            }
        }
        m_client = nullptr;
    }
    loop.RunOnce(0);
    close(timer);
    close(poller);
    return m_succeeded ? 0 : 1;
}

void CEchoConsole::OnClientConnected()
{
    m_client->SendBlock(kEchoText, m_options.size, m_options.reps);
}

void CEchoConsole::OnClientReceived(const char* data, uint32_t length, uint32_t totalReceived)
{
    if (length == 0) {
        // The closed event ends the run, whether the echo completed or not.
        m_done = true;
        return;
    }
    if (m_differs || m_block.empty()) {
        return;
    }
    const uint64_t sent = static_cast<uint64_t>(m_block.size()) * m_options.reps;
    const uint64_t first = totalReceived - length;
    for (uint32_t i = 0; i < length; ++i) {
        const uint64_t offset = first + i;
        const auto got = static_cast<unsigned char>(data[i]);
        if (offset >= sent) {
            std::fprintf(m_out,
                         "error: the echo is longer than what was sent: byte %llu came back as 0x%02X\n",
                         static_cast<unsigned long long>(offset), got);
        } else if (const auto want = static_cast<unsigned char>(m_block[offset % m_block.size()]);
                   got != want) {
            std::fprintf(m_out, "error: the echo differs at byte %llu: sent 0x%02X, received 0x%02X\n",
                         static_cast<unsigned long long>(offset), want, got);
        } else {
            continue;
        }
        m_differs = true;
        m_client->Close(true);
        return;
    }
}

void CEchoConsole::OnClientSubmitted(uint32_t /*totalSubmitted*/)
{}

void CEchoConsole::OnClientSent(uint32_t /*totalSent*/)
{}

void CEchoConsole::OnClientEchoDone(const std::string& report)
{
    if (m_differs) {
        return;
    }
    std::string text = report;
    for (std::size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at)) {
        text.erase(at, 1);
    }
    std::fputs(text.c_str(), m_out);
    if (!text.empty() && text.back() != '\n') {
        std::fputc('\n', m_out);
    }
    m_succeeded = true;
}

void CEchoConsole::OnClientException(uint8_t code, const char* text)
{
    std::fprintf(m_out, "error %u: %s\n", static_cast<unsigned>(code), text);
    if (m_client && m_client->GetState() == CVoltTcp::Closed) {
        m_done = true;
    }
}
