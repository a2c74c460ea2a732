#include "apps/mailclient/Client.h"

#include <algorithm>
#include <cstdlib>

#include "lib/ErrorText.h"
#include "lib/VoltTcp.h"
#include "pop3/HeaderText.h"

namespace {

uint32_t NumberOf(const std::string& word)
{
    char* end = nullptr;
    const unsigned long value = std::strtoul(word.c_str(), &end, 10);
    return end != word.c_str() && *end == '\0' ? static_cast<uint32_t>(value) : 0;
}

// Cut or padded to width characters (not bytes: the texts are UTF-8).
std::string Column(const std::string& text, size_t width)
{
    std::string out;
    size_t characters = 0;
    for (size_t i = 0; i < text.size() && characters <= width; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80) {
            if (characters == width)
                break;
            ++characters;
        }
        out += (c == '\r' || c == '\n' || c == '\t') ? ' ' : text[i];
    }
    return out + std::string(width - characters, ' ');
}

}  // namespace

std::string CPopClient::HostOf(const std::string& server, uint16_t* port)
{
    *port = kPop3Port;
    const size_t colon = server.rfind(':');
    if (colon == std::string::npos)
        return server;
    const std::string digits = server.substr(colon + 1);
    const uint32_t value = NumberOf(digits);
    *port = value > 0 && value < 65536 ? static_cast<uint16_t>(value) : 0;
    return server.substr(0, colon);
}

std::string CPopClient::ListLine(uint32_t number, const std::string& subject, const std::string& from)
{
    return Column(std::to_string(number), 4) + Column(subject, 25) + Column(from, 40);
}

std::string CPopClient::MailFilePath(uint32_t number) const
{
    const std::string name = "Message." + std::to_string(number);
    if (AttachDir.empty())
        return name;
    return AttachDir.back() == '/' ? AttachDir + name : AttachDir + "/" + name;
}

bool CPopClient::ConnectToServer()
{
    if (GetState() != CVoltTcp::Closed)
        return false;
    uint16_t port = 0;
    const std::string host = HostOf(Server, &port);
    if (port == 0) {
        m_view.ShowException("EXCEPTION: the port after ':' must be a number from 1 to 65535");
        m_view.ShowClosed();
        return false;
    }
    m_view.ShowAction("Attempting to Connect ....");
    if (!Connect(Unique ? UniqueNames : 0, host.c_str(), port, nullptr, 0, Account.c_str(),
                 Password.c_str())) {
        m_view.ShowClosed();
        return false;
    }
    return true;
}

void CPopClient::RetrieveMessage(uint32_t number)
{
    Current = number;
    m_view.SetProgressMax(100);
    Retrieve(number, nullptr, AttachDir.c_str());
}

void CPopClient::OnConnect(const char* remoteAddress, uint16_t, const char*, uint16_t, const char*)
{
    m_view.ShowStatus(std::string("Connected to ") + remoteAddress, true);
    Count = 0;
    Current = 0;
}

void CPopClient::OnCommandSent(const char* line)
{
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    m_view.ShowAction(text.compare(0, 4, "PASS") == 0 ? "----> PASS ******" : "----> " + text);
}

void CPopClient::OnFileClosed(const char* path, char, uint32_t)
{
    m_view.ShowAction(std::string("Saved File: ") + path);
}

void CPopClient::OnException(uint8_t code, const char* text)
{
    if (code == ExcConnectionLost)
        return;  // the server's close, which every QUIT causes
    m_view.ShowException(std::string("EXCEPTION: ") + text);
    // A connection that failed to open raises no closed event: back to rest here.
    if (GetState() == CVoltTcp::Closed)
        m_view.ShowClosed();
}

