#include "ftp/FtpReplyAssembler.h"

#include <new>

namespace {

constexpr size_t kCodeLength = 3;
constexpr size_t kHeadLength = 4;  // the code and the character after it

}  // namespace

bool CFtpReplyAssembler::Append(const char* data, size_t length)
{
    if (length > kMaxBuffered - m_buffer.size()) {
        Clear();
        return false;
    }
    try {
        m_buffer.append(data, length);
    } catch (const std::bad_alloc&) {
        Clear();
        return false;
    }
    return true;
}

void CFtpReplyAssembler::Clear()
{
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_scanFrom = 0;
    m_lastLine = std::string::npos;
}

CFtpReplyAssembler::EResult CFtpReplyAssembler::TakeLastLine(std::string& reply)
{
    const size_t end = m_buffer.find("\r\n", m_scanFrom);
    if (end == std::string::npos) {
        m_scanFrom = m_buffer.size() - 1;
        return kNeedMore;
    }
    reply.assign(m_buffer, 0, end + 2);
    m_buffer.erase(0, end + 2);
    m_scanFrom = 0;
    m_lastLine = std::string::npos;
    return kReply;
}

CFtpReplyAssembler::EResult CFtpReplyAssembler::Next(std::string& reply)
{
    if (m_buffer.size() < kHeadLength)
        return kNeedMore;
    const char mark = m_buffer[kCodeLength];
    if (mark == ' ')
        return TakeLastLine(reply);
    if (mark != '-')
        return kBadData;

    if (m_lastLine == std::string::npos) {
        // The last line starts with CR LF, the code and a space; failing that, with "226 ".
        std::string terminator = "\r\n" + m_buffer.substr(0, kCodeLength) + " ";
        // Patterns are 6 bytes long: one that began in the part already searched may end now.
        const size_t from = m_scanFrom;
        size_t found = m_buffer.find(terminator, from);
        if (found == std::string::npos) {
            found = m_buffer.find("\r\n226 ", from);
            if (found != std::string::npos)
                m_buffer.replace(0, kCodeLength, "226");
        }
        if (found == std::string::npos) {
            m_scanFrom = m_buffer.size() > terminator.size() ? m_buffer.size() - terminator.size() + 1 : 0;
            return kNeedMore;
        }
        m_lastLine = found + 2;
        m_scanFrom = m_lastLine;
    }
    return TakeLastLine(reply);
}
