#include "apps/streamclient/EchoConsole.h"

#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

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
    m_options = options;
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

void CEchoConsole::OnClientReceived(const char* /*data*/, uint32_t length, uint32_t /*totalReceived*/)
{
    if (length == 0) {
        // The closed event ends the run, whether the echo completed or not.
        m_done = true;
    }
}

void CEchoConsole::OnClientSubmitted(uint32_t /*totalSubmitted*/)
{}

void CEchoConsole::OnClientSent(uint32_t /*totalSent*/)
{}

void CEchoConsole::OnClientEchoDone(const std::string& report)
{
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
