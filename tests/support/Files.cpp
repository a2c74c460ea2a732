#include "tests/support/Files.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

CTempDir::CTempDir(const std::string& prefix)
{
    std::string pattern = "/tmp/" + prefix + ".XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr)
        m_path = pattern;
}

CTempDir::~CTempDir()
{
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}
