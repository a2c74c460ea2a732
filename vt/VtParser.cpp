// The byte-level state machine: printable runs, controls, sequence collection.

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "vt/Vt.h"

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kCan = 0x18;
constexpr uint8_t kSub = 0x1A;
// One WriteRun call per run, but never so long that a count could overflow.
constexpr size_t kMaxRun = size_t{1} << 20;

}  // namespace

void CVt::BuildPrintableTable()
{
    for (int b = 0; b < 256; ++b)
        m_printable[b] = b >= 0x20 && b != 0x7F && !(m_utf8 && b >= 0x80);
    // 8-bit controls arrive only at the levels that understand them.
    if (IsVt200()) {
        for (int b = 0x84; b <= 0x9F; ++b)
            m_printable[b] = false;
    }
}

void CVt::ReceiveData(const uint8_t* bytes, size_t length)
{
    if (!m_screen.Enabled() || bytes == nullptr || length == 0)
        return;
    if (m_selectionLength != 0) {
        m_selectionLength = 0;
        m_screen.Window().InvalidateAll();
    }
    m_screen.Window().ShowCaret(false);

    size_t i = 0;
    while (i < length) {
        if (m_utf8 && (bytes[i] >= 0x80 || m_decoder.Pending())) {
            // The printer gets the bytes as they came.
            if (m_printer.ControllerMode()) {
                m_decoder.Reset();
                PrintControllerByte(bytes[i++]);
                continue;
            }
            bool again = false;
            const uint32_t code = m_decoder.Feed(bytes[i], again);
            if (!again)
                ++i;
            if (code != CUtf8Decoder::kIncomplete)
                ProcessCodePoint(code);
            continue;
        }
        if (!m_printer.ControllerMode()) {
            if (m_state == kGround && m_printable[bytes[i]]) {
                const size_t start = i;
                i = m_singleShiftPending ? start + 1
                                         : ScanPrintable(bytes, start, std::min(length, start + kMaxRun));
                WriteShifted(bytes + start, static_cast<int>(i - start));
                continue;
            }
            if (m_state == kGround && bytes[i] == kEsc && i + 1 < length && bytes[i + 1] == '[' &&
                m_level != kLevelNone && m_level != kLevelVt52) {
                m_state = kControlSequence;
                m_sequence[0] = kEsc;
                m_sequence[1] = '[';
                m_sequenceLength = 2;
                m_stringState = kGround;
                StartParameters();
                i += 2;
                continue;
            }
            if (m_state == kControlSequence) {
                const size_t next = CollectControlSequence(bytes, i, length);
                if (next != i) {
                    i = next;
                    continue;
                }
            }
            if (InString()) {
                // The text of a string: kept for a title, up to its size, else dropped.
                size_t end = i;
                while (end < length && bytes[end] >= 0x20 && bytes[end] < 0x7F)
                    ++end;
                if (end != i) {
                    if (m_state == kOperatingSystem) {
                        const size_t n = std::min(end - i, size_t(kOperatingSystemSize - m_oscLength));
                        std::memcpy(m_osc + m_oscLength, bytes + i, n);
                        m_oscLength += static_cast<int>(n);
                    }
                    i = end;
                    continue;
                }
            }
        }
        ProcessByte(bytes[i]);
        ++i;
    }

    m_screen.UpdateCaret();
    if (m_caretVisible)
        m_screen.Window().ShowCaret(true);
}

// End of the printable run from start: eight plain ASCII bytes at a time, then byte by byte.
size_t CVt::ScanPrintable(const uint8_t* bytes, size_t start, size_t end) const
{
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHigh = 0x8080808080808080u;
    size_t i = start;
    while (i + 8 <= end) {
        uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        // A high bit appears for any byte below 0x20, at 0x7F or above; then look closely.
        if (((word | (word - 0x20 * kOnes) | (word + kOnes)) & kHigh) != 0)
            break;
        i += 8;
    }
    while (i < end && m_printable[bytes[i]])
        ++i;
    return i;
}

