#include "apps/mibagent/Agent.h"

#include <time.h>

#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kNoSuchName = 2;
constexpr uint8_t kBadValue = 3;

struct Counter {
    const char* name;
    uint32_t value;
};
// The fixed counters answered by Get.
constexpr Counter kCounters[] = {
    {"1.3.6.1.2.1.5.1.0", 6876}, {"1.3.6.1.2.1.5.14.0", 5678},  {"1.3.6.1.2.1.4.3.0", 867},
    {"1.3.6.1.2.1.4.10.0", 523}, {"1.3.6.1.2.1.7.1.0", 97},     {"1.3.6.1.2.1.7.4.0", 897},
    {"1.3.6.1.2.1.6.10.0", 113}, {"1.3.6.1.2.1.6.11.0", 89745},
};
constexpr const char* kUpTimeName = "1.3.6.1.2.1.1.3.0";
constexpr const char* kSystemNames[CAgentView::SystemTextCount] = {
    "1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.2.0", "1.3.6.1.2.1.1.4.0", "1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.6.0"};

// Physical addresses of the two address-translation rows, as counted texts.
constexpr uint8_t kOwnPhysical[] = {6, 0, 0x01, 0x05, 0xC6, 0x37, 0x00, 0x13, 0};
constexpr uint8_t kOtherPhysical[] = {6, 0, 0x00, 0x05, 0xA7, 0x43, 0x00, 0x11, 0};
constexpr uint8_t kOtherAddress[] = {8, 0, '1', '6', '.', '1', '.', '0', '.', '8', 0};
constexpr const char* kOther = "16.1.0.8";

int SystemIndex(const char* name)
{
    for (int i = 0; i < CAgentView::SystemTextCount; ++i)
        if (std::strcmp(name, kSystemNames[i]) == 0)
            return i;
    return -1;
}

bool ParseNumber(const std::string& text, long& value)
{
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last && first != last;
}

}  // namespace

CSnmpAgent::CSnmpAgent(CAgentView& view, uint16_t port) : m_view(view), m_port(port)
{}

uint32_t CSnmpAgent::UpTime()
{
    timespec now{};
    if (clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        double seconds = 0;
        std::FILE* uptime = std::fopen("/proc/uptime", "r");
        if (uptime != nullptr) {
            if (std::fscanf(uptime, "%lf", &seconds) != 1)
                seconds = 0;
            std::fclose(uptime);
        }
        return static_cast<uint32_t>(static_cast<uint64_t>(seconds * 100));
    }
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 100 +
                                 static_cast<uint64_t>(now.tv_nsec) / 10000000);
}

const char* CSnmpAgent::PduName(uint8_t pduType)
{
    static const char* const kNames[] = {"GetRequest", "GetNextRequest", "GetResponse", "SetRequest", "Trap"};
    return pduType < 5 ? kNames[pduType] : "Unknown";
}

void CSnmpAgent::Reset()
{
    if (GetState() != Closed) {
        m_view.ShowStatus("Not Listening", false);
        Close(true);
    }
    m_view.HidePanels();
    Open(0, nullptr, m_port);
}

void CSnmpAgent::OnException(uint8_t, const char* text)
{
    m_view.ShowError(text);
}

void CSnmpAgent::OnSnmpOpen(const char* localAddress, uint16_t localPort, const char*, uint16_t)
{
    m_agentAddress = localAddress;
    m_listeningPort = localPort;
    MakeCounted(m_addressValue, sizeof m_addressValue, m_agentAddress.data(), m_agentAddress.size());
    char text[40];
    std::snprintf(text, sizeof text, "Listening on port %d", localPort);
    m_view.ShowStatus(text, true);
}

void CSnmpAgent::OnSnmpRequest(const char* community, int32_t requestId, uint8_t, int32_t, uint8_t pduType,
                               uint32_t count, const char** names, SnmpValue* values, uint8_t* types,
                               const char* senderAddress, uint16_t senderPort)
{
    m_view.ShowAction(std::string("Last Action: ") + PduName(pduType) + " from: " + senderAddress);
    switch (pduType) {
    case kPduGetRequest:
        Get(senderAddress, senderPort, community, requestId, count, names, values, types);
        break;
    case kPduGetNextRequest: GetNext(senderAddress, senderPort, community, requestId, names[0]); break;
    case kPduSetRequest:
        Set(senderAddress, senderPort, community, requestId, count, names, values, types);
        break;
    default: break;
    }
}

const uint8_t* CSnmpAgent::SystemValue(CAgentView::SystemText which)
{
    std::string text = m_view.GetSystemText(which);
    if (text.size() > kMaxText)
        text.resize(kMaxText);
    MakeCounted(m_values[which], sizeof m_values[which], text.data(), text.size());
    return m_values[which];
}

