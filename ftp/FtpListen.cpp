#include "ftp/FtpListen.h"

#include <cstdio>
#include <string>

#include "ftp/FtpControl.h"
#include "ftp/FtpData.h"
#include "ftp/FtpTypes.h"
#include "ftp/VoltFtp.h"

CFtpListen::CFtpListen(CFtpControl& control) : m_control(control)
{}

CFtpListen::~CFtpListen()
{
    if (m_control.m_listener == this)
        m_control.m_listener = nullptr;
}

std::string CFtpListen::PortLine(const std::string& address, uint16_t port)
{
    std::string commas = address;
    for (char& c : commas) {
        if (c == '.')
            c = ',';
    }
    char line[64];
    std::snprintf(line, sizeof line, "PORT %s,%u,%u%s", commas.c_str(), port / 256u, port % 256u, "\r\n");
    return line;
}

void CFtpListen::OnListen(const char*, uint16_t port, const char*)
{
    m_port = port;
    m_control.SendCommand(PortLine(m_control.LocalAddress(), port).c_str(), kFtpCmdPort);
}

void CFtpListen::OnAccept()
{
    CFtpData* data = m_control.NewData();
    if (data)
        data->Accept(m_control.Flags(), this);
    // One connection per listener: the server has made its one.
    if (m_control.m_listener == this) {
        m_control.m_listener = nullptr;
        delete this;
    }
}

void CFtpListen::OnException(uint8_t code, const char* text)
{
    m_control.Owner().OnException(code, text);
}
