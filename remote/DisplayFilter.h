#pragma once

#include <cstddef>
#include <string>

// What a plain text view shows of the bytes the clients append to the display, as UTF-8:
// the bytes as UTF-8 where they are valid and as Latin-1 where they are not, CR LF as one line end, backspace taking back the
// character before it on its line, tabs as spaces to the next of every eighth column, and no
// other control characters or terminal control sequences.
// Sequences and characters cut between two calls are carried over.
class CDisplayFilter final {
public:
    struct SEdit {
        std::size_t erase = 0;  // characters to take off what is shown, first
        std::string text;       // then appended: valid UTF-8, '\n' between lines
    };

    // A cleared display.
    void Reset();
    // Adds what these bytes change to edit: a new one, or the one of the call before.
    void Feed(const char* data, std::size_t length, SEdit& edit);

private:
    enum EState { kInText, kAfterEscape, kInSequence, kInString, kInStringEscape };

    void Decode(unsigned char byte, SEdit& edit);
    void Character(char32_t character, SEdit& edit);
    void Show(char32_t character, SEdit& edit);
    void Backspace(SEdit& edit);

    EState m_state = kInText;
    std::size_t m_sequenceLength = 0;
    // A UTF-8 sequence under way: its bytes so far and how many it needs in all.
    unsigned char m_bytes[4] = {};
    int m_count = 0;
    int m_needed = 0;
    std::size_t m_column = 0;      // characters on the current line
    std::size_t m_lineInEdit = 0;  // of them, those in the edit being built
};