void CSnmpAgent::Get(const char* sender, uint16_t port, const char* community, int32_t requestId,
                     uint32_t count, const char** names, SnmpValue* values, uint8_t* types)
{
    uint8_t status = 0;
    int32_t index = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const int system = SystemIndex(names[i]);
        if (system >= 0) {
            values[i] = SnmpValue{0, SystemValue(static_cast<CAgentView::SystemText>(system))};
            types[i] = kSnmpOctetString;
            continue;
        }
        if (std::strcmp(names[i], kUpTimeName) == 0) {
            values[i] = SnmpValue{UpTime(), nullptr};
            types[i] = kSnmpTimeTicks;
            continue;
        }
        bool found = false;
        for (const Counter& counter : kCounters) {
            if (std::strcmp(names[i], counter.name) == 0) {
                values[i] = SnmpValue{counter.value, nullptr};
                types[i] = kSnmpCounter;
                found = true;
                break;
            }
        }
        if (!found) {
            values[i] = SnmpValue{};
            types[i] = kSnmpNull;
            status = kNoSuchName;
            index = static_cast<int32_t>(i + 1);
        }
    }
    SendResponse(sender, port, community, requestId, status, index, count, names, values, types);
}

void CSnmpAgent::GetNext(const char* sender, uint16_t port, const char* community, int32_t requestId,
                         const char* name)
{
    const std::string a = m_agentAddress;
    const std::string index = "1.3.6.1.2.1.3.1.1.1.1.1.";
    const std::string physical = "1.3.6.1.2.1.3.1.1.2.1.1.";
    const std::string network = "1.3.6.1.2.1.3.1.1.3.1.1.";
    struct Successor {
        std::string requested;
        std::string next;
        uint8_t type;
        SnmpValue value;
    };
    const Successor list[] = {
        {"1.3.6.1.2.1.3.1.0", index + a, kSnmpInteger, {1, nullptr}},
        {index + a, index + kOther, kSnmpInteger, {1, nullptr}},
        {index + kOther, physical + a, kSnmpOctetString, {0, kOwnPhysical}},
        {physical + a, physical + kOther, kSnmpOctetString, {0, kOtherPhysical}},
        {physical + kOther, network + a, kSnmpIpAddress, {0, m_addressValue}},
        {network + a, network + kOther, kSnmpIpAddress, {0, kOtherAddress}},
        {network + kOther, "1.3.6.1.2.1.4.1.0", kSnmpInteger, {1, nullptr}},
    };
    for (const Successor& s : list) {
        if (s.requested == name) {
            const char* next = s.next.c_str();
            SendResponse(sender, port, community, requestId, 0, 0, 1, &next, &s.value, &s.type);
            return;
        }
    }
    const SnmpValue none{};
    const uint8_t type = kSnmpNull;
    SendResponse(sender, port, community, requestId, kNoSuchName, 1, 1, &name, &none, &type);
}

// All or nothing: a value without text for one of the system texts changes none of them.
void CSnmpAgent::Set(const char* sender, uint16_t port, const char* community, int32_t requestId,
                     uint32_t count, const char** names, SnmpValue* values, uint8_t* types)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (SystemIndex(names[i]) >= 0 && !SnmpIsTextType(types[i])) {
            SendResponse(sender, port, community, requestId, kBadValue, static_cast<int32_t>(i + 1), count,
                         names, values, types);
            return;
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        const int system = SystemIndex(names[i]);
        if (system >= 0)
            m_view.SetSystemText(static_cast<CAgentView::SystemText>(system), CountedString(values[i].text));
    }
    SendResponse(sender, port, community, requestId, 0, 0, count, names, values, types);
}

bool CSnmpAgent::SendTestTrap(const std::string& destination, uint16_t port, const std::string& community,
                              const std::string& enterprise, const std::string& generic,
                              const std::string& specific)
{
    if (GetState() != Connected)
        return false;
    long number = 0;
    const uint8_t genericTrap = ParseNumber(generic, number) ? static_cast<uint8_t>(number) : 1;
    const int32_t specificTrap = ParseNumber(specific, number) ? static_cast<int8_t>(number) : 0;

    static const char* const kNames[] = {"1.3.6.1.1", "1.3.6.1.2", "1.3.6.1.3"};
    uint8_t texts[3][64];
    SnmpValue values[3];
    const uint8_t types[3] = {kSnmpOctetString, kSnmpOctetString, kSnmpOctetString};
    for (int i = 0; i < 3; ++i) {
        char text[60];
        const int length =
            std::snprintf(text, sizeof text, "Test Trap from VoltTCP SNMP Agent, Value-%d", i + 1);
        MakeCounted(texts[i], sizeof texts[i], text, static_cast<size_t>(length));
        values[i] = SnmpValue{0, texts[i]};
    }
    return SendTrap(destination.c_str(), port, community.c_str(), enterprise.c_str(), m_agentAddress.c_str(),
                    genericTrap, specificTrap, 0, 3, kNames, values, types) == 1;
}
