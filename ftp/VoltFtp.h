#pragma once

#include <cstdint>
#include <memory>

#include "ftp/FtpTypes.h"

class CFtpControl;

// The FTP client component. Operations queue commands and return at once; everything that
// happens comes back as the virtual events, which an application overrides. Texts handed to
// an event are valid only during the event.
class CVoltFtp {
public:
    CVoltFtp();
    virtual ~CVoltFtp();
    CVoltFtp(const CVoltFtp&) = delete;
    CVoltFtp& operator=(const CVoltFtp&) = delete;

    // Events, in slot order.
    virtual void OnConnect(const char* remoteHost, uint16_t remotePort, const char* localAddress,
                           uint16_t localPort, const char* localHostName);
    // Each command line sent (without its CR LF) and the lines about control data that is
    // not a reply.
    virtual void OnCommandEcho(const char* text) = 0;
    // Bytes of a listing or of a download without a local file; (null, 0) when the data
    // connection has closed.
    virtual void OnTransferData(const char* data, uint32_t length);
    // After every block written or sent; with block count 0 once the local file is closed.
    virtual void OnTransferProgress(uint8_t command, uint32_t blockCount, uint64_t byteTotal,
                                    const char* localPath);
    // Every reply as received, with its ReplyStatus and the FtpCommandId it answers. Status 1
    // with command 0, code 0 and an empty text: the control connection has closed.
    virtual void OnReply(uint8_t status, uint8_t command, unsigned code, const char* text) = 0;
    // An upload without a local file may send its next block with SendData.
    virtual void OnTransferReady(uint32_t tag);
    virtual void OnException(uint8_t code, const char* text);
    // Before a command is sent: point text elsewhere or change length; length 0 sends nothing.
    virtual void OnCommandFilter(const char*& text, uint32_t& length);
    // Before a reply is interpreted: length 0 makes the engine ignore it.
    virtual void OnReplyFilter(const char*& text, uint32_t& length);

    // host: a name or dotted address, optionally ":port" (21 without one). The login runs
    // by itself when a user name is given.
    bool Connect(const char* host, const char* localAddress, const char* user, const char* password,
                 const char* account, uint8_t flags);
    bool Quote(const char* command);
    bool ChangeDir(const char* directory);
    bool ChangeDirUp();
    bool Quit();
    bool Rename(const char* oldName, const char* newName);
    bool Abort();  // ABOR now, past the queue, with the Telnet IP and Synch
    bool Delete(const char* file);
    bool RemoveDir(const char* directory);
    bool MakeDir(const char* directory);
    bool PrintDir();
    bool Help(const char* topic);
    bool System();
    bool Status(const char* path);
    bool Noop();
    bool Site(const char* command);
    // The data connection at once, then the control connection gracefully; the queue stays.
    void Kill();

    // Transfers: type kFtpTypeAscii, kFtpTypeEbcdic, kFtpTypeImage or any other value for no
    // TYPE; an empty local file hands the bytes to OnTransferData or asks for them with
    // OnTransferReady. Store and StoreUnique fail when the local file does not exist.
    bool Retrieve(const char* localFile, const char* remoteFile, uint32_t blockSize, uint8_t type,
                  bool passive, uint16_t listenTimeout);
    bool Store(const char* localFile, const char* remoteFile, uint32_t blockSize, uint8_t type, bool passive,
               uint16_t listenTimeout);
    bool StoreUnique(const char* localFile, const char* remoteFile, uint32_t blockSize, uint8_t type,
                     bool passive, uint16_t listenTimeout);
    bool Append(const char* localFile, const char* remoteFile, uint32_t blockSize, uint8_t type, bool passive,
                uint16_t listenTimeout);
    bool List(const char* fileSpec, bool passive, uint16_t listenTimeout);
    bool NameList(const char* fileSpec, bool passive, uint16_t listenTimeout);
    // Applies to every later RETR and STOR until changed.
    void SetRestart(int64_t offset);
    bool SendData(const char* data, uint32_t length);
    bool CloseData();

    // State of the control connection (CVoltTcp::State values).
    uint8_t GetState() const;
    uint8_t CurrentCommand() const;

protected:
    CFtpControl& Control() { return *m_control; }

private:
    // Reports and refuses a text with a line break.
    bool Refused(const char* text, const char* other = nullptr);
    bool QueueChecked(const char* word, const char* argument, uint8_t id);
    bool Transfer(uint8_t id, const char* localFile, const char* remoteFile, uint32_t blockSize, uint8_t type,
                  bool passive, uint16_t listenTimeout);

    std::unique_ptr<CFtpControl> m_control;
};
