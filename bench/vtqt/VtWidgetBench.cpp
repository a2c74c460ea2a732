// Terminal window costs: host data into a shown window (repaints gathered), and one full
// repaint of a coloured screen. Run with QT_QPA_PLATFORM=offscreen.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>

#include "apps/common/CommandLine.h"
#include "vt/qt/VoltVt.h"

namespace {

class CBenchVt final : public CVoltVt {
protected:
    void SendToHost(const uint8_t*, size_t) override {}
};

std::string ColouredListing(size_t size)
{
    std::string text;
    int line = 0;
    while (text.size() < size) {
        text += "-rw-r--r-- 1 user user  4096 Dec  7 23:00 \x1b[3" + std::to_string(1 + line % 7) + "mfile" +
                std::to_string(line) + ".txt\x1b[0m and some more text on the line\r\n";
        ++line;
    }
    return text;
}

struct CShownTerminal {
    QWidget parent;
    CBenchVt vt;
    CVtWidget* window;

    CShownTerminal()
    {
        window = vt.CreateTerminalWindow(&parent);
        vt.SetProperty(kVtPropEnabled, 1);
        vt.SetProperty(kVtPropScrollbackRows, 1000);
        QFont font(CVtWidget::kDecFamily);
        font.setPixelSize(16);
        vt.SetFont(font);
        parent.resize(window->SizeForCells(80, 24));
        window->resize(parent.size());
        parent.show();
        QApplication::processEvents();
    }
};

void BM_HostDataIntoWindow(benchmark::State& state)
{
    CShownTerminal terminal;
    const std::string data = ColouredListing(1 << 20);
    for (auto _ : state) {
        // Blocks as a socket would deliver them, the event loop running between them.
        for (size_t at = 0; at < data.size(); at += 4096) {
            terminal.vt.ReceiveData(data.data() + at, std::min<size_t>(4096, data.size() - at));
            QApplication::processEvents();
        }
        terminal.window->PaintNow();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_HostDataIntoWindow)->Unit(benchmark::kMillisecond);

void BM_FullRepaint(benchmark::State& state)
{
    CShownTerminal terminal;
    const std::string data = ColouredListing(80 * 30);
    terminal.vt.ReceiveData(data.data(), data.size());
    for (auto _ : state) {
        terminal.window->viewport()->repaint();
    }
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Ours first (--help, --version, anything unknown); Google Benchmark's own options pass.
    const CProgramInfo info{
        "vtqt_bench",
        "VoltTCP terminal widget benchmark",
        VOLTTCP_VERSION,
        "Paint and update times of the terminal widget.",
        "  --benchmark_...      Google Benchmark's options, e.g. --benchmark_filter=REGEX\n",
        false};
    std::vector<char*> ours;
    for (int i = 0; i < argc; ++i) {
        if (i == 0 || std::strncmp(argv[i], "--benchmark_", 12) != 0)
            ours.push_back(argv[i]);
    }
    if (const auto exitCode = CCommandLine(info, {}).Parse(static_cast<int>(ours.size()), ours.data()))
        return *exitCode;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
