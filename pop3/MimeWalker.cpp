#include "pop3/MimeWalker.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "pop3/MimeHeader.h"
#include "pop3/Pop3Codes.h"
#include "pop3/QpDecoder.h"
#include "pop3/UuDecoder.h"

namespace {

constexpr size_t kStopped = SIZE_MAX;
constexpr size_t kNone = SIZE_MAX;
constexpr size_t kDecodeBuffer = 65536;
constexpr size_t kTerminatorLookAhead = 85;

bool StartsWithNoCase(const char* begin, const char* end, const char* word)
{
    const size_t n = std::strlen(word);
    return static_cast<size_t>(end - begin) >= n && strncasecmp(begin, word, n) == 0;
}

// Whether the partial text could still grow into the word.
bool PrefixOfNoCase(const char* begin, const char* end, const char* word)
{
    const auto n = std::min(static_cast<size_t>(end - begin), std::strlen(word));
    return strncasecmp(begin, word, n) == 0;
}

}  // namespace

CMimeWalker::CMimeWalker(IEvents& events) : m_events(events)
{
    m_decoded.resize(kDecodeBuffer);
}

void CMimeWalker::Begin(const std::string& attachDir, bool unique)
{
    Abort();
    m_attachDir = attachDir;
    m_unique = unique;
}

void CMimeWalker::Abort()
{
    m_file.Discard();
    m_kind = SinglePart;
    m_state = BodyStart;
    m_letter = ' ';
    m_boundaryStack.clear();
    m_crlf = true;
    m_atLineStart = true;
    m_embeddedUu = false;
    m_skipEndLine = false;
    m_skipBeginLine = false;
    m_textPart = true;
    m_qpBreak = false;
    m_fileFailed = false;
    m_header.clear();
    m_base64.Reset();
    m_pendingEol.clear();
    m_eolBegin = m_eolEnd = nullptr;
    m_spanBegin = m_spanEnd = nullptr;
    m_decodedLength = 0;
    m_held.clear();
}

bool CMimeWalker::TopHeader(std::string_view block)
{
    const SMimeHeader header = CMimeHeader::Parse(block);
    if (!header.boundary.empty() && header.boundary.size() <= kMaxBoundary) {
        m_kind = Multipart;
        m_boundaryStack.push_back("--" + header.boundary);
        m_state = FindBoundary;
        return true;
    }
    return StartPart(header.letter, header.name);
}

bool CMimeWalker::Feed(const char* data, size_t length)
{
    if (m_held.empty()) {
        const size_t used = Walk(data, data + length, false);
        if (used == kStopped)
            return false;
        m_held.assign(data + used, length - used);
        return true;
    }
    std::string work;
    work.swap(m_held);
    work.append(data, length);
    const size_t used = Walk(work.data(), work.data() + work.size(), false);
    if (used == kStopped)
        return false;
    m_held.assign(work, used, std::string::npos);
    return true;
}

bool CMimeWalker::Finish()
{
    std::string work;
    work.swap(m_held);
    if (Walk(work.data(), work.data() + work.size(), true) == kStopped)
        return false;
    // The end of the message ends the part in every encoding.
    if (m_state == BodyStart || m_state == BodyLines) {
        if (m_letter == kLetterNone && !DeliverPendingEol())
            return false;
        if (m_letter == kLetterQuoted && m_qpBreak && !PutDecoded("\r\n", 2, FlushLetter()))
            return false;
        if (!EndPart(m_letter))
            return false;
    } else if (m_file.IsOpen() && !EndPart(m_letter)) {
        return false;
    }
    m_state = MessageEnd;
    return true;
}

size_t CMimeWalker::Walk(const char* p, const char* e, bool final)
{
    const char* const start = p;
    m_spanBegin = m_spanEnd = nullptr;
    while (p < e) {
        EStep step = EStep::kNeedMore;
        switch (m_state) {
        case FindBoundary: step = StepFindBoundary(p, e, final); break;
        case PartHeader: step = StepPartHeader(p, e, final); break;
        case BodyStart: step = StepBodyStart(p, e, final); break;
        case BodyLines:
            switch (m_letter) {
            case kLetterBase64: step = StepBase64(p, e); break;
            case kLetterQuoted: step = StepQuoted(p, e, final); break;
            case kLetterUu: step = StepUu(p, e, final); break;
            default: step = StepRaw(p, e, final); break;
            }
            break;
        case MessageEnd: p = e; break;
        }
        if (step == EStep::kStop)
            return kStopped;
        if (step == EStep::kNeedMore)
            break;
    }
    if (!FlushSpan() || !FlushDecoded(FlushLetter()))
        return kStopped;
    if (m_eolBegin) {
        // The line break was used up; it is kept until the next line tells whether it is content.
        m_pendingEol.assign(m_eolBegin, m_eolEnd);
        m_eolBegin = m_eolEnd = nullptr;
    }
    return static_cast<size_t>(p - start);
}

