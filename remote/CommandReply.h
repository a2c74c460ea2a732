#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class IRemoteView;

// What a remote execution or remote shell server sends, turned into display text: a block
// that starts with the server's success byte (NUL) or failure byte (1) loses that byte, and
// every output line ends in CR LF with empty lines dropped. A line cut between two blocks
// stays one line.
class CCommandReply final {
public:
    static constexpr char kSuccessByte = '\0';
    static constexpr char kFailureByte = '\1';

    // Forgets a line left open by the previous connection.
    void Reset() { m_lineOpen = false; }
    // One received block; "Successful Login" goes to the status panel on the success byte.
    void Show(IRemoteView& view, const char* data, uint32_t length);
    // The end of the connection: a last line without LF gets its CR LF.
    void Finish(IRemoteView& view);

    // The display text of one block (without its status byte), for callers and tests.
    void Translate(const char* data, size_t length, std::string& text);

private:
    bool m_lineOpen = false;  // the display's last line has text and no CR LF yet
};
