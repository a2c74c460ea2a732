#include <cstdio>
#include <cstdlib>
#include <string>

#include "apps/common/Application.h"
#include "apps/common/CommandLine.h"
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
    CCommandLine commandLine(kProgram, {{"--port", true}, {"--headless", false}, {"--workers", true}});
    if (const auto exitCode = commandLine.Parse(argc, argv)) {
        return *exitCode;
    }
    unsigned long port = CEchoServer::kDefaultPort;
    unsigned long workers = 1;
    if (const char* text = commandLine.Value("--port"); text && !ParseNumber(text, 0, 65535, port)) {
        return commandLine.Usage("--port needs a number from 0 to 65535");
    }
    if (const char* text = commandLine.Value("--workers"); text && !ParseNumber(text, 1, 256, workers)) {
        return commandLine.Usage("--workers needs a number from 1 to 256");
    }
    if (commandLine.Has("--headless")) {
        CHeadlessServer server(stdout, stderr);
        return server.Run(static_cast<uint16_t>(port), static_cast<unsigned>(workers));
    }
    if (commandLine.Has("--workers")) {
        return commandLine.Usage("--workers goes with --headless");
    }
    return CApplication::Guarded([&] {
        CApplication app(argc, argv, kProgram);
        TfrmInfo info;
        TfrmMain mainForm(app.About(), info, static_cast<uint16_t>(port));
        return app.Run(mainForm);
    });
}
