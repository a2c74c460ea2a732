#include "pop3/HeaderFields.h"

#include <strings.h>

namespace {

// The field's first occurrence at the start of the block or right after a LF.
std::string Field(std::string_view block, std::string_view name)
{
    size_t at = 0;
    while (at + name.size() <= block.size()) {
        if ((at == 0 || block[at - 1] == '\n') &&
            strncasecmp(block.data() + at, name.data(), name.size()) == 0)
            break;
        const size_t next = block.find('\n', at);
        if (next == std::string_view::npos)
            return {};
        at = next + 1;
    }
    if (at + name.size() > block.size())
        return {};
    const std::string_view spelled = block.substr(at, name.size());
    const size_t start = at + name.size();
    size_t end = start;
    for (;;) {
        const size_t cr = block.find('\r', end);
        end = cr == std::string_view::npos ? block.size() : cr;
        // A folded line, or the same field again spelled the same way, belongs to the value.
        const size_t next = end + 2;
        if (cr == std::string_view::npos || next > block.size() || block[end + 1] != '\n' ||
            next >= block.size())
            break;
        if (block[next] == ' ' || block[next] == '\t' || block.substr(next, spelled.size()) == spelled) {
            end = next;
            continue;
        }
        break;
    }
    return std::string(block.substr(start, end - start));
}

}  // namespace

SHeaderFields SHeaderFields::Extract(std::string_view block)
{
    SHeaderFields f;
    f.returnPath = Field(block, "Return-Path:");
    f.received = Field(block, "Received:");
    f.from = Field(block, "From:");
    f.date = Field(block, "Date:");
    f.subject = Field(block, "Subject:");
    f.sender = Field(block, "Sender:");
    f.to = Field(block, "To:");
    f.cc = Field(block, "cc:");
    return f;
}
