// C0 controls.

#include "vt/Vt.h"

// ENQ: the answerback message.
void CVt::DoENQ()
{
    if (!m_answerback.empty())
        SendToHost(reinterpret_cast<const uint8_t*>(m_answerback.data()), m_answerback.size());
}

void CVt::DoBEL()
{
    OnBell(m_audibleBell);
}

// BS: a pending wrap takes the place of the step back.
void CVt::DoBS()
{
    int row = 0;
    int column = 0;
    m_screen.GetCursor(row, column);
    if (column > 0 && !m_screen.WrapPending())
        m_screen.SetCursor(row, column - 1);
    m_screen.SetWrapPending(false);
}

// HT: WrapPending deliberately survives a tab.
void CVt::DoHT()
{
    int row = 0;
    int column = 0;
    m_screen.GetCursor(row, column);
    const int stop = m_screen.NextTabStop(column);
    if (stop <= column)
        return;
    if (m_screen.InsertMode())
        m_screen.InsertBlanks(stop - column);
    m_screen.SetCursor(row, stop);
}

// LF, VT, FF: capture and auto print run through LineLeaving.
void CVt::DoLF()
{
    m_screen.NewLine(m_newLineMode);
    m_screen.UpdateCaret();
}

void CVt::DoCR()
{
    m_screen.SetCursor(m_screen.CursorRow(), 0);
    m_screen.SetWrapPending(false);
}

// SO: G1 into GL.
void CVt::DoSO()
{
    InvokeGl(1);
}

// SI: G0 into GL.
void CVt::DoSI()
{
    InvokeGl(0);
}

// SUB: shows the error character and cancels any sequence.
void CVt::DoSUB()
{
    const uint8_t replacement = 0xA8;
    if (m_utf8)
        m_screen.WriteChar(kReplacementCharacter, 1);
    else
        m_screen.WriteRun(&replacement, 1);
    m_state = kGround;
    m_stringState = kGround;
}

void CVt::LineLeaving(int row)
{
    if (m_lineCapture && m_utf8) {
        const std::string line = m_screen.RowUtf8(row) + "\r\n";
        LineOutput(reinterpret_cast<const uint8_t*>(line.data()), line.size());
    } else if (m_lineCapture) {
        uint8_t line[kMaxColumns + 2];
        const int n = m_screen.RowText(row, reinterpret_cast<char*>(line));
        line[n] = '\r';
        line[n + 1] = '\n';
        LineOutput(line, static_cast<size_t>(n + 2));
    }
    m_printer.LineLeaving(row);
}

void CVt::OnPropertyHook(int, VtValue, bool&)
{}
void CVt::SendToHost(const uint8_t*, size_t)
{}
void CVt::LineOutput(const uint8_t*, size_t)
{}
void CVt::OnBell(bool)
{}
