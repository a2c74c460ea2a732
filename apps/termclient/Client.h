#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <QString>

#include "telnet/VoltTelnet.h"
#include "vt/qt/VoltVt.h"

// What the client shows on its main form.
class ITelnetClientView {
public:
    virtual ~ITelnetClientView() = default;
    virtual void SetStatus(int panel, const QString& text) = 0;
    // Connected: Remote System off; Disconnect, Copy and Paste on. Not connected: the reverse.
    virtual void SetConnectedMenus(bool connected) = 0;
    virtual void FocusTerminal() = 0;
    // The host named the window (empty: the program's own caption).
    virtual void SetTitle(const QString& title) = 0;
    // The middle button or Shift+Insert in the terminal.
    virtual void PasteSelection() = 0;
};

// The Telnet session and the terminal in one object: host data goes into the terminal,
// the terminal's bytes go to the host.
class CTelnetClient final : public CVoltTelnet, public CVoltVt {
public:
    CTelnetClient(ITelnetClientView& view, QWidget* parent, const QString& pdfPath = QString());
    ~CTelnetClient() override;

    std::string m_host;
    uint16_t m_port = 23;
    static constexpr int kScrollbackRows = 1000;
    bool m_addLineFeed = false;  // "CR -> CRLF"
    bool m_localEcho = false;
    bool m_showEvents = false;

    // Creates (truncates) the log file; false when it cannot be created or a log is open.
    bool StartLog(const std::string& path);
    void StopLog();
    bool Logging() const { return m_log != nullptr; }

    // CVoltTcp
    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* localHostName) override;
    void OnException(uint8_t code, const char* text) override;
    // CVoltTelnet
    void OnTelnetData(const char* data, uint32_t length) override;
    void OnTelnetCommand(uint8_t command, uint8_t option, const char* data, uint32_t length) override;

    // The server agreed to hear the window size (RFC 1073): it hears every change.
    bool WindowSizeAgreed() const { return m_nawsAgreed; }

protected:
    // CVoltVt
    void SendToHost(const uint8_t* bytes, size_t length) override;
    void OnKeyNotify(uint32_t& key, uint32_t& shiftCode, bool extended) override;
    void OnMouse(int x, int y, uint32_t type, uint32_t keys) override;
    void OnWindowTitle(const QString& title) override;
    void OnScreenSize(int columns, int rows) override;
    void OnPasteSelection() override;

private:
    void FeedTerminal(const uint8_t* bytes, size_t length);

    ITelnetClientView& m_view;
    std::FILE* m_log = nullptr;
    // Echoed bytes wait while the terminal is inside ReceiveData (its answers to queries
    // leave from there), so that the parser never runs nested inside itself.
    bool m_feeding = false;
    std::string m_pendingEcho;
    bool m_nawsAgreed = false;
};
