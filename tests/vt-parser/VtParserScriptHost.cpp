#include "tests/vt-parser/VtParserScriptHost.h"

#include <cstdlib>

namespace {

std::string Shown(const std::string& bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0x1B) {
            out += "\\e";
        } else if (b < 0x20 || b >= 0x7F) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

bool Compare(const char* what, std::string& seen, const std::string& wanted, std::string& failure)
{
    if (seen != wanted)
        failure = std::string(what) + ": saw \"" + Shown(seen) + "\", wanted \"" + Shown(wanted) + "\"";
    seen.clear();
    return true;
}

long long Number(const std::vector<std::string>& words, size_t i)
{
    return i < words.size() ? std::strtoll(words[i].c_str(), nullptr, 0) : 0;
}

}  // namespace

CParserScriptHost::CParserScriptHost()
{
    Fresh();
}

void CParserScriptHost::Fresh()
{
    m_vt.emplace();
    m_vt->SetWindow(&m_window);
    m_window.Clear();
}

bool CParserScriptHost::Push(const std::string& bytes)
{
    m_vt->Feed(bytes);
    return true;
}

bool CParserScriptHost::Command(const std::vector<std::string>& words, std::string& failure)
{
    const std::string& verb = words[0];
    const std::string argument = words.size() > 1 ? words[1] : std::string();
    if (verb == "fresh") {
        Fresh();
        return true;
    }
    if (verb == "answers")
        return Compare("answers", m_vt->answers, argument, failure);
    if (verb == "lines")
        return Compare("lines", m_vt->lines, argument, failure);
    if (verb == "setprop") {
        m_vt->SetProperty(static_cast<int>(Number(words, 1)), static_cast<VtValue>(Number(words, 2)));
        return true;
    }
    if (verb == "prop") {
        const VtValue seen = m_vt->GetProperty(static_cast<int>(Number(words, 1)));
        if (seen != Number(words, 2))
            failure = "prop " + argument + ": saw " + std::to_string(seen) + ", wanted " +
                      std::to_string(Number(words, 2));
        return true;
    }
    return false;
}
