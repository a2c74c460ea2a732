#include "pop3/Pop3.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "lib/ErrorText.h"
#include "pop3/HeaderFields.h"
#include "pop3/Pop3Codes.h"
#include "pop3/VoltPop3.h"

namespace {

const char* Find(const char* from, const char* end, std::string_view pattern)
{
    if (end - from < static_cast<ptrdiff_t>(pattern.size()))
        return nullptr;
    return static_cast<const char*>(
        memmem(from, static_cast<size_t>(end - from), pattern.data(), pattern.size()));
}

std::string Number(uint32_t value)
{
    return value == 0 ? std::string() : std::to_string(value);
}

}  // namespace

CPop3::CPop3(CVoltPop3& owner) : m_owner(owner), m_walker(*this)
{}

CPop3::~CPop3()
{
    *m_alive = false;
}

void CPop3::OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                      uint16_t localPort, const char* localHostName)
{
    m_owner.OnConnect(remoteAddress, remotePort, localAddress, localPort, localHostName);
}

void CPop3::OnSent(uint32_t)
{
    m_owner.OnCommandSent(m_commandLine.c_str());
}

void CPop3::OnException(uint8_t code, const char* text)
{
    m_owner.OnException(code, text);
}

bool CPop3::Connect(uint8_t options, const char* host, uint16_t port, const char* localAddress,
                    uint16_t localPort, const char* user, const char* password)
{
    const std::string_view userText = user ? user : "";
    const std::string_view passwordText = password ? password : "";
    for (const std::string_view text : {userText, passwordText}) {
        // "USER " or "PASS ", the text and CR LF must fit one command line.
        if (text.size() + 7 > kPop3MaxCommandLine) {
            m_owner.OnException(kExcPop3Argument, kTextTooLong);
            return false;
        }
        if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
            m_owner.OnException(kExcPop3Argument, kTextLineBreak);
            return false;
        }
    }
    ResetBuffer();
    DropFiles();
    m_chunks = 0;
    m_command = kPop3Greeting;
    ++m_generation;
    m_options = options;
    m_user = userText;
    m_password = passwordText;
    return ConnectSession(options, host, port, localAddress, localPort);
}

bool CPop3::ConnectSession(uint8_t options, const char* host, uint16_t port, const char* localAddress,
                           uint16_t localPort)
{
    return CVoltTcp::Connect(options, host, port, localAddress, localPort);
}

bool CPop3::CloseSession(bool abort)
{
    return Close(abort);
}

bool CPop3::Quit(bool abort)
{
    if (!abort)
        return SendCommand(kPop3Quit, "QUIT\r\n");
    ResetBuffer();
    m_chunks = 0;
    m_command = kPop3Quit;
    ++m_generation;
    DropFiles();
    CloseSession(true);
    return true;
}

bool CPop3::Delete(uint32_t message)
{
    return SendCommand(kPop3Dele, "DELE " + Number(message) + "\r\n");
}

bool CPop3::Retrieve(uint32_t message, const char* mailFile, const char* attachDir)
{
    DropFiles();
    m_received = 0;
    m_percent = 0;
    m_expectedSize = 0;
    m_mailName = mailFile ? mailFile : "";
    m_attachDir = attachDir ? attachDir : "";
    if (!m_attachDir.empty() && m_attachDir.back() != '/')
        m_attachDir += '/';
    m_retr = ERetr::kStatus;
    return SendCommand(kPop3Retr, "RETR " + Number(message) + "\r\n");
}

bool CPop3::Stat()
{
    return SendCommand(kPop3Stat, "STAT\r\n");
}

bool CPop3::Top(uint32_t message, uint32_t lines)
{
    m_expectedSize = 0;
    m_percent = 0;
    m_mailName.clear();
    m_attachDir.clear();
    const bool sent =
        SendCommand(kPop3Top, "TOP " + std::to_string(message) + " " + std::to_string(lines) + "\r\n");
    m_topFlag = true;
    return sent;
}

bool CPop3::SendCommand(uint8_t command, const std::string& line)
{
    if (line.size() > kPop3MaxCommandLine) {
        m_owner.OnException(kExcPop3Argument, kTextTooLong);
        return false;
    }
    ResetBuffer();
    m_command = command;
    m_chunks = 0;
    m_topFlag = false;
    ++m_generation;
    m_commandLine = line;
    return Send(m_commandLine.data(), static_cast<uint32_t>(m_commandLine.size()), false, command);
}

void CPop3::DropFiles()
{
    m_walker.Abort();
    m_mailFile.Discard();
    m_mailFailed = false;
    m_headerBlock.clear();
    m_stuffHeld.clear();
    m_retr = ERetr::kDone;
}

