#include "remote/CommandReply.h"

#include <cstring>

#include "remote/RemoteView.h"

void CCommandReply::Show(IRemoteView& view, const char* data, uint32_t length)
{
    if (length == 0)
        return;
    // The servers send their status byte once, but any block that starts with one loses it.
    if (data[0] == kSuccessByte) {
        view.ShowStatus("Successful Login", kPanelGreen, kPanelWhite);
        ++data;
        --length;
    } else if (data[0] == kFailureByte) {
        ++data;
        --length;
    }
    std::string text;
    Translate(data, length, text);
    if (!text.empty())
        view.AppendDisplay(text.data(), text.size());
}

void CCommandReply::Finish(IRemoteView& view)
{
    if (m_lineOpen) {
        m_lineOpen = false;
        view.AppendDisplay("\r\n", 2);
    }
}

void CCommandReply::Translate(const char* data, size_t length, std::string& text)
{
    text.reserve(text.size() + length + length / 16);
    const char* const end = data + length;
    while (data < end) {
        const auto* lineFeed =
            static_cast<const char*>(std::memchr(data, '\n', static_cast<size_t>(end - data)));
        const char* const pieceEnd = lineFeed ? lineFeed : end;
        // The piece without its NULs: they have no place in a text display.
        while (data < pieceEnd) {
            const auto* nul =
                static_cast<const char*>(std::memchr(data, '\0', static_cast<size_t>(pieceEnd - data)));
            const char* const runEnd = nul ? nul : pieceEnd;
            if (runEnd > data) {
                text.append(data, static_cast<size_t>(runEnd - data));
                m_lineOpen = true;
            }
            data = nul ? nul + 1 : pieceEnd;
        }
        if (lineFeed) {
            if (m_lineOpen)
                text.append("\r\n");
            m_lineOpen = false;
            data = lineFeed + 1;
        }
    }
}
