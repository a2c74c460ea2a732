#pragma once

#include <cstdint>
#include <string>

#include "pop3/VoltPop3.h"

// What the mail program's client changes in its window.
class IMailView {
public:
    virtual ~IMailView() = default;
    virtual void ShowStatus(const std::string& text, bool connected) = 0;
    virtual void ShowAction(const std::string& text) = 0;
    virtual void ShowException(const std::string& text) = 0;
    virtual void ShowServerError(const std::string& text) = 0;
    // Not connected any more: menus, list and progress back to rest.
    virtual void ShowClosed() = 0;
    virtual void AddListLine(const std::string& line) = 0;
    virtual void EnableList() = 0;
    virtual void RemoveSelectedLine() = 0;
    virtual void SetProgressMax(int maximum) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void AdvanceProgress(int by) = 0;
    // Bytes of the message (UTF-8 where they are; the view decides).
    virtual void InsertText(const std::string& bytes) = 0;
    virtual void ShowMessageView() = 0;
    virtual void ShowNoMessages() = 0;
};

// The mail program's POP3 client: logs in, lists headers, retrieves one message or saves
// them all, and tells its view what happened.
class CPopClient final : public CVoltPop3 {
public:
    static constexpr uint16_t kPop3Port = 110;

    explicit CPopClient(IMailView& view) : m_view(view) {}

    std::string Server, Account, Password, AttachDir;
    bool Unique = false;
    std::string MailFile;
    bool SaveAll = false;
    uint32_t Current = 0, Count = 0, Octets = 0;

    // Connects when closed ("host" or "host:port", port 110 by default); false otherwise.
    bool ConnectToServer();
    void RetrieveMessage(uint32_t number);
    // "Message.N" in the attachment directory (the working directory when none is set).
    std::string MailFilePath(uint32_t number) const;
    // Host and port of a server text; port 0 when the text after ':' is no port.
    static std::string HostOf(const std::string& server, uint16_t* port);
    // One line of the header list: number (4), Subject (25) and From (40), cut or padded.
    static std::string ListLine(uint32_t number, const std::string& subject, const std::string& from);

    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* localHostName) override;
    void OnPop3Event(uint8_t status, uint8_t command, const char* data, uint32_t length, const char* path,
                     char letter, uint16_t percent) override;
    void OnCommandSent(const char* line) override;
    void OnFileClosed(const char* path, char letter, uint32_t bytes) override;
    void OnException(uint8_t code, const char* text) override;
    void OnHeader(uint8_t command, const char* returnPath, const char* received, const char* date,
                  const char* from, const char* subject, const char* sender, const char* to,
                  const char* cc) override;

private:
    void Summary(const std::string& reply);
    void MessageText(const char* data, uint32_t length, uint16_t percent);

    IMailView& m_view;
};
