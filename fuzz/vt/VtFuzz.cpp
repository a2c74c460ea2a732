// Host data into the emulator. The first byte picks the level and a few settings, so that
// every sub-mode (VT52, 8-bit controls, printer, capture, narrow screens) gets explored; each
// input runs with 8-bit characters and again as UTF-8.

#include <cstddef>
#include <cstdint>

#include "tests/support/RecordingPrintSink.h"
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

const EVtProperty kLevels[] = {kVtPropLevelVt220,     kVtPropLevelVt220Bit8, kVtPropLevelVt320,
                               kVtPropLevelVt320Bit8, kVtPropLevelVt100,     kVtPropLevelVt52,
                               kVtPropLevelNone,      kVtPropLevelVt220};

void Run(const uint8_t* data, size_t size, bool utf8)
{
    const uint8_t setup = data[0];
    CRecordingPrintSink sink;
    sink.SetPrinterPresent((setup & 0x08) != 0);
    sink.SetPage(1000, 1500);
    CFuzzVt vt(&sink);
    vt.SetProperty(kVtPropScrollbackRows, (setup & 0x40) != 0 ? 3 : 20);
    vt.SetProperty(kVtPropRows, (setup & 0x80) != 0 ? 5 : 24);
    vt.SetProperty(kVtPropEnabled, 1);
    vt.SetProperty(kLevels[setup & 7], 1);
    vt.SetProperty(kVtPropRawPrinting, (setup & 0x10) != 0);
    vt.SetProperty(kVtPropLineCapture, (setup & 0x20) != 0);
    vt.SetProperty(kVtPropUtf8, utf8);

    // Split the rest in two calls so that state carried between calls is exercised too.
    const size_t half = (size - 1) / 2;
    vt.ReceiveData(data + 1, half);
    vt.ReceiveData(data + 1 + half, size - 1 - half);

    char text[512];
    vt.Screen().GetText(text, sizeof text);
    vt.sent += vt.Screen().TextUtf8(0, 1 << 20).size();
    vt.SetProperty(kVtPropColumns, 132);
    vt.ReceiveData(data + 1, size - 1);
    // A window narrower and shorter than the screen, then wider than the host could ask.
    vt.Screen().Resize(3, 7);
    vt.ReceiveData(data + 1, size - 1);
    vt.Screen().Resize(30, 200);
    vt.SetProperty(kVtPropHardReset, 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    Run(data, size, false);
    Run(data, size, true);
    return 0;
}
