#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <QFont>
#include <QPointer>
#include <QSize>

#include "vt/Vt.h"
#include "vt/VtKeyboard.h"
#include "vt/qt/VtWidget.h"

class CQtPrintSink;
class QWidget;

// The terminal component: one emulator, its window and its keyboard. Owners derive from it
// and override the events they need; SendToHost is the one every owner must provide.
class CVoltVt {
public:
    // pdfPath: print output when no printer is configured (empty: the sink's default).
    explicit CVoltVt(const QString& pdfPath = QString());
    virtual ~CVoltVt();
    CVoltVt(const CVoltVt&) = delete;
    CVoltVt& operator=(const CVoltVt&) = delete;

    // The window, created once inside parent; nullptr when the emulator could not be set up.
    CVtWidget* CreateTerminalWindow(QWidget* parent);
    CVtWidget* TerminalWindow() const { return m_widget.data(); }

    void ReceiveData(const uint8_t* bytes, size_t length);
    void ReceiveData(const char* bytes, size_t length)
    {
        ReceiveData(reinterpret_cast<const uint8_t*>(bytes), length);
    }
    VtValue GetProperty(int id) const;
    VtValue SetProperty(int id, VtValue value);
    // History and screen text, lines of Columns() characters and CR LF; see CVtScreen.
    int GetText(char* buffer, int length) const;

    // The window's set-font message: the family "VT220_ascii" is the terminal's own face.
    void SetFont(const QFont& font);
    QFont GetFont() const;

    // The keyboard's layout and Alt key (the emulator's property table holds the rest).
    void SetKeyLayout(EVtKeyLayout layout) { m_keyLayout = layout; }
    EVtKeyLayout KeyLayout() const { return m_keyLayout; }
    void SetAltSendsEscape(bool on);
    bool AltSendsEscape() const { return m_altSendsEscape; }
    // The screen takes the size of the window's text area, now and on every change.
    void SetFollowWindow(bool on);
    bool FollowWindow() const { return m_followWindow; }
    // The selected text: in UTF-8 mode line by line without the blanks that end a line; in
    // 8-bit mode as the selection properties count it, Columns() characters and CR LF a line.
    QString SelectedText() const;

    CVt& Emulator();
    const CVt& Emulator() const;
    CQtPrintSink& PrintSink() { return *m_sink; }

protected:
    // A mode change asked for by the host; set handled to keep the table unchanged.
    virtual void OnPropertyHook(int /*id*/, VtValue /*value*/, bool& /*handled*/) {}
    // Every key-down that reaches the mapping; key 0 swallows it.
    virtual void OnKeyNotify(uint32_t& /*key*/, uint32_t& /*shiftCode*/, bool /*extended*/) {}
    // Bytes for the host.
    virtual void SendToHost(const uint8_t* bytes, size_t length) = 0;
    // Mouse buttons (VtMouse types) at window coordinates.
    virtual void OnMouse(int /*x*/, int /*y*/, uint32_t /*type*/, uint32_t /*keys*/) {}
    // A captured line with CR LF.
    virtual void LineOutput(const uint8_t* /*bytes*/, size_t /*length*/) {}
    // The host set the window title.
    virtual void OnWindowTitle(const QString& /*title*/) {}
    // The screen has a new number of columns or rows.
    virtual void OnScreenSize(int /*columns*/, int /*rows*/) {}
    // The middle button or Shift+Insert: paste the primary selection.
    virtual void OnPasteSelection() {}

private:
    class CTerminal;
    friend class CTerminal;

    CVtKeyboardState KeyboardState() const;
    void SyncLook();
    void Bell(bool audible);
    void OnWidgetMouse(int x, int y, VtMouse type, uint32_t keys);
    void FitToWindow(int columns, int rows);

    std::unique_ptr<CQtPrintSink> m_sink;
    std::unique_ptr<CTerminal> m_vt;
    CVtKeyboard m_keyboard;
    QPointer<CVtWidget> m_widget;
    bool m_flashing = false;
    EVtKeyLayout m_keyLayout = kKeyLayoutDec;
    bool m_altSendsEscape = false;
    bool m_followWindow = false;
    QSize m_windowCells;  // the window's size in cells when the screen last took it
};
