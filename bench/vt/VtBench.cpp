// Throughput of ReceiveData on generated host output, and of a reference terminal library
// on the same bytes with the same screen and scrollback, when it is available.
//
// Usage: vt_bench [megabytes per workload] [ours|both] [workload name prefix]
// ("ours" skips the reference, for profiling one side alone)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "vt/Vt.h"

#ifdef VOLTTCP_HAVE_VTERM
#include <vterm.h>
#endif

namespace {

constexpr int kRows = 24;
constexpr int kColumns = 80;
constexpr int kScrollback = 100;
constexpr size_t kChunk = 4096;  // bytes per call, as a socket read would deliver them

// A small deterministic generator so that every run sees the same bytes.
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

// Lines of prose that scroll the screen.
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

// Coloured words, as a compiler or ls with colours prints them.
std::string HeavySgr(size_t bytes)
{
    CRandom random;
    std::string out;
    int column = 0;
    while (out.size() < bytes) {
        const std::string word = Word(random);
        char sgr[32];
        std::snprintf(sgr, sizeof sgr, "\x1b[%d;%d;%dm", random.Below(2), 30 + random.Below(8), 40 + random.Below(8));
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

// Full-screen redraws by cursor addressing, as an editor or a status monitor does them.
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
            std::snprintf(cup, sizeof cup, "\x1b[%d;%dH", 1 + random.Below(kRows), 1 + random.Below(kColumns - 10));
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

// Processor time of this thread, so that other work on a shared machine does not count.
double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Best of three passes, in MB per second of processor time.
double Measure(const std::string& data, const std::function<void(const char*, size_t)>& feed)
{
    double best = 0;
    for (int pass = 0; pass < 3; ++pass) {
        const double start = ThreadSeconds();
        for (size_t at = 0; at < data.size(); at += kChunk)
            feed(data.data() + at, std::min(kChunk, data.size() - at));
        const double seconds = ThreadSeconds() - start;
        best = std::max(best, static_cast<double>(data.size()) / 1e6 / seconds);
    }
    return best;
}

// The bottom row after the run, so that both sides can be seen to have done the same work.
std::string g_lastRow;

double MeasureOurs(const std::string& data)
{
    CVt vt;
    vt.SetProperty(10, kScrollback);
    vt.SetProperty(33, kRows);
    vt.SetProperty(22, 1);
    const double result = Measure(data, [&](const char* bytes, size_t length) { vt.ReceiveData(bytes, length); });
    g_lastRow.clear();
    for (int c = 0; c < kColumns; ++c)
        g_lastRow.push_back(CVtScreen::CellText(vt.Screen().Cell(kRows - 1, c)));
    return result;
}

#ifdef VOLTTCP_HAVE_VTERM
struct SScrollback {
    std::vector<VTermScreenCell> cells = std::vector<VTermScreenCell>(size_t(kScrollback) * kColumns);
    int next = 0;
};

int PushLine(int cols, const VTermScreenCell* cells, void* user)
{
    auto* history = static_cast<SScrollback*>(user);
    const int n = std::min(cols, kColumns);
    std::memcpy(&history->cells[size_t(history->next) * kColumns], cells, size_t(n) * sizeof(VTermScreenCell));
    history->next = (history->next + 1) % kScrollback;
    return 1;
}

double MeasureReference(const std::string& data)
{
    VTerm* term = vterm_new(kRows, kColumns);
    vterm_set_utf8(term, 0);
    VTermScreen* screen = vterm_obtain_screen(term);
    static VTermScreenCallbacks callbacks{};
    callbacks.sb_pushline = PushLine;
    SScrollback history;
    vterm_screen_set_callbacks(screen, &callbacks, &history);
    vterm_screen_reset(screen, 1);
    const double result =
        Measure(data, [&](const char* bytes, size_t length) { vterm_input_write(term, bytes, length); });
    std::string lastRow;
    for (int c = 0; c < kColumns; ++c) {
        VTermScreenCell cell;
        vterm_screen_get_cell(screen, VTermPos{kRows - 1, c}, &cell);
        lastRow.push_back(cell.chars[0] > 0x20 && cell.chars[0] < 0x7F ? static_cast<char>(cell.chars[0]) : ' ');
    }
    if (lastRow != g_lastRow)
        std::printf("  (the reference's bottom row differs: \"%s\")\n", lastRow.c_str());
    vterm_free(term);
    return result;
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? static_cast<size_t>(std::max(1, std::atoi(argv[1]))) : 16;
    const size_t bytes = megabytes * 1000 * 1000;
    const bool oursOnly = argc > 2 && std::strcmp(argv[2], "ours") == 0;
    struct {
        const char* name;
        std::string data;
    } const workloads[] = {
        {"plain text", PlainText(bytes)},
        {"heavy SGR", HeavySgr(bytes)},
        {"cursor addressed", CursorAddressed(bytes)},
        {"mixed", Mixed(bytes)},
    };

    std::printf("%-18s %10s %12s %8s\n", "workload", "ours MB/s", "reference", "ratio");
    const char* only = argc > 3 ? argv[3] : "";
    for (const auto& w : workloads) {
        if (std::strncmp(w.name, only, std::strlen(only)) != 0)
            continue;
        const double ours = MeasureOurs(w.data);
#ifdef VOLTTCP_HAVE_VTERM
        if (!oursOnly) {
            const double reference = MeasureReference(w.data);
            std::printf("%-18s %10.1f %12.1f %8.2f\n", w.name, ours, reference, ours / reference);
            continue;
        }
#endif
        std::printf("%-18s %10.1f %12s %8s\n", w.name, ours, "-", "-");
    }
    return 0;
}
