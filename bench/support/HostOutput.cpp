#include "bench/support/HostOutput.h"

#include <cstdint>
#include <cstdio>

namespace host_output {
namespace {

constexpr int kRows = 24;
constexpr size_t kColumns = 80;

class CRandom {
public:
    uint32_t Next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return m_state >> 8;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }

private:
    uint32_t m_state = 12345;
};

std::string Word(CRandom& random)
{
    std::string word;
    const int length = 2 + random.Below(8);
    for (int i = 0; i < length; ++i)
        word.push_back(static_cast<char>('a' + random.Below(26)));
    return word;
}

}  // namespace

std::string PlainText(size_t bytes)
{
    CRandom random;
    std::string out;
    while (out.size() < bytes) {
        std::string line;
        while (line.size() < 70)
            line += Word(random) + ' ';
        out += line.substr(0, static_cast<size_t>(60 + random.Below(20))) + "\r\n";
    }
    return out;
}

std::string HeavySgr(size_t bytes)
{
    CRandom random;
    std::string out;
    int column = 0;
    while (out.size() < bytes) {
        const std::string word = Word(random);
        char sgr[32];
        std::snprintf(sgr, sizeof sgr, "\x1b[%d;%d;%dm", random.Below(2), 30 + random.Below(8),
                      40 + random.Below(8));
        out += sgr;
        out += word;
        out += "\x1b[0m ";
        column += static_cast<int>(word.size()) + 1;
        if (column > 70) {
            out += "\r\n";
            column = 0;
        }
    }
    return out;
}

std::string CursorAddressed(size_t bytes)
{
    CRandom random;
    std::string out;
    while (out.size() < bytes) {
        out += "\x1b[H";
        for (int row = 1; row <= kRows; ++row) {
            char cup[16];
            std::snprintf(cup, sizeof cup, "\x1b[%d;1H", row);
            out += cup;
            std::string line;
            while (line.size() < kColumns)
                line += Word(random) + ' ';
            out += line.substr(0, kColumns - 1);
            out += "\x1b[K";
        }
        for (int i = 0; i < 20; ++i) {
            char cup[24];
            std::snprintf(cup, sizeof cup, "\x1b[%d;%dH", 1 + random.Below(kRows),
                          1 + random.Below(static_cast<int>(kColumns) - 10));
            out += cup;
            out += Word(random);
        }
    }
    return out;
}

std::string Mixed(size_t bytes)
{
    const size_t part = 64 * 1024;
    const std::string plain = PlainText(bytes / 3 + part);
    const std::string sgr = HeavySgr(bytes / 3 + part);
    const std::string cup = CursorAddressed(bytes / 3 + part);
    std::string out;
    for (size_t at = 0; out.size() < bytes; at += part) {
        for (const std::string* source : {&plain, &sgr, &cup}) {
            if (at < source->size())
                out.append(*source, at, part);
        }
    }
    return out;
}

}  // namespace host_output