bool CMimeWalker::GetLine(const char* p, const char* e, bool final, bool anyLf, SLine& line) const
{
    line.begin = p;
    const char* from = p;
    while (from < e) {
        const auto* lf = static_cast<const char*>(std::memchr(from, '\n', static_cast<size_t>(e - from)));
        if (!lf)
            break;
        const bool cr = lf > p && lf[-1] == '\r';
        if (cr || anyLf || !m_crlf) {
            line.end = cr && (anyLf || m_crlf) ? lf - 1 : lf;
            line.next = lf + 1;
            line.complete = true;
            return true;
        }
        from = lf + 1;
    }
    if (!final && static_cast<size_t>(e - p) <= kMaxHeldLine)
        return false;
    // The last line of the message, or one too long to hold: cut here.
    line.end = e;
    line.next = e;
    line.complete = final;
    return true;
}

bool CMimeWalker::FinishLine(const char*& p, const char* e, bool anyLf)
{
    SLine line;
    if (GetLine(p, e, false, anyLf, line) && line.complete) {
        p = line.next;
        m_atLineStart = true;
        return true;
    }
    // A CR at the end may be the first half of the line break.
    p = e > p && e[-1] == '\r' ? e - 1 : e;
    return false;
}

size_t CMimeWalker::Delimiter(const char* begin, const char* end, bool* closing) const
{
    const auto length = static_cast<size_t>(end - begin);
    if (length < 2 || begin[0] != '-' || begin[1] != '-')
        return kNone;
    for (size_t level = m_boundaryStack.size(); level-- > 0;) {
        const std::string& delimiter = m_boundaryStack[level];
        if (length < delimiter.size() || std::memcmp(begin, delimiter.data(), delimiter.size()) != 0)
            continue;
        const char* rest = begin + delimiter.size();
        if (end - rest >= 2 && rest[0] == '-' && rest[1] == '-') {
            *closing = true;
            return level;
        }
        if (std::all_of(rest, end, [](char c) { return c == ' ' || c == '\t' || c == '\r'; })) {
            *closing = false;
            return level;
        }
    }
    return kNone;
}

bool CMimeWalker::MayBeDelimiter(const char* begin, const char* end) const
{
    if (m_kind != Multipart)
        return false;
    const auto length = static_cast<size_t>(end - begin);
    for (const std::string& delimiter : m_boundaryStack) {
        const size_t common = std::min(length, delimiter.size());
        if (std::memcmp(begin, delimiter.data(), common) != 0)
            continue;
        if (length <= delimiter.size())
            return true;
        const char* rest = begin + delimiter.size();
        if (rest[0] == '-' ||
            std::all_of(rest, end, [](char c) { return c == ' ' || c == '\t' || c == '\r'; }))
            return true;
    }
    return false;
}

