#include "apps/streamclient/Client.h"

#include <chrono>
#include <cstdio>

#include "apps/streamclient/ClientView.h"

CTcpClient::CTcpClient(CTcpClientView& view) : m_view(view)
{}

uint64_t CTcpClient::TickCount()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool CTcpClient::Open(uint8_t flags, const std::string& host, uint16_t port)
{
    Close(true);
    return Connect(flags, host.c_str(), port, nullptr, 0);
}

bool CTcpClient::StartEcho(uint8_t flags, const std::string& host, uint16_t port)
{
    m_echoMode = true;
    m_startTime = TickCount();
    return Open(flags, host, port);
}

std::string CTcpClient::BuildBlock(const std::string& text, uint32_t total)
{
    std::string block = text.substr(0, total);
    block.resize(total, '\0');
    return block;
}

bool CTcpClient::SendBlock(const std::string& text, uint32_t total, uint32_t reps)
{
    m_bytesSent = 0;
    const std::string block = BuildBlock(text, total);
    const auto length = static_cast<uint32_t>(block.size());
    if (m_echoMode) {
        m_expectedEcho = length * reps;
    }
    bool allSent = true;
    uint32_t submitted = 0;
    for (uint32_t i = 0; i < reps; ++i) {
        submitted += length;
        m_view.OnClientSubmitted(submitted);
        allSent = Send(block.data(), length, false, length) && allSent;
    }
    return allSent;
}

std::string CTcpClient::ThroughputReport(uint32_t bytes, uint64_t elapsedMs)
{
    char line[128];
    std::snprintf(line, sizeof line, "\r\n\r\n%ld Bytes in %.4f Sec.\r\n", static_cast<long>(bytes),
                  static_cast<double>(elapsedMs) * 0.001);
    std::string report = line;
    if (elapsedMs != 0) {
        std::snprintf(line, sizeof line, "%.2f Bytes/Sec\r\n",
                      static_cast<double>(bytes) * 1000.0 / static_cast<double>(elapsedMs));
        report += line;
    } else {
        report += "Time Unresolved";
    }
    return report;
}

void CTcpClient::OnConnect(const char* /*remoteAddress*/, uint16_t /*remotePort*/,
                           const char* /*localAddress*/, uint16_t /*localPort*/, const char* /*hostName*/)
{
    m_bytesSent = 0;
    m_bytesReceived = 0;
    m_view.OnClientConnected();
}

void CTcpClient::OnReceive(const char* data, uint32_t length)
{
    m_bytesReceived += length;
    m_view.OnClientReceived(data, length, m_bytesReceived);
    if (length > 0 && m_echoMode && m_bytesReceived == m_expectedEcho) {
        m_echoMode = false;
        m_view.OnClientEchoDone(ThroughputReport(m_bytesReceived, TickCount() - m_startTime));
        Close(false);
    }
}

void CTcpClient::OnSent(uint32_t tag)
{
    m_bytesSent += tag;
    m_view.OnClientSent(m_bytesSent);
}

void CTcpClient::OnException(uint8_t code, const char* text)
{
    m_view.OnClientException(code, text);
}
