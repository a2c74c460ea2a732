// Host data into the emulator. The first byte picks the level and a few settings, so that
// every sub-mode (VT52, 8-bit controls, printer, capture, narrow screens) gets explored.

#include <cstddef>
#include <cstdint>

#include "vt/RecordingPrintSink.h"
#include "vt/Vt.h"

namespace {

class CFuzzVt final : public CVt {
public:
    using CVt::CVt;
    size_t sent = 0;

protected:
    void SendToHost(const uint8_t*, size_t length) override { sent += length; }
    void LineOutput(const uint8_t*, size_t length) override { sent += length; }
};

const int kLevels[] = {4, 5, 45, 46, 3, 2, 1, 4};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t setup = data[0];
    CRecordingPrintSink sink;
    sink.SetPrinterPresent((setup & 0x08) != 0);
    sink.SetPage(1000, 1500);
    CFuzzVt vt(&sink);
    vt.SetProperty(10, (setup & 0x40) != 0 ? 3 : 20);
    vt.SetProperty(33, (setup & 0x80) != 0 ? 5 : 24);
    vt.SetProperty(22, 1);
    vt.SetProperty(kLevels[setup & 7], 1);
    vt.SetProperty(30, (setup & 0x10) != 0);
    vt.SetProperty(39, (setup & 0x20) != 0);

    // Split the rest in two calls so that state carried between calls is exercised too.
    const size_t half = (size - 1) / 2;
    vt.ReceiveData(data + 1, half);
    vt.ReceiveData(data + 1 + half, size - 1 - half);

    char text[512];
    vt.Screen().GetText(text, sizeof text);
    vt.SetProperty(15, 132);
    vt.ReceiveData(data + 1, size - 1);
    vt.SetProperty(32, 1);
    return 0;
}