bool CMimeWalker::IsBeginLine(const char* begin, const char* end, std::string* name)
{
    if (!StartsWithNoCase(begin, end, "begin "))
        return false;
    const char* p = begin + 6;
    const char* digits = p;
    while (p < end && *p >= '0' && *p <= '7')
        ++p;
    if (p - digits < 3 || p - digits > 4 || p == end || *p != ' ')
        return false;
    ++p;
    while (end > p && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r'))
        --end;
    if (p == end)
        return false;
    name->assign(p, end);
    return true;
}

CMimeWalker::EStep CMimeWalker::StepFindBoundary(const char*& p, const char* e, bool final)
{
    if (!m_atLineStart && !FinishLine(p, e, true))
        return EStep::kNeedMore;
    SLine line;
    if (p >= e || !GetLine(p, e, final, true, line))
        return EStep::kNeedMore;
    p = line.next;
    m_atLineStart = line.complete;
    bool closing = false;
    const size_t level = Delimiter(line.begin, line.end, &closing);
    if (level == kNone)
        return EStep::kGoOn;
    if (closing) {
        m_boundaryStack.resize(level);
        if (m_boundaryStack.empty())
            m_state = MessageEnd;
    } else {
        m_boundaryStack.resize(level + 1);
        m_state = PartHeader;
        m_header.clear();
    }
    return EStep::kGoOn;
}

CMimeWalker::EStep CMimeWalker::StepPartHeader(const char*& p, const char* e, bool final)
{
    for (;;) {
        if (!m_atLineStart && !FinishLine(p, e, true))
            return EStep::kNeedMore;
        SLine line;
        if (p >= e || !GetLine(p, e, final, true, line))
            return EStep::kNeedMore;
        bool closing = false;
        if (Delimiter(line.begin, line.end, &closing) != kNone)
            break;  // a part without a blank line: its body is empty
        p = line.next;
        m_atLineStart = line.complete;
        if (line.begin == line.end && line.complete)
            break;
        if (m_header.size() < kMaxPartHeader) {
            m_header.append(line.begin, line.end);
            m_header += "\r\n";
        }
    }
    const SMimeHeader header = CMimeHeader::Parse(m_header);
    m_header.clear();
    if (!header.boundary.empty() && header.boundary.size() <= kMaxBoundary &&
        m_boundaryStack.size() < kMaxDepth) {
        m_boundaryStack.push_back("--" + header.boundary);
        m_state = FindBoundary;
        return EStep::kGoOn;
    }
    if (header.IsMessage())
        return EStep::kGoOn;  // the embedded message's own header comes next
    return StartPart(header.letter, header.name) ? EStep::kGoOn : EStep::kStop;
}

CMimeWalker::EStep CMimeWalker::StepBodyStart(const char*& p, const char* e, bool final)
{
    if (!m_atLineStart && !FinishLine(p, e, true))
        return EStep::kNeedMore;
    const size_t window = std::min(static_cast<size_t>(e - p), kTerminatorLookAhead);
    const auto* lf = static_cast<const char*>(std::memchr(p, '\n', window));
    if (!lf && window < kTerminatorLookAhead && !final)
        return EStep::kNeedMore;
    m_crlf = !lf || (lf > p && lf[-1] == '\r');
    m_state = BodyLines;
    return EStep::kGoOn;
}

CMimeWalker::EStep CMimeWalker::StepRaw(const char*& p, const char* e, bool final)
{
    while (p < e) {
        if (!m_atLineStart) {
            // The rest of a line already known to be content.
            SLine line;
            if (GetLine(p, e, false, false, line) && line.complete) {
                if (!Output(p, static_cast<size_t>(line.end - p)))
                    return EStep::kStop;
                m_eolBegin = line.end;
                m_eolEnd = line.next;
                p = line.next;
                m_atLineStart = true;
                continue;
            }
            const char* stop = !final && m_crlf && e[-1] == '\r' ? e - 1 : e;
            if (!Output(p, static_cast<size_t>(stop - p)))
                return EStep::kStop;
            p = stop;
            return EStep::kNeedMore;
        }
        SLine line;
        if (!GetLine(p, e, final, false, line)) {
            // An unfinished line is held while it may still turn out a delimiter, a begin
            // line or the end line to skip; otherwise it is content.
            if (MayBeDelimiter(p, e) || (m_textPart && PrefixOfNoCase(p, e, "begin ")) ||
                (m_skipEndLine && PrefixOfNoCase(p, e, "end")))
                return EStep::kNeedMore;
            if (!DeliverPendingEol())
                return EStep::kStop;
            m_skipEndLine = false;
            m_atLineStart = false;
            continue;
        }
        bool closing = false;
        if (m_kind == Multipart && Delimiter(line.begin, line.end, &closing) != kNone) {
            m_eolBegin = m_eolEnd = nullptr;
            m_pendingEol.clear();
            if (!EndPart(kLetterNone))
                return EStep::kStop;
            m_state = FindBoundary;
            return EStep::kGoOn;
        }
        if (m_skipEndLine) {
            m_skipEndLine = false;
            if (StartsWithNoCase(line.begin, line.end, "end")) {
                p = line.next;
                m_atLineStart = line.complete;
                continue;
            }
        }
        std::string name;
        if (m_textPart && !m_file.IsOpen() && IsBeginLine(line.begin, line.end, &name)) {
            // The text before it keeps its line break; the file starts after the begin line.
            if (!DeliverPendingEol() || !FlushSpan())
                return EStep::kStop;
            p = line.next;
            m_atLineStart = line.complete;
            m_letter = kLetterUu;
            m_embeddedUu = true;
            m_skipBeginLine = false;
            return OpenFile(name) ? EStep::kGoOn : EStep::kStop;
        }
        if (!DeliverPendingEol() || !Output(line.begin, static_cast<size_t>(line.end - line.begin)))
            return EStep::kStop;
        if (line.next > line.end) {
            m_eolBegin = line.end;
            m_eolEnd = line.next;
        }
        p = line.next;
        m_atLineStart = line.complete;
    }
    return EStep::kNeedMore;
}

CMimeWalker::EStep CMimeWalker::StepBase64(const char*& p, const char* e)
{
    while (p < e) {
        if (kDecodeBuffer - m_decodedLength < 1024 && !FlushDecoded(FlushLetter()))
            return EStep::kStop;
        const size_t room = kDecodeBuffer - m_decodedLength;
        const size_t slice = std::min(static_cast<size_t>(e - p), (room - 3) / 3 * 4);
        size_t written = 0;
        bool stopped = false;
        const size_t used = m_base64.Decode(p, slice, m_decoded.data() + m_decodedLength, &written, &stopped);
        m_decodedLength += written;
        const char* const at = p + used;
        m_atLineStart = used == 0 ? m_atLineStart : at[-1] == '\n';
        p = at;
        if (stopped) {
            // Padding or a stray character ends the part; a delimiter line (its "-") too.
            m_base64.Reset();
            if (!EndPart(kLetterBase64))
                return EStep::kStop;
            return AfterPart() ? EStep::kGoOn : EStep::kStop;
        }
    }
    return EStep::kNeedMore;
}

CMimeWalker::EStep CMimeWalker::StepQuoted(const char*& p, const char* e, bool final)
{
    while (p < e) {
        const bool lineStart = m_atLineStart;
        SLine line;
        if (!GetLine(p, e, final, false, line))
            return EStep::kNeedMore;
        bool closing = false;
        if (lineStart && m_kind == Multipart && Delimiter(line.begin, line.end, &closing) != kNone) {
            m_qpBreak = false;  // the line break before a delimiter belongs to it
            if (!EndPart(kLetterQuoted))
                return EStep::kStop;
            m_state = FindBoundary;
            return EStep::kGoOn;
        }
        const auto length = static_cast<size_t>(line.end - line.begin);
        if (kDecodeBuffer - m_decodedLength < length + 2 && !FlushDecoded(FlushLetter()))
            return EStep::kStop;
        if (m_qpBreak) {
            std::memcpy(m_decoded.data() + m_decodedLength, "\r\n", 2);
            m_decodedLength += 2;
        }
        bool hardBreak = false;
        m_decodedLength +=
            CQpDecoder::DecodeLine(line.begin, length, m_decoded.data() + m_decodedLength, &hardBreak);
        m_qpBreak = hardBreak && line.next > line.end;
        p = line.next;
        m_atLineStart = line.complete;
    }
    return EStep::kNeedMore;
}

CMimeWalker::EStep CMimeWalker::StepUu(const char*& p, const char* e, bool final)
{
    while (p < e) {
        if (!m_atLineStart && !FinishLine(p, e, false))
            return EStep::kNeedMore;
        SLine line;
        if (p >= e || !GetLine(p, e, final, false, line))
            return EStep::kNeedMore;
        bool closing = false;
        if (m_kind == Multipart && Delimiter(line.begin, line.end, &closing) != kNone) {
            if (!EndPart(kLetterUu))
                return EStep::kStop;
            m_state = FindBoundary;
            return EStep::kGoOn;
        }
        p = line.next;
        m_atLineStart = line.complete;
        const auto length = static_cast<size_t>(line.end - line.begin);
        if (m_skipBeginLine) {
            std::string name;
            if (length == 0)
                continue;
            m_skipBeginLine = false;
            if (IsBeginLine(line.begin, line.end, &name)) {
                if (!m_file.IsOpen() && !m_fileFailed && !OpenFile(name))
                    return EStep::kStop;
                continue;
            }
        }
        if (length == 0 || line.begin[0] == ' ' || line.begin[0] == '\t')
            continue;
        if (CUuDecoder::EndsData(line.begin, length)) {
            const bool endLine = StartsWithNoCase(line.begin, line.end, "end");
            if (!EndPart(kLetterUu))
                return EStep::kStop;
            if (m_embeddedUu) {
                m_embeddedUu = false;
                m_letter = kLetterNone;  // the text around the file goes on
                m_skipEndLine = !endLine;
                return EStep::kGoOn;
            }
            if (!AfterPart())
                return EStep::kStop;
            m_skipEndLine = !endLine;
            return EStep::kGoOn;
        }
        if (kDecodeBuffer - m_decodedLength < 64 && !FlushDecoded(FlushLetter()))
            return EStep::kStop;
        m_decodedLength += CUuDecoder::DecodeLine(line.begin, length, m_decoded.data() + m_decodedLength);
    }
    return EStep::kNeedMore;
}

bool CMimeWalker::AfterPart()
{
    if (m_kind == Multipart) {
        m_state = FindBoundary;
        return true;
    }
    // A single part goes on as plain text.
    return StartPart(kLetterNone, std::string());
}

bool CMimeWalker::StartPart(char letter, const std::string& name)
{
    m_file.Discard();
    m_letter = letter;
    m_state = BodyStart;
    m_base64.Reset();
    m_fileFailed = false;
    m_qpBreak = false;
    m_embeddedUu = false;
    m_skipEndLine = false;
    m_skipBeginLine = letter == kLetterUu;
    m_textPart = name.empty();
    m_pendingEol.clear();
    m_eolBegin = m_eolEnd = nullptr;
    return name.empty() || OpenFile(name);
}

bool CMimeWalker::OpenFile(const std::string& rawName)
{
    m_file.Discard();
    m_fileFailed = false;
    if (m_file.Create(m_attachDir, CMailFile::SafeName(rawName), m_unique))
        return true;
    m_fileFailed = true;
    return m_events.WalkerException(kExcPop3Files, kTextAttachFile);
}

bool CMimeWalker::EndPart(char letter)
{
    const char flushLetter = letter == kLetterQuoted ? FlushLetter() : letter;
    if (!FlushSpan() || !FlushDecoded(flushLetter))
        return false;
    m_letter = kLetterNone;
    if (!m_file.IsOpen())
        return true;
    const uint32_t bytes = m_file.Bytes();
    if (!m_file.Flush()) {
        m_file.Discard();
        m_fileFailed = true;
        return m_events.WalkerException(kExcPop3Files, kTextAttachWrite);
    }
    if (!m_file.Commit())
        return m_events.WalkerException(kExcPop3Files, kTextAttachFile);
    const std::string path = m_file.Path();
    return m_events.WalkerFileClosed(path.c_str(), letter, bytes);
}

char CMimeWalker::FlushLetter() const
{
    switch (m_letter) {
    case kLetterQuoted: return m_file.IsOpen() ? kLetterNone : kLetterQuoted;
    case kLetterUu: return kLetterUu;
    default: return kLetterNone;
    }
}

bool CMimeWalker::Deliver(const char* data, size_t length, char letter)
{
    if (length == 0)
        return true;
    if (m_file.IsOpen()) {
        if (m_file.Write(data, length)) {
            const std::string path = m_file.Path();
            return m_events.WalkerFileData(data, length, path.c_str(), letter);
        }
        m_file.Discard();
        m_fileFailed = true;
        if (!m_events.WalkerException(kExcPop3Files, kTextAttachWrite))
            return false;
    }
    if (letter == kLetterUu) {
        const std::string path = m_file.Path();
        return m_events.WalkerFileData(data, length, path.c_str(), letter);
    }
    return m_events.WalkerText(data, length, letter);
}

bool CMimeWalker::Output(const char* data, size_t length)
{
    if (length == 0)
        return true;
    if (m_spanEnd == data) {
        m_spanEnd += length;
        return true;
    }
    if (!FlushSpan())
        return false;
    m_spanBegin = data;
    m_spanEnd = data + length;
    return true;
}

bool CMimeWalker::FlushSpan()
{
    if (m_spanBegin == m_spanEnd)
        return true;
    const char* begin = m_spanBegin;
    const auto length = static_cast<size_t>(m_spanEnd - m_spanBegin);
    m_spanBegin = m_spanEnd = nullptr;
    return Deliver(begin, length, kLetterNone);
}

bool CMimeWalker::PutDecoded(const char* data, size_t length, char letter)
{
    if (kDecodeBuffer - m_decodedLength < length && !FlushDecoded(letter))
        return false;
    std::memcpy(m_decoded.data() + m_decodedLength, data, length);
    m_decodedLength += length;
    return true;
}

bool CMimeWalker::FlushDecoded(char letter)
{
    if (m_decodedLength == 0)
        return true;
    const size_t length = m_decodedLength;
    m_decodedLength = 0;
    return Deliver(m_decoded.data(), length, letter);
}

bool CMimeWalker::DeliverPendingEol()
{
    if (m_eolBegin) {
        const char* begin = m_eolBegin;
        m_eolBegin = nullptr;
        return Output(begin, static_cast<size_t>(m_eolEnd - begin));
    }
    if (m_pendingEol.empty())
        return true;
    if (!FlushSpan())
        return false;
    std::string eol;
    eol.swap(m_pendingEol);
    return Deliver(eol.data(), eol.size(), kLetterNone);
}
