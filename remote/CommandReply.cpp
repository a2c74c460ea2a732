#include "remote/CommandReply.h"

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
        const char byte = *data++;
        if (byte == '\n') {
            if (m_lineOpen)
                text.append("\r\n");
            m_lineOpen = false;
        } else if (byte != '\0') {  // a NUL has no place in a text display
            text.push_back(byte);
            m_lineOpen = true;
        }
    }
}
