#pragma once

#include <string>
#include <string_view>

// Header texts as a reader wants them: folded lines joined, RFC 2047 encoded words
// ("=?UTF-8?B?...?=", "=?ISO-8859-1?Q?...?=") decoded to UTF-8. Bytes outside encoded words
// are kept as they are.
class CHeaderText final {
public:
    static std::string Decode(std::string_view raw);

    // Converts text in the named character set to UTF-8; false (and out untouched) when the
    // set is unknown or the text is not valid in it.
    static bool ToUtf8(std::string_view text, std::string_view charset, std::string& out);

    // "%XX" escapes of an RFC 2231 value.
    static std::string PercentDecode(std::string_view text);
};
