#include "remote/DisplayFilter.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr char32_t kBackspace = 0x08;
constexpr char32_t kTab = 0x09;
constexpr char32_t kLineFeed = 0x0A;
constexpr char32_t kEscape = 0x1B;
constexpr char32_t kBell = 0x07;
constexpr char32_t kCancel = 0x18;
constexpr char32_t kSubstitute = 0x1A;
constexpr char32_t kDelete = 0x7F;
constexpr char32_t kLastC1 = 0x9F;
constexpr std::size_t kTabWidth = 8;
constexpr std::size_t kMaxSequence = 4096;  // characters, longer than any a terminal knows

// Where the run of printable ASCII bytes (0x20 to 0x7E) that starts at from ends; eight
// bytes at a time.
std::size_t PrintableRun(const unsigned char* bytes, std::size_t from, std::size_t length)
{
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighBits = 0x8080808080808080ULL;
    std::size_t end = from;
    while (end + 8 <= length) {
        uint64_t word;
        std::memcpy(&word, bytes + end, sizeof word);
        const uint64_t below = (word - kOnes * 0x20) & ~word;            // some byte < 0x20
        const uint64_t above = ((word + kOnes * (0x7F - 0x7E)) | word);  // some byte > 0x7E
        if ((below | above) & kHighBits)
            break;
        end += 8;
    }
    while (end < length && bytes[end] >= 0x20 && bytes[end] < kDelete)
        ++end;
    return end;
}

void AppendUtf8(char32_t character, std::string& text)
{
    if (character < 0x80) {
        text.push_back(static_cast<char>(character));
    } else if (character < 0x800) {
        text.push_back(static_cast<char>(0xC0 | (character >> 6)));
        text.push_back(static_cast<char>(0x80 | (character & 0x3F)));
    } else if (character < 0x10000) {
        text.push_back(static_cast<char>(0xE0 | (character >> 12)));
        text.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (character & 0x3F)));
    } else {
        text.push_back(static_cast<char>(0xF0 | (character >> 18)));
        text.push_back(static_cast<char>(0x80 | ((character >> 12) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (character & 0x3F)));
    }
}

// Bytes a UTF-8 sequence starting with this byte needs, 0 when it cannot start one.
int SequenceLength(unsigned char byte)
{
    if (byte < 0x80)
        return 1;
    if (byte >= 0xC2 && byte <= 0xDF)
        return 2;
    if (byte >= 0xE0 && byte <= 0xEF)
        return 3;
    if (byte >= 0xF0 && byte <= 0xF4)
        return 4;
    return 0;
}

char32_t DecodeSequence(const unsigned char* bytes, int count)
{
    char32_t value = bytes[0] & (count == 2 ? 0x1F : count == 3 ? 0x0F : 0x07);
    for (int i = 1; i < count; ++i)
        value = (value << 6) | (bytes[i] & 0x3F);
    return value;
}

// Overlong forms, surrogates and values beyond Unicode are not characters.
bool Acceptable(char32_t value, int count)
{
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    return value >= kSmallest[count] && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

}  // namespace

void CDisplayFilter::Reset()
{
    m_state = kInText;
    m_count = m_needed = 0;
    m_column = m_lineInEdit = 0;
}

void CDisplayFilter::Feed(const char* data, std::size_t length, SEdit& edit)
{
    if (edit.text.empty())
        m_lineInEdit = 0;
    edit.text.reserve(edit.text.size() + length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::size_t i = 0;
    while (i < length) {
        if (m_state == kInText && m_count == 0) {
            // Plain printable ASCII, the bulk of any output, goes through in runs.
            const std::size_t end = PrintableRun(bytes, i, length);
            if (end > i) {
                edit.text.append(data + i, end - i);
                m_column += end - i;
                m_lineInEdit += end - i;
                i = end;
                continue;
            }
        }
        Decode(bytes[i++], edit);
    }
}

void CDisplayFilter::Decode(unsigned char byte, SEdit& edit)
{
    if (m_count > 0) {
        if ((byte & 0xC0) == 0x80) {
            m_bytes[m_count++] = byte;
            if (m_count < m_needed)
                return;
            const char32_t value = DecodeSequence(m_bytes, m_count);
            const int count = m_count;
            m_count = 0;
            if (Acceptable(value, count)) {
                Character(value, edit);
                return;
            }
            for (int i = 0; i < count; ++i)
                Character(m_bytes[i], edit);
            return;
        }
        // A broken sequence: its bytes count as Latin-1, and this byte starts afresh.
        const int count = m_count;
        m_count = 0;
        for (int i = 0; i < count; ++i)
            Character(m_bytes[i], edit);
    }
    const int needed = SequenceLength(byte);
    if (needed == 1 || needed == 0) {
        Character(byte, edit);
        return;
    }
    m_bytes[0] = byte;
    m_count = 1;
    m_needed = needed;
}

void CDisplayFilter::Character(char32_t character, SEdit& edit)
{
    // A sequence that never ends must not hide the rest of the output.
    if (m_state != kInText && ++m_sequenceLength > kMaxSequence)
        m_state = kInText;
    switch (m_state) {
    case kInText:
        if (character == kEscape) {
            m_state = kAfterEscape;
            m_sequenceLength = 0;
        } else {
            Show(character, edit);
        }
        return;
    case kAfterEscape:
        if (character == '[') {
            m_state = kInSequence;
        } else if (character == ']' || character == 'P' || character == '_' || character == '^' ||
                   character == 'X') {
            m_state = kInString;  // a command string, ended by BEL or ESC backslash
        } else if (character < 0x20 || character > 0x2F) {
            m_state = kInText;  // intermediates (0x20-0x2F) wait for the final character
        }
        return;
    case kInSequence:
        if ((character >= 0x40 && character <= 0x7E) || character == kCancel || character == kSubstitute)
            m_state = kInText;
        return;
    case kInString:
        if (character == kBell || character == kCancel || character == kSubstitute)
            m_state = kInText;
        else if (character == kEscape)
            m_state = kInStringEscape;
        return;
    case kInStringEscape: m_state = character == '\\' ? kInText : kInString; return;
    }
}

void CDisplayFilter::Show(char32_t character, SEdit& edit)
{
    if (character == kLineFeed) {
        edit.text.push_back('\n');
        m_column = m_lineInEdit = 0;
        return;
    }
    if (character == kBackspace) {
        Backspace(edit);
        return;
    }
    if (character == kTab) {
        const std::size_t spaces = kTabWidth - m_column % kTabWidth;
        edit.text.append(spaces, ' ');
        m_column += spaces;
        m_lineInEdit += spaces;
        return;
    }
    if (character < 0x20 || (character >= kDelete && character <= kLastC1))
        return;  // CR among them: a CR LF ends a line once
    AppendUtf8(character, edit.text);
    ++m_column;
    ++m_lineInEdit;
}

void CDisplayFilter::Backspace(SEdit& edit)
{
    if (m_column == 0)
        return;  // never into the line before
    --m_column;
    if (m_lineInEdit == 0) {
        ++edit.erase;
        return;
    }
    --m_lineInEdit;
    // The last character, with all the bytes of its sequence.
    while (!edit.text.empty() && (static_cast<unsigned char>(edit.text.back()) & 0xC0) == 0x80)
        edit.text.pop_back();
    if (!edit.text.empty())
        edit.text.pop_back();
}
