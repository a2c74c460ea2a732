#include "apps/common/CommandLine.h"

#include <cstdio>
#include <cstring>

namespace {

// Qt's own options, which QApplication takes out of the arguments later; with one dash or two.
constexpr SOptionSpec kQtOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"geometry", true},
    {"display", true},
    {"title", true},
    {"name", true},
    {"style", true},
    {"stylesheet", true},
    {"session", true},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
};

const SOptionSpec* FindQtOption(const char* arg)
{
    if (arg[0] != '-')
        return nullptr;
    const char* name = arg + (arg[1] == '-' ? 2 : 1);
    for (const SOptionSpec& option : kQtOptions) {
        if (std::strcmp(option.name, name) == 0)
            return &option;
    }
    return nullptr;
}

}  // namespace

CCommandLine::CCommandLine(const CProgramInfo& info, std::vector<SOptionSpec> options, size_t maxArguments)
    : m_info(info), m_options(std::move(options)), m_maxArguments(maxArguments)
{}

std::string CCommandLine::HelpText(const CProgramInfo& info)
{
    std::string text = std::string("Usage: ") + info.name + " [options]\n" + info.summary + "\n\nOptions:\n";
    if (info.options && *info.options)
        text += info.options;
    text += "  --help               show this help and exit\n"
            "  --version            show the version and exit\n";
    if (info.desktop) {
        text += "  -platform NAME       Qt platform plugin, e.g. offscreen or xcb\n"
                "\nSettings are kept in $VOLTTCP_INI, else $XDG_CONFIG_HOME/VOLTTCP.INI,\n"
                "else ~/.config/VOLTTCP.INI.\n";
    }
    return text;
}

int CCommandLine::Usage(std::string_view message) const
{
    std::fprintf(stderr, "%s: %.*s\n\n%s", m_info.name, static_cast<int>(message.size()), message.data(),
                 HelpText(m_info).c_str());
    return 2;
}

std::optional<int> CCommandLine::Parse(int argc, char** argv)
{
    m_given.clear();
    m_arguments.clear();
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(HelpText(m_info).c_str(), stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("%s (%s) %s\n", m_info.name, m_info.title, m_info.version);
            return 0;
        }
    }
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || arg[1] == '\0') {
            if (m_arguments.size() == m_maxArguments)
                return Usage(std::string("unexpected argument '") + arg + "'");
            m_arguments.emplace_back(arg);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        const char* equals = std::strchr(arg, '=');
        const std::string name = equals ? std::string(arg, equals) : std::string(arg);
        const SOptionSpec* spec = nullptr;
        for (const SOptionSpec& option : m_options) {
            if (name == option.name)
                spec = &option;
        }
        if (!spec) {
            if (const SOptionSpec* qt = m_info.desktop ? FindQtOption(arg) : nullptr) {
                i += qt->takesValue ? 1 : 0;
                continue;
            }
            return Usage("unknown option '" + name + "'");
        }
        if (!spec->takesValue) {
            if (equals)
                return Usage(name + " takes no value");
            m_given.emplace_back(name, std::string());
        } else if (equals) {
            m_given.emplace_back(name, std::string(equals + 1));
        } else if (i + 1 < argc) {
            m_given.emplace_back(name, std::string(argv[++i]));
        } else {
            return Usage(name + " needs a value");
        }
    }
    return std::nullopt;
}

bool CCommandLine::Has(std::string_view name) const
{
    for (const auto& given : m_given) {
        if (given.first == name)
            return true;
    }
    return false;
}

const char* CCommandLine::Value(std::string_view name) const
{
    const char* value = nullptr;
    for (const auto& given : m_given) {
        if (given.first == name)
            value = given.second.c_str();
    }
    return value;
}
