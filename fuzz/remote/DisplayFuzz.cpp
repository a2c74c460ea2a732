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

bool IsContinuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// A display kept as text, edited as the program edits its own.
struct SDisplay {
    std::string text;

    void Apply(const CDisplayFilter::SEdit& edit)
    {
        for (std::size_t i = 0; i < edit.erase; ++i) {
            // Erasing never reaches into an earlier line.
            if (text.empty() || text.back() == '\n')
                std::abort();
            while (IsContinuation(text.back()))
                text.pop_back();
            text.pop_back();
        }
        text += edit.text;
    }
};

std::string Show(const std::string& bytes, const std::size_t* cuts, std::size_t cutCount)
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

// Valid UTF-8 without overlong forms or surrogates, and no control character but LF.
void CheckWellFormed(const std::string& text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = bytes[i];
        const std::size_t size = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
        if (size == 0 || i + size > text.size())
            std::abort();
        char32_t value = size == 1 ? lead : lead & (0x7F >> size);
        for (std::size_t k = 1; k < size; ++k) {
            if (!IsContinuation(text[i + k]))
                std::abort();
            value = (value << 6) | (bytes[i + k] & 0x3F);
        }
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < kSmallest[size] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            std::abort();
        if ((value < 0x20 && value != '\n') || (value >= 0x7F && value <= 0x9F))
            std::abort();  // a control character reached the display
        i += size;
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
    const std::string whole = Show(bytes, nullptr, 0);
    CheckWellFormed(whole);
    if (Show(bytes, cuts, cutCount) != whole)
        std::abort();
    return 0;
}
