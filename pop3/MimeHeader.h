#pragma once

#include <string>
#include <string_view>

// What the walker needs from a message or part header: the multipart boundary, the transfer
// encoding and the file name (Content-Disposition's filename, else Content-Type's name, with
// RFC 2231 and RFC 2047 forms decoded to UTF-8).
struct SMimeHeader {
    std::string type;  // "type/subtype" in lower case; empty when there is no Content-Type
    std::string boundary;
    char letter = ' ';  // EncodingLetter
    std::string name;

    bool IsMessage() const { return type.compare(0, 8, "message/") == 0; }
};

class CMimeHeader final {
public:
    static SMimeHeader Parse(std::string_view block);
    // The value of one parameter of a field value ("text/plain; charset=x"); empty when absent.
    static std::string Parameter(std::string_view value, std::string_view name);
};
