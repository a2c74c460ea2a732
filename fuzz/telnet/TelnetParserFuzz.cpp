// Feeds arbitrary bytes to the Telnet parser, whole and in pieces, and checks that the
// pieces change nothing, that nothing follows a closing call made from inside an event,
// and that subnegotiations survive a trip through the writer.

#include <cstdlib>
#include <string>

#include "telnet/TelnetCodes.h"
#include "telnet/TelnetParser.h"
#include "telnet/TelnetWriter.h"

namespace {

class CCollector final : public CTelnetSink {
public:
    void TelnetData(const char* data, uint32_t length) override
    {
        if (data == nullptr) {
            if (length != 0 || !m_closing)
                std::abort();
            m_closing = false;
            m_closed = true;
            return;
        }
        if (length == 0)
            std::abort();
        m_data.append(data, length);
        Counted();
    }

    void TelnetCommand(uint8_t command, uint8_t option, const char* data, uint32_t length) override
    {
        const bool sb = command == kTelnetSb;
        if (sb == (data == nullptr) || length > CTelnetParser::kCommandSize - 6)
            std::abort();
        m_commands += static_cast<char>(command);
        m_commands += static_cast<char>(option);
        m_commands += std::to_string(length) + ':';
        if (length != 0)
            m_commands.append(data, length);
        // Where each command fell in the data stream matters as much as its bytes.
        m_commands += std::to_string(m_data.size()) + ';';
        Counted();
    }

    void TelnetError(uint8_t code, const char* text) override
    {
        if (code != CTelnetParser::kErrorCode || text == nullptr)
            std::abort();
        m_commands += "E" + std::to_string(m_data.size()) + ';';
        Counted();
    }

    // The owner closes the session from inside its closeAt-th event.
    void Counted()
    {
        if (m_closed)
            std::abort();
        if (m_parser != nullptr && ++m_count == m_closeAt) {
            m_closing = true;
            m_parser->Receive(nullptr, 0);
            if (!m_closed)
                std::abort();
        }
    }

    std::string m_data;
    std::string m_commands;
    CTelnetParser* m_parser = nullptr;
    int m_closeAt = -1;
    int m_count = 0;
    bool m_closing = false;
    bool m_closed = false;
};

void Parse(const uint8_t* bytes, size_t size, size_t piece, CCollector& out)
{
    CTelnetParser parser(out);
    const auto* data = reinterpret_cast<const char*>(bytes);
    for (size_t at = 0; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        parser.Receive(data + at, static_cast<uint32_t>(n));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    CCollector whole;
    Parse(bytes, size, size == 0 ? 1 : size, whole);
    const size_t pieces[] = {1, 2, 3, size > 0 ? size_t{bytes[0] % 13u} + 1 : 1};
    for (const size_t piece : pieces) {
        CCollector split;
        Parse(bytes, size, piece, split);
        if (split.m_data != whole.m_data || split.m_commands != whole.m_commands)
            std::abort();
    }

    // An empty payload would encode a bare command, not a subnegotiation.
    if (size > 1) {
        CCollector closing;
        CTelnetParser parser(closing);
        closing.m_parser = &parser;
        closing.m_closeAt = bytes[1] % 16 + 1;
        parser.Receive(reinterpret_cast<const char*>(bytes), static_cast<uint32_t>(size));
        if (whole.m_data.compare(0, closing.m_data.size(), closing.m_data) != 0 ||
            whole.m_commands.compare(0, closing.m_commands.size(), closing.m_commands) != 0)
            std::abort();
    }

    const size_t payload = size < 250 ? size : 250;
    std::string wire;
    if (payload == 0 || !CTelnetWriter::Encode(kTelnetSb, 24, reinterpret_cast<const char*>(bytes),
                                               static_cast<uint32_t>(payload), wire)) {
        return 0;
    }
    CCollector trip;
    CTelnetParser parser(trip);
    parser.Receive(wire.data(), static_cast<uint32_t>(wire.size()));
    const std::string expected = std::string("\xfa\x18", 2) + std::to_string(payload) + ':' +
                                 std::string(reinterpret_cast<const char*>(bytes), payload) + "0;";
    if (!trip.m_data.empty() || trip.m_commands != expected)
        std::abort();
    return 0;
}
