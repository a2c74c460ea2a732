#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pop3/Base64Decoder.h"
#include "pop3/MailFile.h"

// Walks a message body as it streams in: multipart structure (nested, and embedded
// messages), base64, quoted-printable and uuencoded content, uuencoded files inside plain
// text. Every named part becomes a file in the attachment directory; everything else goes to
// the owner as text. The body it is fed is the message as the server stored it: byte
// stuffing and the end mark are the engine's business. Memory use does not grow with the
// size of a part: only an unfinished line (bounded) is held between chunks.
class CMimeWalker final {
public:
    // Every call returns false when the owner has moved on (a new command, a closed or
    // destroyed engine): the walker then returns at once and touches nothing of itself.
    class IEvents {
    public:
        virtual ~IEvents() = default;
        virtual bool WalkerText(const char* data, size_t length, char letter) = 0;
        // Bytes written to the open file; also uuencoded bytes of a file that could not be created.
        virtual bool WalkerFileData(const char* data, size_t length, const char* path, char letter) = 0;
        virtual bool WalkerFileClosed(const char* path, char letter, uint32_t bytes) = 0;
        virtual bool WalkerException(uint8_t code, const char* text) = 0;
    };

    enum PartKind : uint8_t { SinglePart = 1, Multipart = 2 };
    enum ParseState : uint8_t {
        FindBoundary = 1,
        PartHeader = 2,
        BodyStart = 4,
        BodyLines = 5,
        MessageEnd = 7
    };

    static constexpr size_t kMaxDepth = 24;       // BoundaryStack slots
    static constexpr size_t kMaxBoundary = 200;   // RFC 2046 allows 70
    static constexpr size_t kMaxHeldLine = 4096;  // an unfinished line longer than this is cut
    static constexpr size_t kMaxPartHeader = 65536;

    explicit CMimeWalker(IEvents& events);
    ~CMimeWalker() = default;
    CMimeWalker(const CMimeWalker&) = delete;
    CMimeWalker& operator=(const CMimeWalker&) = delete;

    // A new message; attachDir empty means the working directory.
    void Begin(const std::string& attachDir, bool unique);
    // The message's own header block: a boundary makes it multipart; a file name opens the file
    // that its body goes to.
    bool TopHeader(std::string_view block);
    bool Feed(const char* data, size_t length);
    // The end of the message: what is held is walked, an open file closed.
    bool Finish();
    // Drops an open file without an event and forgets the message.
    void Abort();

    PartKind Kind() const { return m_kind; }
    ParseState State() const { return m_state; }
    char EncodingLetter() const { return m_letter; }
    size_t Depth() const { return m_boundaryStack.size(); }

private:
    enum class EStep { kGoOn, kNeedMore, kStop };
    struct SLine {
        const char* begin;
        const char* end;   // before the terminator
        const char* next;  // after the terminator
        bool complete;     // false: the data ended first (or the line was too long to hold)
    };

    // Walks [p, e); returns how much was used, or SIZE_MAX after a stop.
    size_t Walk(const char* p, const char* e, bool final);
    EStep StepFindBoundary(const char*& p, const char* e, bool final);
    EStep StepPartHeader(const char*& p, const char* e, bool final);
    EStep StepBodyStart(const char*& p, const char* e, bool final);
    EStep StepRaw(const char*& p, const char* e, bool final);
    EStep StepBase64(const char*& p, const char* e);
    EStep StepQuoted(const char*& p, const char* e, bool final);
    EStep StepUu(const char*& p, const char* e, bool final);

    // The line at p; false when more data must come first.
    // anyLf: a LF alone ends the line whatever the part's terminator (headers, delimiters).
    bool GetLine(const char* p, const char* e, bool final, bool anyLf, SLine& line) const;
    // Skips the rest of a line begun in earlier data; false when its end is not here yet.
    bool FinishLine(const char*& p, const char* e, bool anyLf);
    // The stack level of a delimiter line (SIZE_MAX: none); *closing when "--" follows.
    size_t Delimiter(const char* begin, const char* end, bool* closing) const;
    bool MayBeDelimiter(const char* begin, const char* end) const;
    static bool IsBeginLine(const char* begin, const char* end, std::string* name);

    bool StartPart(char letter, const std::string& name);
    bool AfterPart();
    char FlushLetter() const;
    bool OpenFile(const std::string& rawName);
    bool EndPart(char letter);
    bool Deliver(const char* data, size_t length, char letter);
    bool Output(const char* data, size_t length);  // raw content, joined while contiguous
    bool FlushSpan();
    bool PutDecoded(const char* data, size_t length, char letter);
    bool FlushDecoded(char letter);
    bool DeliverPendingEol();

    IEvents& m_events;
    std::string m_attachDir;
    bool m_unique = false;

    PartKind m_kind = SinglePart;
    ParseState m_state = BodyLines;
    char m_letter = ' ';
    std::vector<std::string> m_boundaryStack;  // "--" + boundary, innermost last
    bool m_crlf = true;                        // the part's line terminator
    bool m_atLineStart = true;
    bool m_embeddedUu = false;  // a uuencoded file inside text: the text resumes after it
    bool m_skipEndLine = false;
    bool m_skipBeginLine = false;
    bool m_textPart = true;  // no name: begin lines inside start uuencoded files
    bool m_qpBreak = false;  // a hard line break waits until the next line is seen
    std::string m_header;    // the part header being gathered

    CMailFile m_file;
    bool m_fileFailed = false;  // the part's file could not be created or written
    CBase64Decoder m_base64;

    // The line break after the last content line: content unless a delimiter follows. While
    // it lies in the data being walked it is kept as a pointer, afterwards as a copy.
    const char* m_eolBegin = nullptr;
    const char* m_eolEnd = nullptr;
    std::string m_pendingEol;
    const char* m_spanBegin = nullptr;
    const char* m_spanEnd = nullptr;
    std::vector<char> m_decoded;
    size_t m_decodedLength = 0;
    std::string m_held;  // data not walked yet
};