void CPop3::OnReceive(const char* data, uint32_t length)
{
    if (!data) {
        // A file cut off by the close would look complete under its name: it goes.
        ++m_generation;
        DropFiles();
        ResetBuffer();
        m_owner.OnPop3Event(Pop3Closed, kPop3Quit, nullptr, 0, nullptr, kLetterNone, 100);
        return;
    }
    ++m_chunks;
    switch (m_command) {
    case kPop3Ignore:
    case kPop3Idle: return;
    case kPop3Retr: ReceiveRetrieval(data, length); return;
    default: ReceiveReply(data, length); return;
    }
}

bool CPop3::ReplyTooLong()
{
    ResetBuffer();
    m_command = kPop3Ignore;
    ++m_generation;
    if (!Raise([&] { m_owner.OnException(ExcResources, kTextReplyTooLong); }))
        return false;
    CloseSession(true);
    return false;
}

void CPop3::ReceiveReply(const char* data, uint32_t length)
{
    const size_t before = Length();
    const bool top = m_command == kPop3Top && m_topFlag;
    if (!Append(data, length, top ? kMaxTopReply : kMaxStatusLine)) {
        ReplyTooLong();
        return;
    }
    const char* const begin = Data();
    const char* const end = begin + Length();
    // A negative reply to TOP is one line.
    const bool block = top && begin[0] != '-';
    const std::string_view terminator = block ? "\r\n.\r\n" : "\r\n";
    const char* found =
        Find(begin + (before >= terminator.size() ? before - terminator.size() + 1 : 0), end, terminator);
    if (!found) {
        m_chunks = 0;
        return;
    }
    const uint8_t status = begin[0] == '+' ? Pop3Ok : Pop3Error;
    const uint8_t command = m_command;
    const char* const lineEnd = Find(begin, end, "\r\n") + 2;
    const std::string line(begin, lineEnd);
    if (command != kPop3Top) {
        if (!Raise([&] {
                m_owner.OnPop3Event(status, command, line.c_str(), static_cast<uint32_t>(line.size()),
                                    nullptr, kLetterNone, 100);
            }))
            return;
        ResetBuffer();
        if (status != Pop3Ok)
            return;
        if (command == kPop3Greeting)
            SendCommand(kPop3User, "USER " + m_user + "\r\n");
        else if (command == kPop3User)
            SendCommand(kPop3Pass, "PASS " + m_password + "\r\n");
        return;
    }
    if (!Raise([&] {
            m_owner.OnPop3Event(status, command, line.c_str(), static_cast<uint32_t>(line.size()), nullptr,
                                kLetterNone, 0);
        }))
        return;
    if (status != Pop3Ok) {
        ResetBuffer();
        return;
    }
    // The header runs up to the CR of the line break before the "."; its LF is not counted.
    const size_t headerLength = found >= lineEnd ? static_cast<size_t>(found + 1 - lineEnd) : 0;
    const std::string header(lineEnd, headerLength);
    ResetBuffer();
    if (!Raise([&] {
            m_owner.OnPop3Event(Pop3_Mail, command, header.c_str(), static_cast<uint32_t>(header.size()),
                                nullptr, kLetterNone, 100);
        }))
        return;
    const SHeaderFields f = SHeaderFields::Extract(header);
    m_owner.OnHeader(command, f.returnPath.c_str(), f.received.c_str(), f.date.c_str(), f.from.c_str(),
                     f.subject.c_str(), f.sender.c_str(), f.to.c_str(), f.cc.c_str());
}

uint32_t CPop3::ParseExpectedSize(std::string_view line)
{
    const size_t cr = line.find('\r');
    line = line.substr(0, cr);
    const char* at = PktBuf::Search(line.data(), line.data() + line.size(), "OCTETS");
    if (!at)
        return kDefaultExpectedSize;
    // The word before it: cut just before the character that precedes "octets".
    std::string_view before = line.substr(0, static_cast<size_t>(at - line.data()));
    if (!before.empty())
        before.remove_suffix(1);
    const size_t space = before.rfind(' ');
    if (space != std::string_view::npos)
        before.remove_prefix(space + 1);
    while (!before.empty() && (before.front() < '0' || before.front() > '9'))
        before.remove_prefix(1);
    uint64_t value = 0;
    for (size_t i = 0; i < before.size() && i < 18 && before[i] >= '0' && before[i] <= '9'; ++i)
        value = value * 10 + static_cast<uint64_t>(before[i] - '0');
    return static_cast<uint32_t>(std::min<uint64_t>(value, std::numeric_limits<uint32_t>::max()));
}

