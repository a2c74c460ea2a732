// Feeds arbitrary server output to the remote clients' text path (the command reply's line
// ends, then the display filter), whole and in pieces, and checks that the pieces change
// nothing and that the display only ever receives well-formed text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "remote/CommandReply.h"
#include "remote/DisplayFilter.h"

namespace {

// A display kept as text, edited as the program edits its own.
struct SDisplay {
    std::u16string text;

    void Apply(const CDisplayFilter::SEdit& edit)
    {
        for (std::size_t i = 0; i < edit.erase; ++i) {
            // Erasing never reaches into an earlier line.
            if (text.empty() || text.back() == u'\n')
                std::abort();
            const bool pair = text.size() >= 2 && text.back() >= 0xDC00 && text.back() <= 0xDFFF;
            text.resize(text.size() - (pair ? 2 : 1));
        }
        text += edit.text;
    }
};

std::u16string Show(const std::string& bytes, const std::size_t* cuts, std::size_t cutCount)
{
    CCommandReply reply;
    CDisplayFilter filter;
    SDisplay display;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= cutCount; ++i) {
        const std::size_t to = i < cutCount ? cuts[i] : bytes.size();
        std::string lines;
        reply.Translate(bytes.data() + from, to - from, lines);
        CDisplayFilter::SEdit edit;
        filter.Feed(lines.data(), lines.size(), edit);
        display.Apply(edit);
        from = to;
    }
    return display.text;
}

void CheckWellFormed(const std::u16string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if ((c < 0x20 && c != u'\n') || (c >= 0x7F && c <= 0x9F))
            std::abort();  // a control character reached the display
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                std::abort();
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            std::abort();  // a low half without its high one
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte says how many cuts; they are spread over the rest by its next bytes.
    const std::size_t cutCount = data[0] % 8;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    std::size_t cuts[8] = {};
    std::size_t last = 0;
    for (std::size_t i = 0; i < cutCount; ++i) {
        const std::size_t step = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[i % bytes.size()]) % 17;
        last = std::min(bytes.size(), last + step);
        cuts[i] = last;
    }
    const std::u16string whole = Show(bytes, nullptr, 0);
    CheckWellFormed(whole);
    if (Show(bytes, cuts, cutCount) != whole)
        std::abort();
    return 0;
}
