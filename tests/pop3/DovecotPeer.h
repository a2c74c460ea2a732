#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/pop3/MailText.h"

// The private dovecot of tests/peers/dovecot.sh for one test program, and the manifest of the
// mailbox that tests/peers/make_mailbox.py writes.
namespace dovecot {

inline std::string Shell(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        if (pclose(pipe) != 0)
            out = "failed: " + out;
    }
    return out;
}

inline std::string Sha256(const std::string& path)
{
    const std::string out = Shell("sha256sum '" + path + "'");
    return out.substr(0, out.find(' '));
}

struct SManifest {
    struct SMessage {
        std::string subject, from, sha256;
        std::map<std::string, std::string> files;  // name -> sha256
        std::vector<std::string> texts;
    };
    std::map<int, SMessage> messages;

    static SManifest Read(const std::string& path)
    {
        SManifest m;
        std::istringstream lines(ReadFile(path));
        std::string line;
        while (std::getline(lines, line)) {
            std::vector<std::string> f;
            std::istringstream fields(line);
            std::string field;
            while (std::getline(fields, field, '\t'))
                f.push_back(field);
            if (f.size() < 3)
                continue;
            SMessage& message = m.messages[std::stoi(f[1])];
            if (f[0] == "message" && f.size() >= 5) {
                message.subject = f[2];
                message.from = f[3];
                message.sha256 = f[4];
            } else if (f[0] == "file" && f.size() >= 4) {
                message.files[f[2]] = f[3];
            } else if (f[0] == "text") {
                message.texts.push_back(f[2]);
            }
        }
        return m;
    }
};

class CDovecotPeer final {
public:
    static constexpr const char* kScript = VOLTTCP_SOURCE_DIR "/tests/peers/dovecot.sh";

    ~CDovecotPeer() { Stop(); }

    // Empty when the server runs, else why not.
    std::string Start()
    {
        if (access("/usr/sbin/dovecot", X_OK) != 0)
            return "dovecot is not installed (Debian package dovecot-pop3d)";
        char pattern[] = "/tmp/volttcp-dovecot-XXXXXX";
        if (!mkdtemp(pattern))
            return "no temporary directory";
        m_dir = pattern;
        const std::string reply = Shell(std::string(kScript) + " start " + m_dir);
        std::istringstream fields(reply);
        fields >> m_port >> m_password;
        return m_port == 0 ? "the private dovecot did not start: " + reply : std::string();
    }
    void Stop()
    {
        if (m_dir.empty())
            return;
        Shell(std::string(kScript) + " stop " + m_dir);
        Shell("rm -rf '" + m_dir + "'");
        m_dir.clear();
        m_port = 0;
    }
    // A new mailbox for "tester" (options go to make_mailbox.py); false when that failed.
    bool ResetMailbox(const std::string& options = "")
    {
        return Shell(std::string(kScript) + " mailbox " + m_dir + " tester " + options).empty();
    }
    SManifest Manifest() const { return SManifest::Read(m_dir + "/tester.manifest"); }

    unsigned short Port() const { return m_port; }
    const std::string& Password() const { return m_password; }

private:
    std::string m_dir;
    std::string m_password;
    unsigned short m_port = 0;
};

}  // namespace dovecot
