#include "tests/vt/VtParserScriptHost.h"

#include <cstdlib>
#include <cstring>

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

#define VT_PROPERTY(name) \
    {                     \
#name, name       \
    }
const struct {
    const char* name;
    EVtProperty id;
} kProperties[] = {
    VT_PROPERTY(kVtPropLevelNone),
    VT_PROPERTY(kVtPropLevelVt52),
    VT_PROPERTY(kVtPropLevelVt100),
    VT_PROPERTY(kVtPropLevelVt220),
    VT_PROPERTY(kVtPropLevelVt220Bit8),
    VT_PROPERTY(kVtPropAutoPrint),
    VT_PROPERTY(kVtPropAutoRepeat),
    VT_PROPERTY(kVtPropAutowrap),
    VT_PROPERTY(kVtPropAudibleBell),
    VT_PROPERTY(kVtPropScrollbackRows),
    VT_PROPERTY(kVtPropClearAll),
    VT_PROPERTY(kVtPropBackgroundColour),
    VT_PROPERTY(kVtPropBoldColour),
    VT_PROPERTY(kVtPropForegroundColour),
    VT_PROPERTY(kVtPropColumns),
    VT_PROPERTY(kVtPropCellWidth),
    VT_PROPERTY(kVtPropCaretVisible),
    VT_PROPERTY(kVtPropCursorColumn),
    VT_PROPERTY(kVtPropCursorKeysApplication),
    VT_PROPERTY(kVtPropCursorRow),
    VT_PROPERTY(kVtPropUnderlineCaret),
    VT_PROPERTY(kVtPropEnabled),
    VT_PROPERTY(kVtPropReverseScreen),
    VT_PROPERTY(kVtPropKeypadApplication),
    VT_PROPERTY(kVtPropNewLineMode),
    VT_PROPERTY(kVtPropSendReceive),
    VT_PROPERTY(kVtPropPrintLine),
    VT_PROPERTY(kVtPropPrinterController),
    VT_PROPERTY(kVtPropRawPrinting),
    VT_PROPERTY(kVtPropPrintScreen),
    VT_PROPERTY(kVtPropHardReset),
    VT_PROPERTY(kVtPropRows),
    VT_PROPERTY(kVtPropCellHeight),
    VT_PROPERTY(kVtPropSmoothScroll),
    VT_PROPERTY(kVtPropSelectionLength),
    VT_PROPERTY(kVtPropSelectionStart),
    VT_PROPERTY(kVtPropLineCapture),
    VT_PROPERTY(kVtPropNationalSet),
    VT_PROPERTY(kVtPropBackspaceSendsBs),
    VT_PROPERTY(kVtPropStatusDisplay),
    VT_PROPERTY(kVtPropLevelVt320),
    VT_PROPERTY(kVtPropLevelVt320Bit8),
    VT_PROPERTY(kVtPropUtf8),
};
#undef VT_PROPERTY

// The property a script names; failure says so when the name is not in the table.
std::optional<EVtProperty> Property(const std::vector<std::string>& words, std::string& failure)
{
    const std::string name = words.size() > 1 ? words[1] : std::string();
    for (const auto& property : kProperties) {
        if (name == property.name)
            return property.id;
    }
    failure = "no property named \"" + name + "\"";
    return std::nullopt;
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
    if (verb == "titles") {
        std::string seen;
        for (const std::string& title : m_vt->titles)
            seen += "[" + title + "]";
        m_vt->titles.clear();
        return Compare("titles", seen, argument, failure);
    }
    if (verb == "setprop") {
        if (const auto id = Property(words, failure))
            m_vt->SetProperty(*id, static_cast<VtValue>(Number(words, 2)));
        return true;
    }
    if (verb == "prop") {
        const auto id = Property(words, failure);
        if (!id)
            return true;
        const VtValue seen = m_vt->GetProperty(*id);
        if (seen != Number(words, 2))
            failure = "prop " + argument + ": saw " + std::to_string(seen) + ", wanted " +
                      std::to_string(Number(words, 2));
        return true;
    }
    return false;
}
