#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Files.h"

// Builders for message text and a scratch directory for the files a retrieval writes.
namespace mailtext {

inline std::string Base64(const std::string& data, size_t lineLength = 76)
{
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out, line;
    for (size_t i = 0; i < data.size(); i += 3) {
        const uint32_t a = static_cast<unsigned char>(data[i]);
        const uint32_t b = i + 1 < data.size() ? static_cast<unsigned char>(data[i + 1]) : 0;
        const uint32_t c = i + 2 < data.size() ? static_cast<unsigned char>(data[i + 2]) : 0;
        const uint32_t group = a << 16 | b << 8 | c;
        line += digits[group >> 18 & 63];
        line += digits[group >> 12 & 63];
        line += i + 1 < data.size() ? digits[group >> 6 & 63] : '=';
        line += i + 2 < data.size() ? digits[group & 63] : '=';
        if (line.size() >= lineLength) {
            out += line + "\r\n";
            line.clear();
        }
    }
    if (!line.empty())
        out += line + "\r\n";
    return out;
}

inline std::string Uuencode(const std::string& data)
{
    auto c = [](uint32_t v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
    std::string out;
    for (size_t i = 0; i < data.size(); i += 45) {
        const size_t n = std::min<size_t>(45, data.size() - i);
        out += c(static_cast<uint32_t>(n));
        for (size_t j = 0; j < n; j += 3) {
            uint32_t g = 0;
            for (size_t k = 0; k < 3; ++k)
                g = g << 8 | (j + k < n ? static_cast<unsigned char>(data[i + j + k]) : 0u);
            out += c(g >> 18 & 63);
            out += c(g >> 12 & 63);
            out += c(g >> 6 & 63);
            out += c(g & 63);
        }
        out += "\r\n";
    }
    return out + "`\r\nend\r\n";
}

// Every byte value, several times: what a binary attachment looks like.
inline std::string Binary(size_t size)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return data;
}

// The message as a server sends it after "+OK": dot-stuffed, with the end mark.
inline std::string Wire(const std::string& message)
{
    std::string out;
    bool lineStart = true;
    for (const char c : message) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    if (!out.empty() && out.back() != '\n')
        out += "\r\n";
    return out + ".\r\n";
}

// A directory of its own for one test, removed with everything in it.
class CScratchDir final {
public:
    CScratchDir()
    {
        char pattern[] = "/tmp/volttcp-pop3-XXXXXX";
        m_path = mkdtemp(pattern) ? pattern : "";
    }
    ~CScratchDir() { Remove(m_path); }
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    // Name and content of every entry, hidden ones included.
    std::map<std::string, std::string> Files() const
    {
        std::map<std::string, std::string> files;
        if (DIR* dir = opendir(m_path.c_str())) {
            while (dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    files[name] = ReadFile(File(name));
            }
            closedir(dir);
        }
        return files;
    }
    void Clear() const
    {
        for (const auto& [name, data] : Files())
            Remove(File(name));
    }

private:
    static void Remove(const std::string& path)
    {
        struct stat info {};
        if (path.empty() || lstat(path.c_str(), &info) != 0)
            return;
        if (S_ISDIR(info.st_mode)) {
            if (DIR* dir = opendir(path.c_str())) {
                while (dirent* entry = readdir(dir)) {
                    const std::string name = entry->d_name;
                    if (name != "." && name != "..")
                        Remove(path + "/" + name);
                }
                closedir(dir);
            }
            rmdir(path.c_str());
        } else {
            unlink(path.c_str());
        }
    }
    std::string m_path;
};

}  // namespace mailtext
