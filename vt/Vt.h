#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vt/PrintSink.h"
#include "vt/VtLevel.h"
#include "vt/VtPrinter.h"
#include "vt/VtProperty.h"
#include "vt/VtScreen.h"
#include "vt/VtUnicode.h"

// Designation of a G set.
constexpr uint16_t kCharsetAscii = 0;
constexpr uint16_t kCharsetGraphics = 4096;

constexpr int kUserKeyCount = 15;
constexpr int kUserKeyTotal = 256;  // all strings together stay below this
constexpr int kSequenceSize = 256;
constexpr int kMaxParameters = 16;
constexpr int kDeviceControlSize = 512;
// The longest operating-system command kept (a window title); the rest is read and dropped.
constexpr int kOperatingSystemSize = 512;
// The most rows a window's text area gives the screen.
constexpr int kMaxWindowRows = 1000;
// Larger counts than any screen needs read as this, so arithmetic cannot overflow.
constexpr int kMaxParameterValue = 1 << 24;

// The terminal emulator: the byte-level parser and command set on top of the screen model
// and the printer. Everything the owner must see leaves through the virtual events below;
// nothing here knows a socket or a widget.
class CVt : public IVtScreenOwner {
public:
    explicit CVt(IPrintSink* sink = nullptr);
    ~CVt() override;
    CVt(const CVt&) = delete;
    CVt& operator=(const CVt&) = delete;

    // Host data. Nothing happens while the emulator is disabled (kVtPropEnabled 0).
    void ReceiveData(const uint8_t* bytes, size_t length);
    void ReceiveData(const char* bytes, size_t length)
    {
        ReceiveData(reinterpret_cast<const uint8_t*>(bytes), length);
    }

    VtValue GetProperty(int id) const;
    // The table's own change; kUnknownProperty for an unknown id.
    VtValue SetProperty(int id, VtValue value);
    // A change asked for by the host: offered to the owner's hook first.
    VtValue RequestProperty(int id, VtValue value);

    // The size of the window's text area: the screen follows it (keeping the cursor's line),
    // and a reset returns to its width rather than to 80 columns.
    void ResizeToWindow(int columns, int rows);

    CVtScreen& Screen() { return m_screen; }
    const CVtScreen& Screen() const { return m_screen; }
    CVtPrinter& Printer() { return m_printer; }
    void SetWindow(IVtWindow* window) { m_screen.SetWindow(window); }

    // Host data is UTF-8 (kVtPropUtf8) rather than 8-bit characters and controls.
    bool Utf8() const { return m_utf8; }

    // Keyboard-side state (the keyboard mapping reads these).
    EVtLevel Level() const { return m_level; }
    const std::string& CsiPrefix() const { return m_csiPrefix; }
    const std::string& Ss3Prefix() const { return m_ss3Prefix; }
    bool CursorKeysApplication() const { return m_cursorKeysApp; }
    bool KeypadApplication() const { return m_keypadApp; }
    bool NewLineMode() const { return m_newLineMode; }
    bool BackspaceSendsBs() const { return m_backspaceBs; }
    int NationalSet() const { return m_nationalSet; }
    bool LineCapture() const { return m_lineCapture; }

    // The string loaded for a function key (key codes 17..34), nullptr when it has no slot.
    const std::string* UserKey(int keyNumber) const;
    bool UserKeyLocked(int keyNumber) const;
    // Sends the key's string; false when it is empty or not a user-defined key.
    bool SendUserKey(int keyNumber);

    // Pixel size of one cell, measured by the window from its font.
    void SetCellSize(int width, int height)
    {
        m_cellWidth = width;
        m_cellHeight = height;
    }

    // Character sets, for tests and the window.
    uint16_t Designation(int g) const { return m_g[g & 3]; }
    int GlSet() const { return m_glSet; }
    int GrSet() const { return m_grSet; }

protected:
    // The owner may take over a mode change by setting handled.
    virtual void OnPropertyHook(int id, VtValue value, bool& handled);
    // Bytes for the host (answers, user-defined keys, answerback).
    virtual void SendToHost(const uint8_t* bytes, size_t length);
    // A line left by LF or wrap while line capture is on, with CR LF.
    virtual void LineOutput(const uint8_t* bytes, size_t length);
    // BEL: audible beep or visual flash.
    virtual void OnBell(bool audible);
    // The window's colours, font metrics or caret shape changed.
    virtual void OnAppearanceChanged() {}
    // The host set the window title (OSC 0 or 2), in UTF-8.
    virtual void OnWindowTitle(const std::string& /*title*/) {}
    // The screen has a new number of columns or rows.
    virtual void OnScreenSize(int /*columns*/, int /*rows*/) {}

    void LineLeaving(int row) override;
    void ScreenResized(int rows, int columns) override { OnScreenSize(columns, rows); }

private:
    // Strings: a device-control string is collected for the user-defined keys, an
    // operating-system command for the title; the others (PM, APC, DCS below VT220) are read
    // and dropped. None of them is shown.
    enum EParserState : uint8_t {
        kGround = 0,
        kEscape = 8,
        kControlSequence = 9,
        kDeviceControl = 10,
        kOperatingSystem = 11,
        kIgnoredString = 12,
    };

    struct SSavedCursor {
        int row = 0;
        int column = 0;
        uint32_t attributes = 0;
        int glSet = 0;
        int grSet = 2;
        uint16_t g[4] = {kCharsetAscii, kCharsetAscii, kCharsetAscii, kCharsetAscii};
        bool autowrap = true;
        bool origin = false;
        uint32_t protect = 0;
        bool valid = false;
    };

    struct SUserKey {
        uint8_t key = 0;
        bool locked = false;
        std::string text;
    };

