#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/common/Application.h"
#include "apps/loopserver/Headless.h"
#include "apps/loopserver/Info.h"
#include "apps/loopserver/MainForm.h"
#include "apps/loopserver/Server.h"

namespace {

const CProgramInfo kProgram{
    "loopserver", "VoltTCP Echo Server", VOLTTCP_VERSION,
    "Echo server: sends back every byte each connected client sends.",
    "  --port N             listen on port N (default 7; 0 lets the system choose)\n"
    "  --headless           run without a window; log lines go to standard output\n"
    "  --workers N          with --headless: N processes share the port (default 1)\n"};

bool ParseNumber(const char* text, unsigned long low, unsigned long high, unsigned long& number)
{
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || text[0] == '-' || value < low || value > high) {
        return false;
    }
    number = value;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (auto exitCode = CApplication::HandleStandardOptions(argc, argv, kProgram)) {
        return *exitCode;
    }
    bool headless = false;
    unsigned long port = CEchoServer::kDefaultPort;
    unsigned long workers = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            headless = true;
        } else if (std::strcmp(argv[i], "--port") == 0) {
            if (i + 1 >= argc || !ParseNumber(argv[i + 1], 0, 65535, port)) {
                std::fprintf(stderr, "loopserver: --port needs a number from 0 to 65535\n");
                return 2;
            }
            ++i;
        } else if (std::strcmp(argv[i], "--workers") == 0) {
            if (i + 1 >= argc || !ParseNumber(argv[i + 1], 1, 256, workers)) {
                std::fprintf(stderr, "loopserver: --workers needs a number from 1 to 256\n");
                return 2;
            }
            ++i;
        }
    }
    if (headless) {
        CHeadlessServer server(stdout);
        return server.Run(static_cast<uint16_t>(port), static_cast<unsigned>(workers));
    }
    return CApplication::Guarded([&] {
        CApplication app(argc, argv, kProgram);
        TfrmInfo info;
        TfrmMain mainForm(app.About(), info, static_cast<uint16_t>(port));
        return app.Run(mainForm);
    });
}
