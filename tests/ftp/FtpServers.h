#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// The real FTP servers the end-to-end tests talk to, each a private instance on 127.0.0.1
// started by tests/peers/ once per test program and stopped by its pid when it ends.
enum class EFtpServer { kVsftpd, kPyftpdlib };

struct SFtpServer {
    const char* name = "";
    bool running = false;
    std::string whyNot;  // why it could not be started, for the skip message
    uint16_t port = 0;
    std::string user;
    std::string password;
    std::filesystem::path root;  // the directory the login lands in

    std::string Host() const { return "127.0.0.1:" + std::to_string(port); }
    // Writes a file under root that the server's account may also change.
    void Put(const std::string& file, const std::string& bytes) const;
    std::string Get(const std::string& file) const;
};

const SFtpServer& FtpServer(EFtpServer kind);
