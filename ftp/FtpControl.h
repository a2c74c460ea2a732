#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ftp/FtpCommandList.h"
#include "ftp/FtpReplyAssembler.h"
#include "telnet/VoltTelnet.h"

class CFtpData;
class CFtpListen;
class CVoltFtp;

// The FTP control connection: assembles replies, classifies each against the command it
// answers, logs in, and sends the queued commands one at a time. It owns the listener of
// active mode and the data connection.
class CFtpControl final : public CVoltTelnet {
public:
    static constexpr uint32_t kDefaultBlockSize = 8196;
    static constexpr uint16_t kDefaultListenTimeout = 15;
    static constexpr size_t kLoginFieldSize = 64;  // user name, password, account: 63 characters
    static constexpr size_t kPendingSize = 80;     // a held completion: 79 characters
    static constexpr size_t kEchoLimit = 97;

    explicit CFtpControl(CVoltFtp& owner);
    ~CFtpControl() override;

    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* localHostName) override;
    void OnException(uint8_t code, const char* text) override;
    void OnTelnetData(const char* data, uint32_t length) override;

    // Sends one command line now, past the queue. True when sent or suppressed by the filter.
    bool SendCommand(const char* line, uint8_t id);

    void SetLogin(const char* user, const char* password, const char* account);
    void SetFlags(uint8_t flags) { m_flags = flags; }
    uint8_t Flags() const { return m_flags; }
    CFtpCommandList& Queue() { return m_queue; }

    // Queues TYPE, the data set-up, REST where it applies, and the transfer command.
    bool QueueTransfer(uint8_t id, const char* localFile, const char* remoteName, uint32_t blockSize,
                       uint8_t type, bool passive, uint16_t listenTimeout);
    void SetRestart(int64_t offset) { m_restartOffset = offset; }
    int64_t RestartOffset() const { return m_restartOffset; }
    bool SendData(const char* data, uint32_t length);
    bool CloseData();
    // The data connection at once, then the control connection gracefully.
    void Kill();

    uint8_t CurrentCommand() const { return m_currentCommand; }
    uint8_t CurrentType() const { return m_currentType; }
    void SetRequestedType(uint8_t type) { m_requestedType = type; }
    void SetLocalFile(const std::string& file) { m_localFile = file; }
    const std::string& LocalFile() const { return m_localFile; }
    uint32_t BlockSize() const { return m_blockSize; }
    const std::string& LocalAddress() const { return m_localAddress; }
    CVoltFtp& Owner() { return m_owner; }
    CFtpData* Data() const { return m_data; }
    CFtpListen* Listener() const { return m_listener; }

    // Opens the listener of active mode; its OnListen sends PORT.
    void StartListener();
    // The data connection of a 227 reply.
    void OpenPassive(const std::string& reply);
    // Called by the data connection's closing event: reports a held completion. True when
    // the data connection was destroyed.
    bool ReleasePending(CFtpData* data);
    bool HasPending() const { return !m_pending.empty(); }

private:
    friend class CFtpData;
    friend class CFtpListen;

    void Interpret(const std::string& reply);
    void Report(uint8_t status, uint8_t command, unsigned code, const char* text);
    void CompleteOrContinue(uint8_t command, unsigned code, const char* text);
    void TransferEnd(uint8_t command, unsigned code, const char* text);
    void DestroyListener();
    void DestroyData();
    CFtpData* NewData();
    void OnControlClosed();

    int64_t m_restartOffset = 0;
    CFtpCommandList m_queue;
    uint32_t m_blockSize = kDefaultBlockSize;
    CVoltFtp& m_owner;
    CFtpListen* m_listener = nullptr;
    CFtpData* m_data = nullptr;
    uint16_t m_listenTimeout = kDefaultListenTimeout;
    std::string m_pending;  // a held completion, empty when none
    uint8_t m_currentType = 0;
    uint8_t m_requestedType = 0;
    CFtpReplyAssembler m_replies;
    std::string m_user, m_password, m_account;
    std::string m_localAddress;
    std::string m_remoteAddress;  // the server: passive connections go there whatever 227 says
    std::string m_localFile;
    uint8_t m_flags = 0;
    uint8_t m_currentCommand = 0;
    // Counts closes of the control connection, so a reply loop notices one inside an event.
    uint32_t m_closeCount = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