// Parameter and final bytes of a control sequence, without the general dispatch; stops at
// anything else (controls, 8-bit controls, overlong sequences), which the caller handles.
size_t CVt::CollectControlSequence(const uint8_t* bytes, size_t start, size_t end)
{
    // Room left before the sequence counts as overlong.
    const size_t limit = std::min(end, start + static_cast<size_t>(kSequenceSize - 1 - m_sequenceLength));
    size_t i = start;
    while (i < limit) {
        const uint8_t b = bytes[i];
        if (b >= '0' && b <= '9') {
            // Digits are most of what arrives here; keep them out of the general path.
            int& value = m_paramValue[m_paramCount - 1];
            int v = value;
            do {
                v = std::min(v * 10 + (bytes[i] - '0'), kMaxParameterValue);
                ++i;
            } while (i < limit && bytes[i] >= '0' && bytes[i] <= '9');
            value = v;
            m_paramStarted = true;
        } else if (b >= 0x20 && b <= 0x3F) {
            CollectParameter(b);
            ++i;
        } else if (b >= 0x40 && b <= 0x7E) {
            m_sequenceLength += static_cast<int>(i + 1 - start);
            m_sequence[m_sequenceLength - 1] = b;
            ExecuteControlSequence();
            return i + 1;
        } else {
            break;
        }
    }
    // Only the length and the final matter once parameters are read.
    m_sequenceLength += static_cast<int>(i - start);
    return i;
}

void CVt::WriteShifted(const uint8_t* bytes, int count)
{
    m_screen.WriteRun(bytes, count);
    EndSingleShift();
}

void CVt::WriteCodePoint(uint32_t code)
{
    m_screen.WriteChar(code, VtCharWidth(code));
    EndSingleShift();
}

void CVt::EndSingleShift()
{
    if (m_singleShiftPending) {
        m_singleShiftPending = false;
        m_glSet = m_savedGlSet;
        UpdateGraphics();
    }
}

// A character decoded from UTF-8. Controls of the C1 set exist only as the code points
// U+0080-U+009F, and only at the levels that know 8-bit controls.
void CVt::ProcessCodePoint(uint32_t code)
{
    if (code < 0x80) {
        ProcessByte(static_cast<uint8_t>(code));
        return;
    }
    if (code < 0xA0) {
        if (IsVt200() && code >= 0x84)
            ProcessByte(static_cast<uint8_t>(code));
        return;
    }
    switch (m_state) {
    case kGround: WriteCodePoint(code); break;
    case kOperatingSystem: {
        std::string utf8;
        AppendUtf8(utf8, code);
        if (m_oscLength + static_cast<int>(utf8.size()) <= kOperatingSystemSize) {
            std::memcpy(m_osc + m_oscLength, utf8.data(), utf8.size());
            m_oscLength += static_cast<int>(utf8.size());
        }
        break;
    }
    case kIgnoredString: break;
    default:
        // Inside a sequence any character beyond ASCII counts as what an 8-bit byte above
        // the controls would: no parameter, no final.
        ProcessByte(0xFF);
        break;
    }
}

void CVt::ProcessPrintable(uint8_t byte)
{
    WriteShifted(&byte, 1);
}

void CVt::ProcessByte(uint8_t byte)
{
    if (IsVt200() && byte >= 0x84 && byte <= 0x9F) {
        // An 8-bit control is its 7-bit escape form.
        ProcessByte(kEsc);
        byte = static_cast<uint8_t>(byte - 0x40);
    }
    if (m_printer.ControllerMode()) {
        PrintControllerByte(byte);
        return;
    }
    if (InString()) {
        if (byte < 0x20 || byte == 0x7F)
            ProcessStringControl(byte);
        else if (m_state == kOperatingSystem && m_oscLength < kOperatingSystemSize)
            m_osc[m_oscLength++] = static_cast<char>(byte);
        return;
    }
    if (byte < 0x20 || byte == 0x7F) {
        if (m_level == kLevelNone)
            ProcessLevelNoneControl(byte);
        else
            ProcessControl(byte);
        return;
    }
    switch (m_state) {
    case kGround: ProcessPrintable(byte); break;
    case kEscape:
        AppendSequence(byte);
        if (m_state != kEscape)
            break;
        if (m_level == kLevelVt52) {
            if ((m_sequenceLength == 2 && byte != 'Y') || m_sequenceLength == 4)
                ExecuteVt52();
        } else if (m_stringState != kGround && m_sequenceLength == 2 &&
                   (byte == '\\' || (byte == '/' && m_stringState == kDeviceControl))) {
            const EParserState string = m_stringState;
            m_state = kGround;
            m_stringState = kGround;
            EndString(string);
        } else if (byte == '[' && m_sequenceLength == 2) {
            m_state = kControlSequence;
            StartParameters();
        } else if (byte >= 0x30 && byte <= 0x7E) {
            ExecuteEscape();
        }
        break;
    case kControlSequence:
        AppendSequence(byte);
        if (m_state != kControlSequence)
            break;
        if (byte >= 0x40 && byte <= 0x7E)
            ExecuteControlSequence();
        else
            CollectParameter(byte);
        break;
    case kDeviceControl:
        if (m_dcsLength < kDeviceControlSize)
            m_dcs[m_dcsLength++] = byte;
        break;
    case kOperatingSystem:
    case kIgnoredString: break;  // taken above
    }
}

