// Throughput of ReceiveData on generated host output, in the 8-bit and the UTF-8 encoding, and
// of a reference terminal library on the same bytes with the same screen and scrollback, when
// it is available.
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

#include "apps/common/CommandLine.h"
#include "bench/support/HostOutput.h"
#include "vt/Vt.h"

#ifdef VOLTTCP_HAVE_VTERM
#include <vterm.h>
#endif

using namespace host_output;

namespace {

constexpr int kRows = 24;
constexpr int kColumns = 80;
constexpr int kScrollback = 100;
constexpr size_t kChunk = 4096;  // bytes per call, as a socket read would deliver them

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

double MeasureOurs(const std::string& data, bool utf8)
{
    CVt vt;
    vt.SetProperty(kVtPropUtf8, utf8 ? 1 : 0);
    vt.SetProperty(kVtPropScrollbackRows, kScrollback);
    vt.SetProperty(kVtPropRows, kRows);
    vt.SetProperty(kVtPropEnabled, 1);
    const double result =
        Measure(data, [&](const char* bytes, size_t length) { vt.ReceiveData(bytes, length); });
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
    std::memcpy(&history->cells[size_t(history->next) * kColumns], cells,
                size_t(n) * sizeof(VTermScreenCell));
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
        lastRow.push_back(cell.chars[0] > 0x20 && cell.chars[0] < 0x7F ? static_cast<char>(cell.chars[0])
                                                                       : ' ');
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
    const CProgramInfo info{"vt_bench",
                            "VoltTCP terminal parser benchmark",
                            VOLTTCP_VERSION,
                            "Megabytes per second through the terminal's parser and screen, beside libvterm.",
                            "  MB [ours|both] [WORKLOAD]\n"
                            "                       megabytes per workload (default 16); \"ours\" skips the\n"
                            "                       reference; only the workloads whose name starts so\n",
                            false};
    CCommandLine commandLine(info, {}, 3);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    const auto& args = commandLine.Arguments();
    const size_t megabytes =
        args.size() > 0 ? static_cast<size_t>(std::max(1, std::atoi(args[0].c_str()))) : 16;
    const size_t bytes = megabytes * 1000 * 1000;
    const bool oursOnly = args.size() > 1 && args[1] == "ours";
    struct {
        const char* name;
        std::string data;
    } const workloads[] = {
        {"plain text", PlainText(bytes)},
        {"heavy SGR", HeavySgr(bytes)},
        {"cursor addressed", CursorAddressed(bytes)},
        {"mixed", Mixed(bytes)},
    };

    // Our figures in both encodings: the same ASCII bytes, so UTF-8 costs only its decoding.
    std::printf("%-18s %10s %10s %10s %12s %8s\n", "workload", "ours MB/s", "UTF-8", "UTF-8/8bit",
                "reference", "ratio");
    const char* only = args.size() > 2 ? args[2].c_str() : "";
    for (const auto& w : workloads) {
        if (std::strncmp(w.name, only, std::strlen(only)) != 0)
            continue;
        const double ours = MeasureOurs(w.data, false);
        const double utf8 = MeasureOurs(w.data, true);
        std::printf("%-18s %10.1f %10.1f %10.2f", w.name, ours, utf8, utf8 / ours);
#ifdef VOLTTCP_HAVE_VTERM
        if (!oursOnly) {
            const double reference = MeasureReference(w.data);
            std::printf(" %12.1f %8.2f\n", reference, ours / reference);
            continue;
        }
#endif
        std::printf(" %12s %8s\n", "-", "-");
    }
    return 0;
}
