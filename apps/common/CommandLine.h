#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct CProgramInfo {
    const char* name;   // command name, e.g. "loopserver"
    const char* title;  // application title shown in captions and the About box
    const char* version;
    const char* summary;  // one line for --help
    const char* options;  // the program's own options for --help, may be empty
    bool desktop = true;  // a Qt program: takes Qt's options and keeps settings
};

struct SOptionSpec {
    const char* name;  // "--port"
    bool takesValue;
};

// The command line every program and benchmark shares: its own options, Qt's (desktop
// programs), --help and --version, and up to a given number of plain arguments. Anything else ends the program with the usage, so a
// mistyped option is never silently ignored.
class CCommandLine final {
public:
    CCommandLine(const CProgramInfo& info, std::vector<SOptionSpec> options, size_t maxArguments = 0);

    // The exit code when the program should end at once: 0 after --help or --version (on
    // standard output), 2 after an unknown option, a missing value or an argument too many
    // (the reason and the usage on standard error). Reads no window system.
    std::optional<int> Parse(int argc, char** argv);

    bool Has(std::string_view name) const;
    // The value of the option's last occurrence, or nullptr.
    const char* Value(std::string_view name) const;
    const std::vector<std::string>& Arguments() const { return m_arguments; }

    // Prints "name: message" and the usage on standard error; returns 2 for main to return.
    int Usage(std::string_view message) const;
    static std::string HelpText(const CProgramInfo& info);

private:
    const CProgramInfo& m_info;
    std::vector<SOptionSpec> m_options;
    size_t m_maxArguments;
    std::vector<std::pair<std::string, std::string>> m_given;
    std::vector<std::string> m_arguments;
};
