#include "pop3/MimeHeader.h"

#include <strings.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "pop3/HeaderText.h"

namespace {

bool Same(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The unfolded value of the first field of that name.
bool FieldValue(std::string_view block, std::string_view name, std::string& value)
{
    size_t start = 0;
    while (start < block.size()) {
        size_t end = block.find('\n', start);
        if (end == std::string_view::npos)
            end = block.size();
        std::string_view line = block.substr(start, end - start);
        start = end + 1;
        const size_t colon = line.find(':');
        if (line.empty() || line[0] == ' ' || line[0] == '\t' || colon == std::string_view::npos ||
            !Same(Trim(line.substr(0, colon)), name))
            continue;
        value.assign(line.substr(colon + 1));
        // Continuation lines.
        while (start < block.size() && (block[start] == ' ' || block[start] == '\t')) {
            end = block.find('\n', start);
            if (end == std::string_view::npos)
                end = block.size();
            value += ' ';
            value.append(block.substr(start, end - start));
            start = end + 1;
        }
        value.erase(std::remove_if(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }),
                    value.end());
        return true;
    }
    return false;
}

struct SParam {
    std::string name;  // lower case, RFC 2231 suffixes removed
    int section = -1;  // -1: not a continuation
    bool extended = false;
    std::string value;
};

// Parameters after the first ';' of a field value.
std::vector<SParam> Parameters(std::string_view value)
{
    std::vector<SParam> params;
    size_t i = value.find(';');
    while (i != std::string_view::npos && i < value.size()) {
        ++i;
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t' || value[i] == ';'))
            ++i;
        const size_t eq = value.find_first_of("=;", i);
        if (eq == std::string_view::npos || value[eq] == ';') {
            i = eq;
            continue;
        }
        std::string name = Lower(Trim(value.substr(i, eq - i)));
        i = eq + 1;
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
            ++i;
        std::string text;
        if (i < value.size() && value[i] == '"') {
            ++i;
            while (i < value.size() && value[i] != '"') {
                // A backslash quotes only a quote or itself: Windows paths keep theirs.
                if (value[i] == '\\' && i + 1 < value.size() && (value[i + 1] == '"' || value[i + 1] == '\\'))
                    ++i;
                text += value[i++];
            }
            i = value.find(';', i);
        } else {
            const size_t stop = value.find(';', i);
            text = Trim(value.substr(i, stop == std::string_view::npos ? std::string_view::npos : stop - i));
            i = stop;
        }
        SParam param;
        if (!name.empty() && name.back() == '*') {
            param.extended = true;
            name.pop_back();
        }
        const size_t star = name.find('*');
        if (star != std::string::npos) {
            const std::string digits = name.substr(star + 1);
            if (!digits.empty() && digits.size() < 4 &&
                std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
                param.section = std::stoi(digits);
            name.resize(star);
        }
        param.name = std::move(name);
        param.value = std::move(text);
        params.push_back(std::move(param));
    }
    return params;
}

// charset'language'text of an RFC 2231 value, converted to UTF-8 (kept as it is when the set is unknown).
std::string ExtendedValue(const std::string& charset, const std::string& encoded)
{
    const std::string bytes = CHeaderText::PercentDecode(encoded);
    std::string out;
    if (charset.empty() || !CHeaderText::ToUtf8(bytes, charset, out))
        return bytes;
    return out;
}

std::string FindParameter(std::string_view fieldValue, std::string_view wanted, bool words = true)
{
    const std::vector<SParam> params = Parameters(fieldValue);
    // A plain value, unless RFC 2231 sections or an extended value are present.
    std::map<int, const SParam*> sections;
    const SParam* plain = nullptr;
    const SParam* extended = nullptr;
    for (const SParam& p : params) {
        if (p.name != wanted)
            continue;
        if (p.section >= 0)
            sections.emplace(p.section, &p);
        else if (p.extended && !extended)
            extended = &p;
        else if (!p.extended && !plain)
            plain = &p;
    }
    if (extended) {
        const std::string& v = extended->value;
        const size_t q1 = v.find('\'');
        const size_t q2 = q1 == std::string::npos ? std::string::npos : v.find('\'', q1 + 1);
        if (q2 == std::string::npos)
            return CHeaderText::PercentDecode(v);
        return ExtendedValue(v.substr(0, q1), v.substr(q2 + 1));
    }
    if (!sections.empty() && sections.begin()->first == 0) {
        std::string charset;
        std::string bytes;
        int next = 0;
        for (const auto& [index, p] : sections) {
            if (index != next++)
                break;
            std::string piece = p->value;
            if (p->extended) {
                if (index == 0) {
                    const size_t q1 = piece.find('\'');
                    const size_t q2 = q1 == std::string::npos ? std::string::npos : piece.find('\'', q1 + 1);
                    if (q2 != std::string::npos) {
                        charset = piece.substr(0, q1);
                        piece = piece.substr(q2 + 1);
                    }
                }
                bytes += CHeaderText::PercentDecode(piece);
            } else {
                bytes += piece;
            }
        }
        std::string out;
        if (charset.empty() || !CHeaderText::ToUtf8(bytes, charset, out))
            return CHeaderText::Decode(bytes);
        return out;
    }
    if (plain)
        return words ? CHeaderText::Decode(plain->value) : plain->value;
    return {};
}

}  // namespace

std::string CMimeHeader::Parameter(std::string_view value, std::string_view name)
{
    return FindParameter(value, Lower(name));
}

SMimeHeader CMimeHeader::Parse(std::string_view block)
{
    SMimeHeader header;
    std::string type, disposition, encoding;
    if (FieldValue(block, "content-type", type)) {
        const size_t semi = type.find(';');
        header.type = Lower(Trim(std::string_view(type).substr(0, semi)));
        header.boundary = FindParameter(type, "boundary", false);
    }
    if (FieldValue(block, "content-transfer-encoding", encoding)) {
        const std::string lower = Lower(encoding);
        if (lower.find("base64") != std::string::npos)
            header.letter = 'M';
        else if (lower.find("uuencode") != std::string::npos)
            header.letter = 'U';
        else if (lower.find("quoted-printable") != std::string::npos)
            header.letter = 'Q';
    }
    FieldValue(block, "content-disposition", disposition);
    for (const auto& [field, param] : {std::pair{&disposition, "filename"}, std::pair{&type, "filename"},
                                       std::pair{&type, "name"}, std::pair{&disposition, "name"}}) {
        if (!field->empty())
            header.name = FindParameter(*field, param);
        if (!header.name.empty())
            break;
    }
    return header;
}
