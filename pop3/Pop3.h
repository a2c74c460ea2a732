#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "lib/VoltTcp.h"
#include "pop3/MailFile.h"
#include "pop3/MimeWalker.h"
#include "pop3/PktBuf.h"

class CVoltPop3;

// The POP3 engine: sends the commands, gathers the replies from chunks of any size, drives
// the login from the greeting, and streams a retrieved message through the MIME walker into
// the mail file and the attachment files. Everything it learns goes to its facade's events.
class CPop3 : public CVoltTcp, protected PktBuf, private CMimeWalker::IEvents {
public:
    static constexpr size_t kMaxStatusLine = 65536;      // RFC 1939 allows 512
    static constexpr size_t kMaxTopReply = 16u << 20;    // a header block of TOP
    static constexpr size_t kMaxHeaderBlock = 4u << 20;  // the header of a retrieved message
    static constexpr uint32_t kDefaultExpectedSize = 10000;

    explicit CPop3(CVoltPop3& owner);
    ~CPop3() override;

    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* localHostName) override;
    void OnReceive(const char* data, uint32_t length) override;
    void OnSent(uint32_t tag) override;
    void OnException(uint8_t code, const char* text) override;

    bool Connect(uint8_t options, const char* host, uint16_t port, const char* localAddress,
                 uint16_t localPort, const char* user, const char* password);
    bool Quit(bool abort);
    bool Delete(uint32_t message);
    bool Retrieve(uint32_t message, const char* mailFile, const char* attachDir);
    bool Stat();
    bool Top(uint32_t message, uint32_t lines);

    uint8_t Command() const { return m_command; }
    uint32_t ExpectedSize() const { return m_expectedSize; }
    uint16_t Percent() const { return m_percent; }
    const CMimeWalker& Walker() const { return m_walker; }

    // The size a RETR status line announces ("+OK 2048 octets", "+OK message follows (2048
    // octets)"); kDefaultExpectedSize when it names none.
    static uint32_t ParseExpectedSize(std::string_view statusLine);

protected:
    // The transport under the protocol: the stream facade's Connect and Close. Send is the
    // facade's own virtual.
    virtual bool ConnectSession(uint8_t options, const char* host, uint16_t port, const char* localAddress,
                                uint16_t localPort);
    virtual bool CloseSession(bool abort);

private:
    enum class ERetr { kStatus, kHeaders, kBody, kDone };

    bool SendCommand(uint8_t command, const std::string& line);
    void ReceiveReply(const char* data, uint32_t length);
    void ReceiveRetrieval(const char* data, uint32_t length);
    bool ReplyTooLong();
    // The body after the status line, byte stuffing removed; false when the engine moved on.
    bool Unstuff(const char* p, const char* e);
    bool Content(const char* data, size_t length);
    bool HeadersDone();
    bool MessageDone();
    void UpdatePercent();
    void DropFiles();

    // Raises one event; false when the owner moved on meanwhile (a new command, or the
    // engine destroyed), in which case nothing of this object may be touched.
    template <typename Event>
    bool Raise(Event&& event)
    {
        const auto alive = m_alive;
        const uint32_t generation = m_generation;
        event();
        return *alive && m_generation == generation;
    }

    bool WalkerText(const char* data, size_t length, char letter) override;
    bool WalkerFileData(const char* data, size_t length, const char* path, char letter) override;
    bool WalkerFileClosed(const char* path, char letter, uint32_t bytes) override;
    bool WalkerException(uint8_t code, const char* text) override;

    CVoltPop3& m_owner;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    uint32_t m_generation = 0;  // goes up with every command and close

    std::string m_user;
    std::string m_password;
    uint8_t m_options = 0;
    uint8_t m_command = 3;
    uint32_t m_chunks = 0;
    bool m_topFlag = false;
    std::string m_commandLine;

    // Retrieval.
    ERetr m_retr = ERetr::kDone;
    std::string m_mailName;
    std::string m_attachDir;
    CMailFile m_mailFile;
    bool m_mailFailed = false;
    uint32_t m_expectedSize = 0;
    uint32_t m_received = 0;
    uint16_t m_percent = 0;
    bool m_lineStart = true;    // the body's next byte starts a line
    std::string m_stuffHeld;    // "." or ".\r" at the end of a chunk, undecided yet
    std::string m_headerBlock;  // the message header gathered so far
    CMimeWalker m_walker;
};
