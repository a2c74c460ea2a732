#pragma once

#include <string>

// The whole of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Replaces a file's content with the bytes.
void WriteFile(const std::string& path, const std::string& bytes);

// A fresh directory under /tmp, removed with everything in it at the end.
class CTempDir final {
public:
    explicit CTempDir(const std::string& prefix = "volttcp-test");
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    bool IsValid() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};
