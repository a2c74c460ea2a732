#include "pop3/MailFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <random>

namespace {

constexpr unsigned kMaxNumber = 9999;
constexpr size_t kMaxName = 254;
constexpr const char* kGeneratedName = "attachment.bin";

std::string AbsoluteDir(const std::string& dir)
{
    std::string result = dir;
    if (result.empty() || result[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) {
            std::string base = cwd;
            if (result.empty() || result == ".")
                result = base;
            else
                result = base + "/" + result;
        }
    }
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

}  // namespace

CMailFile::~CMailFile()
{
    Discard();
}

std::string CMailFile::SafeName(std::string_view raw)
{
    const size_t slash = raw.find_last_of("/\\");
    if (slash != std::string_view::npos)
        raw.remove_prefix(slash + 1);
    std::string name(raw.substr(0, std::min(raw.size(), kMaxName)));
    // Not in the middle of a UTF-8 sequence.
    if (raw.size() > kMaxName)
        while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80)
            name.pop_back();
    if (raw.size() > kMaxName && !name.empty() && static_cast<unsigned char>(name.back()) >= 0xC0)
        name.pop_back();
    bool control = false;
    for (const char c : name)
        control = control || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    if (name.empty() || name == "." || name == ".." || control)
        return kGeneratedName;
    if (name[0] == '.')
        name[0] = '_';
    return name;
}

std::string CMailFile::NumberedName(const std::string& name, unsigned number)
{
    const size_t dot = name.find('.');
    std::string base = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot, 24);
    const std::string digits = std::to_string(number);
    if (base.size() > digits.size())
        base.replace(base.size() - digits.size(), digits.size(), digits);
    else
        base += digits;
    return base + ext;
}

bool CMailFile::Taken(const std::string& name) const
{
    struct stat info {};
    return fstatat(m_dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

void CMailFile::SetPath(const std::string& dir, const std::string& name)
{
    m_name = name;
    m_path = dir == "/" ? "/" + name : dir + "/" + name;
}

bool CMailFile::Create(const std::string& dir, const std::string& name, bool unique)
{
    Discard();
    m_bytes = 0;
    m_unique = unique;
    m_wanted = name;
    m_number = 0;
    m_dirPath = AbsoluteDir(dir);
    SetPath(m_dirPath, name);
    m_dir = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_dir < 0)
        return false;
    if (unique) {
        while (Taken(m_name)) {
            if (++m_number > kMaxNumber) {
                Discard();
                return false;
            }
            SetPath(m_dirPath, NumberedName(name, m_number));
        }
    } else {
        struct stat info {};
        if (fstatat(m_dir, m_name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode)) {
            Discard();
            return false;
        }
    }
    std::random_device device;
    for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
        char temp[64];
        std::snprintf(temp, sizeof temp, ".volttcp-%08x.part", device());
        m_fd = openat(m_dir, temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            m_temp = temp;
        else if (errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        Discard();
        return false;
    }
    return true;
}

bool CMailFile::WriteAll(const char* data, size_t length)
{
    size_t done = 0;
    while (done < length) {
        const ssize_t n = write(m_fd, data + done, length - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool CMailFile::Write(const char* data, size_t length)
{
    if (m_fd < 0)
        return false;
    const uint64_t total = uint64_t{m_bytes} + length;
    m_bytes = static_cast<uint32_t>(std::min<uint64_t>(total, std::numeric_limits<uint32_t>::max()));
    if (!m_block)
        m_block.reset(new char[kBlock]);
    while (length > 0) {
        if (m_blockLength == 0 && length >= kBlock) {
            // Whole blocks need no copy.
            const size_t whole = length / kBlock * kBlock;
            if (!WriteAll(data, whole))
                return false;
            data += whole;
            length -= whole;
            continue;
        }
        const size_t take = std::min(length, kBlock - m_blockLength);
        std::memcpy(m_block.get() + m_blockLength, data, take);
        m_blockLength += take;
        data += take;
        length -= take;
        if (m_blockLength == kBlock && !Flush())
            return false;
    }
    return true;
}

bool CMailFile::Flush()
{
    if (m_fd < 0)
        return false;
    const size_t length = m_blockLength;
    m_blockLength = 0;
    return WriteAll(m_block.get(), length);
}

bool CMailFile::Commit()
{
    if (m_fd < 0)
        return false;
    bool ok = Flush();
    ok = close(m_fd) == 0 && ok;
    m_fd = -1;
    if (ok && m_unique) {
        // Someone may have taken the name meanwhile: the next free number then.
        ok = false;
        for (;;) {
            if (renameat2(m_dir, m_temp.c_str(), m_dir, m_name.c_str(), RENAME_NOREPLACE) == 0) {
                ok = true;
                break;
            }
            // A file system without the flag: a new link fails on an existing name as well.
            if (errno == EINVAL && linkat(m_dir, m_temp.c_str(), m_dir, m_name.c_str(), 0) == 0) {
                unlinkat(m_dir, m_temp.c_str(), 0);
                m_temp.clear();
                ok = true;
                break;
            }
            if (errno != EEXIST || ++m_number > kMaxNumber)
                break;
            SetPath(m_dirPath, NumberedName(m_wanted, m_number));
        }
    } else if (ok) {
        struct stat info {};
        ok = !(fstatat(m_dir, m_name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode)) &&
             renameat(m_dir, m_temp.c_str(), m_dir, m_name.c_str()) == 0;
    }
    if (ok)
        m_temp.clear();
    Discard();
    return ok;
}

void CMailFile::Discard()
{
    m_blockLength = 0;
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty() && m_dir >= 0)
        unlinkat(m_dir, m_temp.c_str(), 0);
    m_temp.clear();
    if (m_dir >= 0) {
        close(m_dir);
        m_dir = -1;
    }
}
