#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The shared settings file: an INI file read and written with the semantics of the
// classic private-profile calls the programs were designed around.
class CProfile final {
public:
    explicit CProfile(std::string path);

    // $VOLTTCP_INI, else $XDG_CONFIG_HOME/VOLTTCP.INI, else ~/.config/VOLTTCP.INI.
    static std::string DefaultPath();

    // Section and key match without regard to case. A missing key yields the default; the
    // result is cut to bufferSize - 1 characters, as a caller's fixed buffer would be.
    std::string GetString(const std::string& section, const std::string& key, const std::string& defaultValue,
                          std::size_t bufferSize) const;

    // Replaces or adds one key; every other line of the file stays as it was. The file is
    // replaced atomically and created with mode 0600. False when it could not be written.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);

    const std::string& Path() const { return m_path; }

private:
    std::vector<std::string> ReadLines() const;
    bool WriteLines(const std::vector<std::string>& lines) const;

    std::string m_path;
};