    // --- parser (VtParser.cpp) ---
    void ProcessByte(uint8_t byte);
    void ProcessCodePoint(uint32_t code);
    void ProcessStringControl(uint8_t byte);
    void EndString(EParserState string);
    bool InString() const { return m_state == kOperatingSystem || m_state == kIgnoredString; }
    size_t ScanPrintable(const uint8_t* bytes, size_t start, size_t end) const;
    size_t CollectControlSequence(const uint8_t* bytes, size_t start, size_t end);
    void ProcessPrintable(uint8_t byte);
    void ProcessControl(uint8_t byte);
    void ProcessLevelNoneControl(uint8_t byte);
    void PrintControllerByte(uint8_t byte);
    void AppendSequence(uint8_t byte);
    void BuildPrintableTable();
    void WriteShifted(const uint8_t* bytes, int count);
    void WriteCodePoint(uint32_t code);
    void EndSingleShift();
    bool IsVt200() const { return m_level >= kLevelVt220; }
    bool Is8Bit() const { return m_level == kLevelVt220Bit8 || m_level == kLevelVt320Bit8; }

    // --- controls (VtControls.cpp) ---
    void DoENQ();
    void DoBEL();
    void DoBS();
    void DoHT();
    void DoLF();
    void DoCR();
    void DoSO();
    void DoSI();
    void DoSUB();

    // --- escape sequences (VtEscape.cpp) ---
    void ExecuteEscape();
    void ExecuteVt52();
    void DoSCS(int g, uint8_t final);
    void DoDECDHL(uint32_t lineBits);
    void DoDECALN();
    void DoDECSC();
    void DoDECRC();
    void DoIND();
    void DoNEL();
    void DoRI();
    void DoSingleShift(int g);
    void InvokeGl(int g);
    void InvokeGr(int g);
    void UpdateGraphics();

    // --- control sequences (VtCsi.cpp) ---
    void StartParameters();
    void CollectParameter(uint8_t byte);
    int Param(int index) const;  // 0 when missing
    int Count(int index) const;  // missing or 0 reads as 1
    bool Marked(int index, char marker) const;
    void ExecuteControlSequence();
    void DoCUU();
    void DoCUD();
    void DoCUF();
    void DoCUB();
    void DoCUP();
    void DoED(bool selective);
    void DoEL(bool selective);
    void DoIL(bool insert);
    void DoECH();
    void DoTBC();
    void DoDECSTBM();
    void DoDECSCL();
    void DoDECSASD();
    void DoSGR();
    void EraseRowPart(int row, int first, int last, bool selective);

    // --- modes and resets (VtModes.cpp) ---
    void DoSMRM(bool set);
    void SetMode(int mode, bool isPrivate, bool set);
    void Reset(bool hard);
    void SetLevel(EVtLevel level);

    // --- answers (VtReports.cpp) ---
    void Answer(const char* format, ...);
    void DoDA(bool secondaryAllowed);
    void DoDSR();

    // --- printing controls (VtPrinting.cpp) ---
    void DoMC();

    // --- operating-system commands (VtParser.cpp) ---
    void DoOSC();

    // --- user-defined keys (VtUdk.cpp) ---
    void InitUserKeys();
    void ClearUserKeys(bool locksToo);
    void DoDECUDK();
    int UserKeyTotal() const;
    SUserKey* FindUserKey(int keyNumber);
    const SUserKey* FindUserKey(int keyNumber) const;

    CVtScreen m_screen;
    CVtPrinter m_printer;

    // Parser.
    EParserState m_state = kGround;
    uint8_t m_sequence[kSequenceSize];
    int m_sequenceLength = 0;
    // Parameters are read as the bytes arrive; values saturate long before 20 digits.
    int m_paramValue[kMaxParameters];
    char m_paramMarker[kMaxParameters];
    bool m_paramStarted = false;
    int m_paramCount = 0;
    uint8_t m_intermediate = 0;
    uint8_t m_final = 0;
    bool m_printable[256];
    // The string an ESC interrupted (or kGround): the ESC may begin its terminator.
    EParserState m_stringState = kGround;
    uint8_t m_dcs[kDeviceControlSize];
    int m_dcsLength = 0;
    char m_osc[kOperatingSystemSize];
    int m_oscLength = 0;
    bool m_utf8 = false;
    CUtf8Decoder m_decoder;

    // Emulation.
    EVtLevel m_level = kLevelVt220;
    std::string m_csiPrefix;
    std::string m_ss3Prefix;
    uint16_t m_g[4] = {kCharsetAscii, kCharsetAscii, kCharsetAscii, kCharsetAscii};
    int m_glSet = 0;
    int m_grSet = 2;
    bool m_singleShiftPending = false;
    int m_savedGlSet = 0;
    int m_nationalSet = 0;
    SSavedCursor m_savedCursor;
    int m_savedRow = -1;
    int m_savedColumn = -1;
    SUserKey m_userKeys[kUserKeyCount];
    std::string m_answerback;

    // Modes and settings.
    bool m_cursorKeysApp = false;
    bool m_keypadApp = false;
    bool m_newLineMode = false;
    bool m_autoRepeat = true;
    bool m_audibleBell = true;
    bool m_caretVisible = true;
    bool m_underlineCaret = false;
    bool m_reverseScreen = false;
    bool m_lineCapture = false;
    bool m_backspaceBs = true;
    int m_statusDisplay = 0;
    uint32_t m_backgroundColour = 0xFFFFFF;
    uint32_t m_boldColour = 0x008000;
    uint32_t m_foregroundColour = 0x000000;
    int m_cellWidth = 0;
    int m_cellHeight = 0;
    int m_resetColumns = kDefaultColumns;
    int m_selectionStart = 0;
    int m_selectionLength = 0;
};
