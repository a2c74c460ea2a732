#include <cstddef>
#include <cstdint>
#include <vector>

#include "snmp/SnmpDecoder.h"
#include "snmp/SnmpEncoder.h"

// Decodes the input; whatever decodes is encoded back as a response or trap, and every
// message produced must decode again to the same bindings.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> area(2048);
    static std::vector<uint8_t> packet(1024);
    static std::vector<uint8_t> area2(2048);
    SnmpRecord record;
    SnmpDecodeResult result = CSnmpDecoder::Decode(data, size, area.data(), area.size(), record);
    if (result != SnmpDecodeResult::Request && result != SnmpDecodeResult::Trap)
        return 0;

    CSnmpEncoder encoder(packet.data(), packet.size());
    uint32_t seen = 0;
    auto sink = [&](const uint8_t* message, size_t length) {
        if (length > packet.size())
            __builtin_trap();
        SnmpRecord again;
        SnmpDecodeResult r = CSnmpDecoder::Decode(message, length, area2.data(), area2.size(), again);
        if (r == SnmpDecodeResult::Dropped && record.pduType != kPduTrap)
            __builtin_trap();
        if (r == SnmpDecodeResult::Request || r == SnmpDecodeResult::Trap)
            seen += again.count;
        return true;
    };
    if (result == SnmpDecodeResult::Request) {
        encoder.Response(record.community.c_str(), record.requestId, record.errorStatus, record.errorIndex,
                         kPduGetResponse, record.count, record.names, record.values, record.types, sink);
    } else {
        encoder.Trap(record.community.c_str(), record.enterprise.c_str(), record.agentAddress.c_str(),
                     record.genericTrap, record.specificTrap, record.timeStamp, record.count, record.names,
                     record.values, record.types, sink);
    }
    if (seen > record.count)
        __builtin_trap();
    return 0;
}
