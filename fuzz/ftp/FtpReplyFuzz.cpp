// Reply assembly and the PASV parser on arbitrary control data. The first byte of the input
// chooses where the received blocks end; the replies must be the same as those of a plain
// implementation that searches the whole buffer again after every block.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ftp/FtpReplyAssembler.h"
#include "ftp/FtpReplyRules.h"

namespace {

void Reference(std::string& buffer, std::vector<std::string>& out)
{
    while (buffer.size() >= 4) {
        const char mark = buffer[3];
        size_t end = std::string::npos;
        if (mark == ' ') {
            end = buffer.find("\r\n");
        } else if (mark == '-') {
            size_t last = buffer.find("\r\n" + buffer.substr(0, 3) + " ");
            if (last == std::string::npos) {
                last = buffer.find("\r\n226 ");
                if (last != std::string::npos)
                    buffer.replace(0, 3, "226");
            }
            if (last != std::string::npos)
                end = buffer.find("\r\n", last + 2);
        } else {
            out.push_back("BAD");
            buffer.clear();
            return;
        }
        if (end == std::string::npos)
            return;
        out.push_back(buffer.substr(0, end + 2));
        buffer.erase(0, end + 2);
    }
}

void CheckPassive(const std::string& reply)
{
    SPassiveAddress address;
    if (!ParsePassiveReply(reply, address))
        return;
    unsigned parts[4];
    char tail = 0;
    if (std::sscanf(address.host.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3],
                    &tail) != 4)
        std::abort();
    for (const unsigned part : parts) {
        if (part > 255)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t step = 1 + data[0] % 16;
    const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);

    CFtpReplyAssembler assembler;
    std::string reference;
    std::vector<std::string> got, expected;
    for (size_t at = 0; at < input.size(); at += step) {
        const std::string block = input.substr(at, step);
        if (!assembler.Append(block.data(), block.size()))
            std::abort();  // far below the limit
        std::string reply;
        for (;;) {
            const auto result = assembler.Next(reply);
            if (result == CFtpReplyAssembler::kNeedMore)
                break;
            if (result == CFtpReplyAssembler::kBadData) {
                got.push_back("BAD");
                assembler.Clear();
                break;
            }
            got.push_back(reply);
            CheckPassive(reply);
            (void)ClassifyReply(ReplyCode(reply), static_cast<uint8_t>(reply.size()));
        }
        reference += block;
        Reference(reference, expected);
    }
    if (got != expected || assembler.Buffered() != reference)
        std::abort();
    CheckPassive(input);
    return 0;
}
