#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "pop3/Pop3Codes.h"

class CPop3;

// The POP3 component. Applications derive from it and override the events they need; every
// default does nothing. Texts handed to an event are valid only during the event. Handlers
// may call any operation, even one that ends the current reply (a new command, Quit).
class CVoltPop3 {
public:
    CVoltPop3();
    virtual ~CVoltPop3();
    CVoltPop3(const CVoltPop3&) = delete;
    CVoltPop3& operator=(const CVoltPop3&) = delete;

    // Events, in slot order.
    virtual void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                           uint16_t localPort, const char* localHostName);
    // status Pop3Closed .. Pop3Header; path is null unless data went to a file.
    virtual void OnPop3Event(uint8_t status, uint8_t command, const char* data, uint32_t length,
                             const char* path, char letter, uint16_t percent);
    // The last command line, with its CR LF, has been handed to the network.
    virtual void OnCommandSent(const char* line);
    virtual void OnFileClosed(const char* path, char letter, uint32_t bytes);
    virtual void OnException(uint8_t code, const char* text);
    virtual void OnHeader(uint8_t command, const char* returnPath, const char* received, const char* date,
                          const char* from, const char* subject, const char* sender, const char* to,
                          const char* cc);

    // options: the session flags, with UniqueNames. User name and password must fit a command
    // line and hold no line break; otherwise OnException tells why and nothing happens.
    bool Connect(uint8_t options, const char* host, uint16_t port, const char* localAddress,
                 uint16_t localPort, const char* user, const char* password);
    // abort: close at once, dropping a half-written file; otherwise send QUIT.
    bool Quit(bool abort);
    bool Delete(uint32_t message);
    // mailFile: a path for the whole message, or null; attachDir: where named parts go (null
    // or empty: the working directory).
    bool Retrieve(uint32_t message, const char* mailFile, const char* attachDir);
    bool Stat();
    bool Top(uint32_t message, uint32_t lines);
    uint8_t GetState() const;

protected:
    // A caller that needs its own engine (tests give it a transport of their own).
    using EngineFactory = std::function<std::unique_ptr<CPop3>(CVoltPop3&)>;
    explicit CVoltPop3(const EngineFactory& makeEngine);
    CPop3& Engine() { return *m_engine; }

private:
    std::unique_ptr<CPop3> m_engine;
};
