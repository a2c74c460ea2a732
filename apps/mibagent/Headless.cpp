#include "apps/mibagent/Headless.h"

#include <csignal>

#include "apps/mibagent/Agent.h"
#include "apps/mibagent/SystemDefaults.h"
#include "lib/ErrorText.h"
#include "lib/MessageLoop.h"
#include "lib/SocketBinding.h"

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int signal)
{
    g_stopSignal = signal;
}

}  // namespace

CHeadlessAgent::CHeadlessAgent(std::FILE* log, std::FILE* errors) : m_log(log), m_errors(errors)
{
    for (int i = 0; i < SystemTextCount; ++i)
        m_texts[i] = kSystemDefaults[i];
}

int CHeadlessAgent::Run(uint16_t port)
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    CMessageLoop& loop = CMessageLoop::Instance();
    {
        CSnmpAgent agent(*this, port);
        Log("status", "Port Closed");
        agent.Reset();
        if (agent.GetState() == CSnmpAgent::Closed && WsaGetLastError() == kWsaAccess && port != 0 &&
            port < 1024) {
            std::fprintf(m_errors,
                         "mibagent: port %u is reserved for privileged programs; --port N chooses another "
                         "(1024 or above)\n",
                         port);
        }
        // A signal interrupts the wait; the time-out only bounds how late a stop is seen.
        while (g_stopSignal == 0 && agent.GetState() != CSnmpAgent::Closed)
            loop.RunOnce(500);
        if (g_stopSignal != 0)
            std::fprintf(m_log, "stopping on signal %d\n", static_cast<int>(g_stopSignal));
    }
    loop.RunOnce(0);
    std::fflush(m_log);
    return g_stopSignal != 0 ? 0 : 1;
}

std::string CHeadlessAgent::GetSystemText(SystemText which)
{
    return m_texts[which];
}

void CHeadlessAgent::SetSystemText(SystemText which, const std::string& text)
{
    m_texts[which] = text;
    static const char* const kLabels[] = {"sysDescr", "sysObjectID", "sysContact", "sysName", "sysLocation"};
    Log(kLabels[which], text);
}

void CHeadlessAgent::ShowStatus(const std::string& text, bool)
{
    if (text != m_status)
        Log("status", text);
    m_status = text;
}

void CHeadlessAgent::ShowError(const std::string& text)
{
    Log("error", text);
}

void CHeadlessAgent::ShowAction(const std::string& text)
{
    if (text != m_action)
        Log("action", text);
    m_action = text;
}

void CHeadlessAgent::HidePanels()
{
    m_action.clear();
}

void CHeadlessAgent::Log(const char* label, const std::string& text)
{
    std::fprintf(m_log, "%s: %s\n", label, text.c_str());
    std::fflush(m_log);
}