void CVt::AppendSequence(uint8_t byte)
{
    // A sequence that outgrows its buffer is dropped; what follows is text again.
    if (m_sequenceLength >= kSequenceSize - 1) {
        m_state = kGround;
        m_sequenceLength = 0;
        m_stringState = kGround;
        return;
    }
    m_sequence[m_sequenceLength++] = byte;
}

void CVt::ProcessControl(uint8_t byte)
{
    switch (byte) {
    case kEsc:
        // Inside a string the ESC may begin its terminator.
        if (m_state == kDeviceControl || InString())
            m_stringState = m_state;
        else if (m_state != kEscape)
            m_stringState = kGround;
        m_state = kEscape;
        m_sequence[0] = kEsc;
        m_sequenceLength = 1;
        break;
    case 0x05: DoENQ(); break;
    case 0x07: DoBEL(); break;
    case 0x08: DoBS(); break;
    case 0x09: DoHT(); break;
    case 0x0A:
    case 0x0B:
    case 0x0C: DoLF(); break;
    case 0x0D: DoCR(); break;
    case 0x0E: DoSO(); break;
    case 0x0F: DoSI(); break;
    case kCan:
        m_state = kGround;
        m_stringState = kGround;
        break;
    case kSub: DoSUB(); break;
    default: break;
    }
}

// Controls inside an operating-system command, PM or APC: BEL or ST ends the string, CAN
// and SUB abandon it, ESC may begin ST; the others are part of the string and dropped.
void CVt::ProcessStringControl(uint8_t byte)
{
    switch (byte) {
    case 0x07: {
        const EParserState string = m_state;
        m_state = kGround;
        EndString(string);
        break;
    }
    case kEsc:
    case kCan:
    case kSub: ProcessControl(byte); break;
    default: break;
    }
}

void CVt::EndString(EParserState string)
{
    if (string == kDeviceControl)
        DoDECUDK();
    else if (string == kOperatingSystem)
        DoOSC();
}

// OSC Ps ; Pt: 0 and 2 set the window title; the others are not acted on.
void CVt::DoOSC()
{
    const std::string_view text(m_osc, static_cast<size_t>(m_oscLength));
    m_oscLength = 0;
    const size_t separator = text.find(';');
    const std::string_view number = text.substr(0, separator);
    if (separator == std::string_view::npos || (number != "0" && number != "2"))
        return;
    const std::string title(text.substr(separator + 1));
    OnWindowTitle(m_utf8 ? title : Latin1ToUtf8(title));
}

void CVt::ProcessLevelNoneControl(uint8_t byte)
{
    const uint8_t shown[2] = {'^', static_cast<uint8_t>((byte + 0x40) & 0x7F)};
    WriteShifted(shown, 2);
    if (byte == 0x0A || byte == 0x0B || byte == 0x0C) {
        DoCR();
        DoLF();
    }
    if (byte == kCan || byte == kSub || byte == kEsc) {
        m_state = kGround;
        m_stringState = kGround;
    }
}

void CVt::PrintControllerByte(uint8_t byte)
{
    static const uint8_t kTerminator[] = {kEsc, '[', '4', 'i'};
    static const uint8_t kVt52Terminator[] = {kEsc, 'X'};
    const uint8_t* terminator = m_level == kLevelVt52 ? kVt52Terminator : kTerminator;
    const int length = m_level == kLevelVt52 ? 2 : 4;

    int index = std::clamp(m_printer.MatchIndex(), 0, length - 1);
    if (byte == terminator[index]) {
        ++index;
        if (index == length) {
            m_printer.SetMatchIndex(0);
            RequestProperty(kVtPropPrinterController, 0);
            return;
        }
        m_printer.SetMatchIndex(index);
        return;
    }
    // The held bytes were a false start; a new start may begin at this very byte.
    m_printer.PrintBytes(terminator, index);
    if (index > 0 && byte == terminator[0]) {
        m_printer.SetMatchIndex(1);
        return;
    }
    m_printer.PrintByte(byte);
    m_printer.SetMatchIndex(0);
}
