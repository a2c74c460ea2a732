#pragma once

#include <string>
#include <string_view>

// The eight header fields OnHeader reports, as they stand in the header block: the value
// starts after the colon (its leading space kept) and takes in folded lines and directly
// following lines of the same field, each with its CR LF; empty when the field is absent.
struct SHeaderFields {
    std::string returnPath, received, date, from, subject, sender, to, cc;

    static SHeaderFields Extract(std::string_view block);
};
