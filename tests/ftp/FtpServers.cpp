#include "tests/ftp/FtpServers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "tests/support/Files.h"

namespace {

namespace fs = std::filesystem;

struct SScript {
    const char* name;
    const char* script;
};

SScript ScriptOf(EFtpServer kind)
{
    return kind == EFtpServer::kVsftpd ? SScript{"vsftpd", "vsftpd.sh"} : SScript{"pyftpdlib", "pyftpd.sh"};
}

std::string Run(const std::string& command, int& status)
{
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    status = ::pclose(pipe);
    return out;
}

// vsftpd logs in through one system account whose password each start renews: test programs
// of other checkouts on the same machine must wait until this one has stopped its server.
class CAccountLock final {
public:
    bool Acquire(std::chrono::seconds timeout)
    {
        m_fd = ::open("/tmp/volttcp-ftp-account.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0)
            return false;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    ~CAccountLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

private:
    int m_fd = -1;
};

class CServers final {
public:
    ~CServers()
    {
        for (auto& [kind, server] : m_servers) {
            if (!server.running)
                continue;
            int status = 0;
            Run(Script(kind) + " stop " + m_dirs[kind].string() + " 2>&1", status);
            std::error_code ignored;
            fs::remove_all(m_dirs[kind], ignored);
        }
    }

    const SFtpServer& Get(EFtpServer kind)
    {
        auto found = m_servers.find(kind);
        if (found != m_servers.end())
            return found->second;
        SFtpServer& server = m_servers[kind];
        server.name = ScriptOf(kind).name;
        const fs::path dir = fs::temp_directory_path() /
                             ("volttcp-" + std::string(server.name) + "-" + std::to_string(::getpid()));
        m_dirs[kind] = dir;
        if (kind == EFtpServer::kVsftpd && !m_accountLock.Acquire(std::chrono::seconds(100))) {
            server.whyNot = "another test program kept the vsftpd test account for 100 s";
            return server;
        }
        int status = 0;
        const std::string out = Run(Script(kind) + " start " + dir.string() + " 2>&1", status);
        std::istringstream fields(out);
        if (status != 0 || !(fields >> server.port >> server.user >> server.password)) {
            server.whyNot = std::string(server.name) + " could not be started: " + out;
            return server;
        }
        server.running = true;
        server.root = dir / "root";
        return server;
    }

private:
    static std::string Script(EFtpServer kind)
    {
        return std::string(VOLTTCP_SOURCE_DIR) + "/tests/peers/" + ScriptOf(kind).script;
    }

    CAccountLock m_accountLock;  // released after the servers have stopped
    std::map<EFtpServer, SFtpServer> m_servers;
    std::map<EFtpServer, fs::path> m_dirs;
};

CServers& Servers()
{
    static CServers servers;
    return servers;
}

}  // namespace

void SFtpServer::Put(const std::string& file, const std::string& bytes) const
{
    const fs::path path = root / file;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    // Owned like the root, so that the server's account may change, rename or delete them.
    struct stat owner {};
    if (::stat(root.c_str(), &owner) != 0)
        return;
    for (fs::path p = path; p != root && p.has_relative_path(); p = p.parent_path()) {
        if (::chown(p.c_str(), owner.st_uid, owner.st_gid) != 0)
            std::perror(p.c_str());
    }
}

std::string SFtpServer::Get(const std::string& file) const
{
    return ReadFile(root / file);
}

const SFtpServer& FtpServer(EFtpServer kind)
{
    return Servers().Get(kind);
}