void CPop3::UpdatePercent()
{
    const uint64_t expected = m_expectedSize;
    const uint64_t percent = expected == 0 ? 99 : uint64_t{m_received} * 100 / expected;
    m_percent = static_cast<uint16_t>(std::min<uint64_t>(percent, 99));
}

void CPop3::ReceiveRetrieval(const char* data, uint32_t length)
{
    if (m_retr == ERetr::kDone)
        return;
    if (m_retr == ERetr::kStatus) {
        if (!Append(data, length, kMaxStatusLine + 65536)) {
            ReplyTooLong();
            return;
        }
        const char* const begin = Data();
        const char* const end = begin + Length();
        const char* crlf = Find(begin, end, "\r\n");
        if (!crlf) {
            if (Length() > kMaxStatusLine)
                ReplyTooLong();
            m_chunks = 0;
            return;
        }
        const std::string line(begin, crlf + 2);
        const uint8_t status = begin[0] == '+' ? Pop3Ok : Pop3Error;
        if (!Raise([&] {
                m_owner.OnPop3Event(status, kPop3Retr, line.c_str(), static_cast<uint32_t>(line.size()),
                                    nullptr, kLetterNone, 0);
            }))
            return;
        if (status != Pop3Ok) {
            m_retr = ERetr::kDone;
            ResetBuffer();
            return;
        }
        m_expectedSize = ParseExpectedSize(line);
        m_received = 0;
        m_percent = 0;
        m_lineStart = true;
        m_stuffHeld.clear();
        m_headerBlock.clear();
        m_walker.Begin(m_attachDir, (m_options & UniqueNames) != 0);
        m_retr = ERetr::kHeaders;
        // The rest of this chunk is body; it is walked from a copy of its own, since the
        // buffer goes with the next command.
        const std::string rest(crlf + 2, end);
        ResetBuffer();
        m_received =
            static_cast<uint32_t>(std::min<size_t>(rest.size(), std::numeric_limits<uint32_t>::max()));
        UpdatePercent();
        Unstuff(rest.data(), rest.data() + rest.size());
        return;
    }
    const uint64_t received = uint64_t{m_received} + length;
    m_received = static_cast<uint32_t>(std::min<uint64_t>(received, std::numeric_limits<uint32_t>::max()));
    UpdatePercent();
    if (m_stuffHeld.empty()) {
        Unstuff(data, data + length);
        return;
    }
    std::string joined = m_stuffHeld + std::string(data, length);
    m_stuffHeld.clear();
    Unstuff(joined.data(), joined.data() + joined.size());
}

bool CPop3::Unstuff(const char* p, const char* e)
{
    const char* segment = p;
    while (p < e) {
        if (m_lineStart) {
            if (*p == '.') {
                if (e - p < 2 || (p[1] == '\r' && e - p < 3)) {
                    if (!Content(segment, static_cast<size_t>(p - segment)))
                        return false;
                    m_stuffHeld.assign(p, e);
                    return true;
                }
                if (p[1] == '\r' && p[2] == '\n') {
                    // The end mark: the message is complete.
                    return Content(segment, static_cast<size_t>(p - segment)) && MessageDone();
                }
                // A stuffed dot: not part of the message.
                if (!Content(segment, static_cast<size_t>(p - segment)))
                    return false;
                segment = ++p;
            }
            m_lineStart = false;
            if (p == e)
                break;
        }
        // Only a dot that starts a line matters, and dots are rarer than line breaks.
        const char* dot = p + 1;
        while (dot < e) {
            dot = static_cast<const char*>(std::memchr(dot, '.', static_cast<size_t>(e - dot)));
            if (!dot || dot[-1] == '\n')
                break;
            ++dot;
        }
        if (!dot || dot >= e) {
            m_lineStart = e[-1] == '\n';
            break;
        }
        p = dot;
        m_lineStart = true;
    }
    return Content(segment, static_cast<size_t>(e - segment));
}

