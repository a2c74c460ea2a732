// The base64 and quoted-printable decoders take whole blocks and runs at a time; each is held
// here against a byte-at-a-time model of its rules, on input cut into every kind of slice.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pop3/Base64Decoder.h"
#include "pop3/QpDecoder.h"
#include "tests/pop3/MailText.h"

namespace {

struct SBase64Result {
    std::string bytes;
    size_t used = 0;
    bool stopped = false;
};

// Digits are shifted in, line breaks, spaces and tabs skipped, anything else stops.
SBase64Result ModelBase64(const std::string& in)
{
    SBase64Result r;
    uint32_t bits = 0;
    int count = 0;
    for (; r.used < in.size(); ++r.used) {
        const uint8_t value = CBase64Decoder::Table()[static_cast<uint8_t>(in[r.used])];
        if (value < 64) {
            bits = (bits << 6 | value) & 0xFFFFFF;
            count += 6;
            if (count >= 8) {
                count -= 8;
                r.bytes += static_cast<char>(bits >> count);
            }
        } else if (std::string_view("\r\n \t").find(in[r.used]) == std::string_view::npos) {
            r.stopped = true;
            break;
        }
    }
    return r;
}

// in handed over in slices of the given size; a stop ends the run as it ends the part.
SBase64Result DecodeBase64(const std::string& in, size_t slice)
{
    CBase64Decoder decoder;
    SBase64Result r;
    while (r.used < in.size() && !r.stopped) {
        const size_t length = std::min(slice, in.size() - r.used);
        std::vector<char> out(CBase64Decoder::MaxOutput(length));
        size_t written = 0;
        r.used += decoder.Decode(in.data() + r.used, length, out.data(), &written, &r.stopped);
        r.bytes.append(out.data(), written);
    }
    return r;
}

void ExpectBase64(const std::string& in)
{
    const SBase64Result want = ModelBase64(in);
    for (const size_t slice : {size_t{1}, size_t{3}, size_t{5}, size_t{31}, size_t{32}, size_t{33},
                               size_t{77}, size_t{4096}, in.size() + 1}) {
        const SBase64Result got = DecodeBase64(in, slice);
        ASSERT_EQ(got.bytes, want.bytes) << "slice " << slice;
        ASSERT_EQ(got.used, want.used) << "slice " << slice;
        ASSERT_EQ(got.stopped, want.stopped) << "slice " << slice;
    }
}

TEST(Base64DecoderTest, LineLengthsBreaksAndEnds)
{
    const std::string data = mailtext::Binary(1500);
    struct SCase {
        const char* name;
        std::string in;
    } cases[] = {
        {"76 per line", mailtext::Base64(data)},
        {"64 per line", mailtext::Base64(data, 64)},
        {"4 per line", mailtext::Base64(data.substr(0, 200), 4)},
        {"lines cut inside groups", mailtext::Base64(data, 1)},
        {"one long line", mailtext::Base64(data, 100000)},
        {"LF only",
         [&] {
             std::string s = mailtext::Base64(data);
             std::erase(s, '\r');
             return s;
         }()},
        {"spaces and tabs", "QUJD REVG\tR0hJ  SktM\r\n \tTU5P\r\nUFFS\r\n"},
        {"padding ends it", mailtext::Base64(data.substr(0, 1000)) + mailtext::Base64("ab")},
        {"a delimiter ends it", mailtext::Base64(data.substr(0, 999)) + "--boundary--\r\n"},
        {"a stray byte inside a long run", std::string(40, 'A') + "." + std::string(40, 'B')},
        {"empty", ""},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectBase64(c.in);
    }
}

TEST(Base64DecoderTest, EveryByteValueAtEveryPlaceOfABlock)
{
    // A run long enough for whole blocks, with one byte replaced: a digit, a skipped byte or
    // one that ends the data, wherever it falls in a block or a group.
    const std::string run = mailtext::Base64(mailtext::Binary(60), 1000).substr(0, 80);
    for (int value = 0; value < 256; ++value)
        for (size_t at = 0; at < 70; at += value % 2 == 0 ? 1 : 7) {
            std::string in = run;
            in[at] = static_cast<char>(value);
            SCOPED_TRACE(testing::Message() << "byte " << value << " at " << at);
            const SBase64Result want = ModelBase64(in);
            const SBase64Result got = DecodeBase64(in, in.size());
            ASSERT_EQ(got.bytes, want.bytes);
            ASSERT_EQ(got.used, want.used);
            ASSERT_EQ(got.stopped, want.stopped);
        }
}

// "=" and two hexadecimal digits give a byte, any other "=" stays, a LF inside the line only
// after a CR; trailing blanks go, a final "=" makes the break soft.
std::string ModelQp(std::string line, bool* hardBreak)
{
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    *hardBreak = line.empty() || line.back() != '=';
    if (!*hardBreak)
        line.pop_back();
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\n') {
            if (i > 0 && line[i - 1] == '\r')
                out += '\n';
        } else if (line[i] == '=' && i + 2 < line.size() && hex(line[i + 1]) >= 0 && hex(line[i + 2]) >= 0) {
            out += static_cast<char>(hex(line[i + 1]) << 4 | hex(line[i + 2]));
            i += 2;
        } else {
            out += line[i];
        }
    }
    return out;
}

void ExpectQp(const std::string& line)
{
    bool wantHard = false, gotHard = false;
    const std::string want = ModelQp(line, &wantHard);
    // Exactly the room the decoder asks for, on the heap, so that a write past it is caught.
    std::vector<char> out(line.size());
    const size_t n = CQpDecoder::DecodeLine(line.data(), line.size(), out.data(), &gotHard);
    ASSERT_EQ(std::string(out.data(), n), want) << line;
    ASSERT_EQ(gotHard, wantHard) << line;
}

TEST(QpDecoderTest, EscapesRunsAndBreaks)
{
    const std::string plain = "The quick brown fox jumps over the lazy dog";
    for (const std::string& line : std::vector<std::string>{
             std::string(),
             plain,
             plain + "   \t ",
             plain + "=",
             plain + "= \t",
             "caf=C3=A9 na=C3=AFve =3Dequals =c3=bc",
             std::string(15, 'x') + "=41" + std::string(20, 'y'),  // an escape across a block edge
             std::string(14, 'x') + "=4",                          // cut short at the end
             std::string(30, 'x') + "=ZZ=4G==41=",
             "=41=42=43=44=45=46=47=48=49=4A=4B=4C=4D=4E=4F=50",
             plain + "\n" + plain + "\r\n" + plain,  // a LF inside a line
             std::string(16, '='),
         })
        ExpectQp(line);
}

TEST(QpDecoderTest, RandomLinesOfTheAwkwardCharacters)
{
    std::mt19937 random(11);
    const std::string alphabet = "aZ09=Ff\r\n \tG.@`:/g\xc3";
    for (int round = 0; round < 20000; ++round) {
        std::string line(random() % 200, ' ');
        for (char& c : line)
            c = alphabet[random() % alphabet.size()];
        ExpectQp(line);
    }
}

}  // namespace
