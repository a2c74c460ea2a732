// Load generator: keeps many GetRequests for sysDescr.0 and sysUpTime.0 in flight against
// one agent and counts the answers that match a request in flight.
//
//   snmp_load HOST PORT [SECONDS] [IN_FLIGHT] [COMMUNITY]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "apps/common/CommandLine.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Tlv(uint8_t tag, const std::vector<uint8_t>& content)
{
    std::vector<uint8_t> out{tag};
    if (content.size() < 128) {
        out.push_back(static_cast<uint8_t>(content.size()));
    } else {
        out.push_back(0x82);
        out.push_back(static_cast<uint8_t>(content.size() >> 8));
        out.push_back(static_cast<uint8_t>(content.size()));
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The request with a four-byte request-id whose offset is returned in idAt.
std::vector<uint8_t> Request(const std::string& community, size_t& idAt)
{
    const std::vector<uint8_t> sysDescr{0x2B, 6, 1, 2, 1, 1, 1, 0};
    const std::vector<uint8_t> sysUpTime{0x2B, 6, 1, 2, 1, 1, 3, 0};
    const std::vector<uint8_t> null{0x05, 0x00};
    auto bindings =
        Tlv(0x30,
            Cat({Tlv(0x30, Cat({Tlv(0x06, sysDescr), null})), Tlv(0x30, Cat({Tlv(0x06, sysUpTime), null}))}));
    auto pdu = Tlv(0xA0, Cat({Tlv(0x02, {0x10, 0, 0, 0}), Tlv(0x02, {0}), Tlv(0x02, {0}), bindings}));
    auto head = Cat({Tlv(0x02, {0}), Tlv(0x04, std::vector<uint8_t>(community.begin(), community.end()))});
    auto message = Tlv(0x30, Cat({head, pdu}));
    // The id content follows the PDU header and the id's own tag and length.
    const size_t pduAt = message.size() - pdu.size();
    idAt = pduAt + (pdu[1] & 0x80 ? 2 + (pdu[1] & 0x7F) : 2) + 2;
    return message;
}

bool ReadLength(const uint8_t*& p, const uint8_t* end, size_t& n)
{
    if (p >= end)
        return false;
    uint8_t first = *p++;
    if (first < 0x80) {
        n = first;
        return true;
    }
    n = 0;
    for (int i = first & 0x7F; i > 0; --i) {
        if (p >= end)
            return false;
        n = (n << 8) | *p++;
    }
    return true;
}

// The request-id of a GetResponse; false when the datagram is not one.
bool ResponseId(const uint8_t* p, size_t length, uint32_t& id)
{
    const uint8_t* end = p + length;
    size_t n = 0;
    if (length < 2 || *p++ != 0x30 || !ReadLength(p, end, n))
        return false;
    for (int skip = 0; skip < 2; ++skip) {  // version, community
        ++p;
        if (!ReadLength(p, end, n) || n > static_cast<size_t>(end - p))
            return false;
        p += n;
    }
    if (p >= end || *p++ != 0xA2 || !ReadLength(p, end, n) || p >= end || *p++ != 0x02 ||
        !ReadLength(p, end, n) || n > 5 || n > static_cast<size_t>(end - p))
        return false;
    id = 0;
    for (size_t i = 0; i < n; ++i)
        id = (id << 8) | p[i];
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const CProgramInfo info{
        "snmp_load",
        "VoltTCP SNMP load generator",
        VOLTTCP_VERSION,
        "Gets of sysDescr.0 and sysUpTime.0 against an SNMP agent; prints answers per second.",
        "  HOST PORT [SECONDS] [IN_FLIGHT] [COMMUNITY]\n"
        "                       the agent, the run's length (default 5), requests in\n"
        "                       flight (64) and the community (orchid)\n",
        false};
    CCommandLine commandLine(info, {}, 5);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    const auto& args = commandLine.Arguments();
    if (args.size() < 2)
        return commandLine.Usage("HOST and PORT are needed");
    const double seconds = args.size() > 2 ? std::atof(args[2].c_str()) : 5.0;
    const int inFlight = args.size() > 3 ? std::atoi(args[3].c_str()) : 64;
    const std::string community = args.size() > 4 ? args[4] : "orchid";

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(std::atoi(args[1].c_str())));
    if (inet_pton(AF_INET, args[0].c_str(), &to.sin_addr) != 1)
        return commandLine.Usage("bad address " + args[0]);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    const int bufferSize = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        std::perror("connect");
        return 1;
    }

    size_t idAt = 0;
    std::vector<uint8_t> request = Request(community, idAt);
    uint32_t nextId = 0x10000000;
    std::unordered_map<uint32_t, Clock::time_point> pending;
    uint64_t answered = 0;
    uint64_t lost = 0;
    uint64_t sent = 0;

    auto sendOne = [&](Clock::time_point now) {
        const uint32_t id = nextId++;
        for (int i = 0; i < 4; ++i)
            request[idAt + static_cast<size_t>(i)] = static_cast<uint8_t>(id >> (24 - 8 * i));
        if (send(fd, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
            pending.emplace(id, now);
            ++sent;
        }
    };

    const auto start = Clock::now();
    const auto stop = start + std::chrono::duration<double>(seconds);
    auto lastSweep = start;
    for (int i = 0; i < inFlight; ++i)
        sendOne(start);
    std::vector<uint8_t> buffer(65536);
    while (true) {
        const auto now = Clock::now();
        if (now >= stop)
            break;
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 50);
        ssize_t n;
        while ((n = recv(fd, buffer.data(), buffer.size(), 0)) > 0) {
            uint32_t id = 0;
            if (ResponseId(buffer.data(), static_cast<size_t>(n), id) && pending.erase(id) == 1) {
                ++answered;
                sendOne(Clock::now());
            }
        }
        // Requests without an answer for a second count as lost and are replaced.
        if (now - lastSweep > std::chrono::milliseconds(200)) {
            lastSweep = now;
            for (auto it = pending.begin(); it != pending.end();) {
                if (now - it->second > std::chrono::seconds(1)) {
                    it = pending.erase(it);
                    ++lost;
                } else {
                    ++it;
                }
            }
            while (pending.size() < static_cast<size_t>(inFlight))
                sendOne(now);
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("sent %llu answered %llu lost %llu in %.2f s: %.0f answers/s\n",
                static_cast<unsigned long long>(sent), static_cast<unsigned long long>(answered),
                static_cast<unsigned long long>(lost), elapsed, static_cast<double>(answered) / elapsed);
    close(fd);
    return answered > 0 ? 0 : 1;
}