bool CPop3::Content(const char* data, size_t length)
{
    if (length == 0)
        return true;
    if (m_retr == ERetr::kBody) {
        if (m_mailFile.IsOpen() && !m_mailFile.Write(data, length)) {
            m_mailFile.Discard();
            if (!Raise([&] { m_owner.OnException(kExcPop3Files, kTextMailWrite); }))
                return false;
        }
        return m_walker.Feed(data, length);
    }
    if (m_retr != ERetr::kHeaders)
        return true;
    const size_t before = m_headerBlock.size();
    const size_t taken = std::min(length, kMaxHeaderBlock - before);
    m_headerBlock.append(data, taken);
    // The header ends with the first empty line; a body right after the status line has none.
    size_t end = std::string::npos;
    if (m_headerBlock.compare(0, 2, "\r\n") == 0) {
        end = 2;
    } else if (m_headerBlock[0] == '\n') {
        end = 1;
    } else {
        const size_t from = before >= 3 ? before - 3 : 0;
        const size_t crlf = m_headerBlock.find("\r\n\r\n", from);
        const size_t lf = m_headerBlock.find("\n\n", from);
        if (crlf != std::string::npos && (lf == std::string::npos || crlf + 2 <= lf))
            end = crlf + 4;
        else if (lf != std::string::npos)
            end = lf + 2;
    }
    if (end == std::string::npos && m_headerBlock.size() >= kMaxHeaderBlock)
        end = m_headerBlock.size();  // a header without end: what follows is body
    if (end == std::string::npos)
        return true;
    const size_t used = end - before;
    m_headerBlock.resize(end);
    if (!HeadersDone())
        return false;
    return Content(data + used, length - used);
}

bool CPop3::HeadersDone()
{
    m_retr = ERetr::kBody;
    std::string block;
    block.swap(m_headerBlock);
    if (!m_mailName.empty()) {
        const size_t slash = m_mailName.rfind('/');
        const std::string dir =
            slash == std::string::npos ? std::string() : m_mailName.substr(0, std::max<size_t>(slash, 1));
        const std::string name = slash == std::string::npos ? m_mailName : m_mailName.substr(slash + 1);
        if (!m_mailFile.Create(dir, name, (m_options & UniqueNames) != 0)) {
            if (!Raise([&] { m_owner.OnException(kExcPop3Files, kTextMailFile); }))
                return false;
        } else if (!m_mailFile.Write(block.data(), block.size())) {
            m_mailFile.Discard();
            if (!Raise([&] { m_owner.OnException(kExcPop3Files, kTextMailWrite); }))
                return false;
        }
    }
    if (!m_walker.TopHeader(block))
        return false;
    UpdatePercent();
    if (!Raise([&] {
            m_owner.OnPop3Event(Pop3Header, kPop3Retr, block.c_str(), static_cast<uint32_t>(block.size()),
                                nullptr, kLetterNone, m_percent);
        }))
        return false;
    const SHeaderFields f = SHeaderFields::Extract(block);
    return Raise([&] {
        m_owner.OnHeader(kPop3Retr, f.returnPath.c_str(), f.received.c_str(), f.date.c_str(), f.from.c_str(),
                         f.subject.c_str(), f.sender.c_str(), f.to.c_str(), f.cc.c_str());
    });
}

bool CPop3::MessageDone()
{
    if (m_retr == ERetr::kHeaders && !HeadersDone())
        return false;
    if (!m_walker.Finish())
        return false;
    if (m_mailFile.IsOpen() && !m_mailFile.Flush()) {
        m_mailFile.Discard();
        if (!Raise([&] { m_owner.OnException(kExcPop3Files, kTextMailWrite); }))
            return false;
    }
    if (m_mailFile.IsOpen()) {
        const uint32_t bytes = m_mailFile.Bytes();
        const bool committed = m_mailFile.Commit();
        const std::string path = m_mailFile.Path();
        if (!Raise([&] {
                if (committed)
                    m_owner.OnFileClosed(path.c_str(), kLetterNone, bytes);
                else
                    m_owner.OnException(kExcPop3Files, kTextMailFile);
            }))
            return false;
    }
    m_retr = ERetr::kDone;
    m_percent = 100;
    ResetBuffer();
    m_owner.OnPop3Event(Pop3_Mail, kPop3Retr, nullptr, 0, nullptr, kLetterNone, 100);
    return false;
}

bool CPop3::WalkerText(const char* data, size_t length, char letter)
{
    return Raise([&] {
        m_owner.OnPop3Event(Pop3_Mail, kPop3Retr, data, static_cast<uint32_t>(length), nullptr, letter,
                            m_percent);
    });
}

bool CPop3::WalkerFileData(const char* data, size_t length, const char* path, char letter)
{
    return Raise([&] {
        m_owner.OnPop3Event(Pop3File, kPop3Retr, data, static_cast<uint32_t>(length), path, letter,
                            m_percent);
    });
}

bool CPop3::WalkerFileClosed(const char* path, char letter, uint32_t bytes)
{
    return Raise([&] { m_owner.OnFileClosed(path, letter, bytes); });
}

bool CPop3::WalkerException(uint8_t code, const char* text)
{
    return Raise([&] { m_owner.OnException(code, text); });
}
