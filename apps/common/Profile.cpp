#include "apps/common/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

namespace {

constexpr const char* kFileName = "VOLTTCP.INI";

std::string Trim(const std::string& text)
{
    const char* blanks = " \t\r";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (std::tolower(ca) != std::tolower(cb)) {
            return false;
        }
    }
    return true;
}

bool IsComment(const std::string& trimmed)
{
    return !trimmed.empty() && (trimmed[0] == ';' || trimmed[0] == '#');
}

// True for a "[name]" line; name receives the trimmed section name.
bool ParseSection(const std::string& line, std::string& name)
{
    const std::string trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != '[') {
        return false;
    }
    const auto close = trimmed.find(']');
    if (close == std::string::npos) {
        return false;
    }
    name = Trim(trimmed.substr(1, close - 1));
    return true;
}

// True for a "key=value" line.
bool ParseKey(const std::string& line, std::string& key, std::string& value)
{
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || IsComment(trimmed) || trimmed.front() == '[') {
        return false;
    }
    const auto equals = trimmed.find('=');
    if (equals == std::string::npos) {
        return false;
    }
    key = Trim(trimmed.substr(0, equals));
    value = Trim(trimmed.substr(equals + 1));
    return true;
}

// Quotes around a whole value are not part of it.
std::string Unquote(const std::string& value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool HasLineBreak(const std::string& text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

CProfile::CProfile(std::string path) : m_path(std::move(path))
{}

std::string CProfile::DefaultPath()
{
    if (const char* explicitPath = std::getenv("VOLTTCP_INI"); explicitPath && *explicitPath) {
        return explicitPath;
    }
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        return std::string(config) + "/" + kFileName;
    }
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/" + kFileName;
}

std::vector<std::string> CProfile::ReadLines() const
{
    std::vector<std::string> lines;
    std::ifstream in(m_path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::string CProfile::GetString(const std::string& section, const std::string& key,
                                const std::string& defaultValue, std::size_t bufferSize) const
{
    std::string result = defaultValue;
    bool inSection = false;
    for (const std::string& line : ReadLines()) {
        std::string name;
        if (ParseSection(line, name)) {
            if (inSection) {
                break;
            }
            inSection = SameName(name, section);
            continue;
        }
        std::string lineKey;
        std::string value;
        if (inSection && ParseKey(line, lineKey, value) && SameName(lineKey, key)) {
            result = Unquote(value);
            break;
        }
    }
    if (bufferSize == 0) {
        return {};
    }
    if (result.size() > bufferSize - 1) {
        result.resize(bufferSize - 1);
    }
    return result;
}

bool CProfile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    // A name or value that would change the file's structure is refused, not written.
    const std::string trimmedSection = Trim(section);
    const std::string trimmedKey = Trim(key);
    if (trimmedSection.empty() || trimmedKey.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        HasLineBreak(value) || section.find(']') != std::string::npos || key.find('=') != std::string::npos ||
        IsComment(trimmedKey) || trimmedKey.front() == '[') {
        return false;
    }

    std::vector<std::string> lines = ReadLines();
    const std::string newLine = trimmedKey + "=" + value;
    bool inSection = false;
    std::size_t insertAt = lines.size();
    bool found = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (ParseSection(lines[i], name)) {
            if (inSection) {
                break;
            }
            if (SameName(name, trimmedSection)) {
                inSection = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        std::string lineKey;
        std::string lineValue;
        if (ParseKey(lines[i], lineKey, lineValue) && SameName(lineKey, trimmedKey)) {
            lines[i] = newLine;
            found = true;
            break;
        }
        if (!Trim(lines[i]).empty()) {
            insertAt = i + 1;
        }
    }
    if (!found) {
        if (inSection) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
        } else {
            lines.push_back("[" + trimmedSection + "]");
            lines.push_back(newLine);
        }
    }
    return WriteLines(lines);
}

bool CProfile::WriteLines(const std::vector<std::string>& lines) const
{
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }

    const std::filesystem::path target(m_path);
    std::error_code ignored;
    if (target.has_parent_path()) {
        std::filesystem::create_directories(target.parent_path(), ignored);
    }

    // Write a sibling and rename it over the old file, so a crash never leaves half a file.
    std::string temp = m_path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    bool ok = fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    std::size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        if (ok) {
            done += static_cast<std::size_t>(n);
        }
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && std::rename(temp.c_str(), m_path.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
    }
    return ok;
}