void CPopClient::OnHeader(uint8_t command, const char* returnPath, const char* received, const char* date,
                          const char* from, const char* subject, const char* sender, const char* to,
                          const char* cc)
{
    if (command == kPop3Retr) {
        const std::string lines =
            std::string("Return Path:") + returnPath + "\r\nReceived:" + received +
            "\r\nTo:" + CHeaderText::Decode(to) + "\r\nFrom:" + CHeaderText::Decode(from) +
            "\r\nSender:" + CHeaderText::Decode(sender) + "\r\ncc:" + CHeaderText::Decode(cc) +
            "\r\nDate:" + date + "\r\nSubject:" + CHeaderText::Decode(subject) + "\r\n\r\n";
        if (!SaveAll)
            m_view.InsertText(lines);
        return;
    }
    if (command != kPop3Top)
        return;
    m_view.AddListLine(ListLine(Current, CHeaderText::Decode(subject), CHeaderText::Decode(from)));
    m_view.SetProgress(static_cast<int>(Current));
    ++Current;
    if (Current <= Count) {
        Top(Current, 0);
        return;
    }
    Current = 0;
    m_view.SetProgress(0);
    m_view.EnableList();
    m_view.ShowAction("Retrieved " + std::to_string(Count) + " Headers");
}

void CPopClient::Summary(const std::string& reply)
{
    // "+OK count octets"
    const size_t first = reply.find(' ');
    const size_t second = first == std::string::npos ? std::string::npos : reply.find(' ', first + 1);
    Count = first == std::string::npos ? 0 : NumberOf(reply.substr(first + 1, second - first - 1));
    std::string octets = second == std::string::npos ? std::string() : reply.substr(second + 1);
    while (!octets.empty() && (octets.back() == '\n' || octets.back() == '\r'))
        octets.pop_back();
    Octets = NumberOf(octets);
    if (Count == 0) {
        m_view.ShowNoMessages();
        Quit(false);
        return;
    }
    if (SaveAll) {
        Current = 1;
        MailFile = MailFilePath(Current);
        m_view.SetProgressMax(static_cast<int>(std::min<uint32_t>(Octets, 0x7FFFFFFF)));
        m_view.SetProgress(0);
        Retrieve(Current, MailFile.c_str(), AttachDir.c_str());
        return;
    }
    m_view.SetProgressMax(static_cast<int>(Count));
    m_view.SetProgress(static_cast<int>(Current));
    Current = 1;
    Top(1, 0);
}

void CPopClient::MessageText(const char* data, uint32_t length, uint16_t percent)
{
    if (!SaveAll && data)
        m_view.InsertText(std::string(data, length));
    if (percent == 100 && !data) {
        if (SaveAll) {
            ++Current;
            if (Current <= Count) {
                MailFile = MailFilePath(Current);
                Retrieve(Current, MailFile.c_str(), AttachDir.c_str());
            } else {
                SaveAll = false;
                Quit(false);
            }
            return;
        }
        m_view.EnableList();
        m_view.ShowMessageView();
        m_view.SetProgress(0);
        m_view.ShowAction("Retrieved Message Number  " + std::to_string(Current));
        return;
    }
    if (!SaveAll) {
        m_view.SetProgress(percent);
        m_view.ShowAction("Retrieving Message Number  " + std::to_string(Current));
    }
}

void CPopClient::OnPop3Event(uint8_t status, uint8_t command, const char* data, uint32_t length,
                             const char* path, char, uint16_t percent)
{
    const std::string text = data ? std::string(data, length) : std::string();
    switch (status) {
    case Pop3Closed:
        m_view.ShowStatus("Not Connected", false);
        m_view.ShowClosed();
        break;
    case Pop3Ok:
        if (command == kPop3Pass)
            Stat();
        else if (command == kPop3Stat)
            Summary(text);
        else if (command == kPop3Dele) {
            m_view.RemoveSelectedLine();
            m_view.EnableList();
        }
        break;
    case Pop3Error:
        if (text.compare(0, 4, "-ERR") == 0) {
            std::string shown = text;
            while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r'))
                shown.pop_back();
            m_view.ShowServerError(shown);
            Quit(false);
        }
        break;
    case Pop3_Mail:
        if (SaveAll)
            m_view.AdvanceProgress(static_cast<int>(length));
        if (command == kPop3Retr)
            MessageText(data, length, percent);
        break;
    case Pop3File:
        if (SaveAll) {
            m_view.AdvanceProgress(static_cast<int>(length));
        } else {
            m_view.SetProgress(percent);
            m_view.ShowAction(std::string("Decoding: ") + (path ? path : ""));
        }
        break;
    case Pop3Header:
        if (SaveAll)
            m_view.AdvanceProgress(static_cast<int>(length));
        break;
    default: break;
    }
}
