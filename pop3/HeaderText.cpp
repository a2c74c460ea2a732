#include "pop3/HeaderText.h"

#include <iconv.h>
#include <strings.h>

#include <cerrno>
#include <string>

#include "pop3/Base64Decoder.h"

namespace {

int Hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Same(std::string_view a, const char* b)
{
    return a.size() == std::char_traits<char>::length(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Decodes one encoded word "=?charset?enc?text?=" starting at text[0]; false when it is not one.
bool DecodeWord(std::string_view text, size_t* used, std::string& out)
{
    if (text.size() < 8 || text[0] != '=' || text[1] != '?')
        return false;
    const size_t q1 = text.find('?', 2);
    if (q1 == std::string_view::npos || q1 + 2 >= text.size() || text[q1 + 2] != '?')
        return false;
    const size_t close = text.find("?=", q1 + 3);
    if (close == std::string_view::npos)
        return false;
    std::string_view charset = text.substr(2, q1 - 2);
    charset = charset.substr(0, charset.find('*'));  // RFC 2231 language suffix
    const char encoding = text[q1 + 1];
    const std::string_view payload = text.substr(q1 + 3, close - q1 - 3);
    if (payload.find_first_of(" \t\r\n") != std::string_view::npos)
        return false;
    std::string bytes;
    if (encoding == 'B' || encoding == 'b') {
        CBase64Decoder decoder;
        bytes.resize(CBase64Decoder::MaxOutput(payload.size()));
        size_t written = 0;
        bool stopped = false;
        decoder.Decode(payload.data(), payload.size(), bytes.data(), &written, &stopped);
        bytes.resize(written);
    } else if (encoding == 'Q' || encoding == 'q') {
        for (size_t i = 0; i < payload.size(); ++i) {
            const char c = payload[i];
            if (c == '_') {
                bytes += ' ';
            } else if (c == '=' && i + 2 < payload.size() && Hex(payload[i + 1]) >= 0 &&
                       Hex(payload[i + 2]) >= 0) {
                bytes += static_cast<char>(Hex(payload[i + 1]) << 4 | Hex(payload[i + 2]));
                i += 2;
            } else {
                bytes += c;
            }
        }
    } else {
        return false;
    }
    if (!CHeaderText::ToUtf8(bytes, charset, out))
        return false;
    *used = close + 2;
    return true;
}

}  // namespace

bool CHeaderText::ToUtf8(std::string_view text, std::string_view charset, std::string& out)
{
    if (Same(charset, "utf-8") || Same(charset, "utf8") || Same(charset, "us-ascii") ||
        Same(charset, "ascii")) {
        out.append(text);
        return true;
    }
    if (Same(charset, "iso-8859-1") || Same(charset, "latin1")) {
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x80) {
                out += c;
            } else {
                out += static_cast<char>(0xC0 | u >> 6);
                out += static_cast<char>(0x80 | (u & 0x3F));
            }
        }
        return true;
    }
    const std::string name(charset);
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string input(text);
    std::string result;
    char* in = input.data();
    size_t inLeft = input.size();
    char buffer[1024];
    bool ok = true;
    while (inLeft > 0) {
        char* o = buffer;
        size_t outLeft = sizeof buffer;
        const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
        result.append(buffer, sizeof buffer - outLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    if (ok)
        out += result;
    return ok;
}

std::string CHeaderText::PercentDecode(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && Hex(text[i + 1]) >= 0 && Hex(text[i + 2]) >= 0) {
            out += static_cast<char>(Hex(text[i + 1]) << 4 | Hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string CHeaderText::Decode(std::string_view raw)
{
    std::string out;
    bool lastWasWord = false;
    size_t i = 0;
    while (i < raw.size()) {
        // Folding: a line break followed by white space is no part of the text.
        if (raw[i] == '\r' || raw[i] == '\n') {
            ++i;
            continue;
        }
        if (IsSpace(raw[i])) {
            // White space between two encoded words is dropped.
            size_t j = i;
            while (j < raw.size() && IsSpace(raw[j]))
                ++j;
            size_t used = 0;
            std::string word;
            if (lastWasWord && j < raw.size() && DecodeWord(raw.substr(j), &used, word)) {
                out += word;
                i = j + used;
                continue;
            }
            for (size_t k = i; k < j; ++k)
                if (raw[k] != '\r' && raw[k] != '\n')
                    out += raw[k];
            i = j;
            lastWasWord = false;
            continue;
        }
        size_t used = 0;
        std::string word;
        if (raw[i] == '=' && DecodeWord(raw.substr(i), &used, word)) {
            out += word;
            i += used;
            lastWasWord = true;
            continue;
        }
        out += raw[i++];
        lastWasWord = false;
    }
    return out;
}
