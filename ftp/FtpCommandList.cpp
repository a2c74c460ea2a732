#include "ftp/FtpCommandList.h"

#include <memory>
#include <new>
#include <string>

#include "ftp/FtpControl.h"
#include "ftp/FtpMessage.h"
#include "ftp/FtpTypes.h"

CFtpCommandList::CFtpCommandList(CFtpControl& control) : m_control(control)
{}

CFtpCommandList::~CFtpCommandList()
{
    Clear();
}

bool CFtpCommandList::Add(std::string_view word, std::string_view argument, uint8_t id,
                          std::string_view localFile)
{
    std::unique_ptr<CFtpMessage> message(new (std::nothrow) CFtpMessage);
    if (!message)
        return false;
    try {
        message->id = id;
        message->localFile.assign(localFile);
        if (!word.empty()) {
            message->line.assign(word);
            if (!argument.empty()) {
                message->line += ' ';
                message->line.append(argument);
            }
            message->line += "\r\n";
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_list.AddTail(message.release());
    SendNext();
    return true;
}

uint8_t CFtpCommandList::HeadId()
{
    if (m_list.IsEmpty())
        return kFtpCmdNone;
    return static_cast<const CFtpMessage*>(m_list.GetHead())->id;
}

void CFtpCommandList::SendNext()
{
    while (m_control.CurrentCommand() == kFtpCmdIdle && !m_list.IsEmpty() &&
           m_control.GetState() == CVoltTcp::Connected) {
        std::unique_ptr<CFtpMessage> message(static_cast<CFtpMessage*>(m_list.RemoveHead()));
        if (message->id == kFtpCmdPort && message->line.empty()) {
            m_control.StartListener();
            return;
        }
        if (message->id == kFtpCmdType) {
            const char letter = message->line.size() > 5 ? message->line[5] : 'A';
            const uint8_t type = letter == 'E'   ? kFtpTypeEbcdic
                                 : letter == 'I' ? kFtpTypeImage
                                                 : kFtpTypeAscii;
            if (type == m_control.CurrentType())
                continue;  // the server has it already
            m_control.SetRequestedType(type);
        } else {
            m_control.SetLocalFile(message->localFile);
        }
        m_control.SendCommand(message->line.c_str(), message->id);
        return;
    }
}

void CFtpCommandList::Clear()
{
    while (!m_list.IsEmpty())
        delete static_cast<CFtpMessage*>(m_list.RemoveHead());
}
