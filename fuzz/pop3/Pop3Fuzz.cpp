// Feeds arbitrary retrieval data (status line, header, body, end mark) to the POP3 engine and
// its MIME walker, whole and in pieces, and checks that the pieces change nothing and that no
// file is ever created outside the attachment directory, nor through the symbolic link that
// waits in it, nor left half-written under a hidden name.
//
// Input: one byte of options (bit 0 unique names, bit 1 a mail file, bits 2-7 the piece
// size), then the bytes the server sends after "RETR 1".

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "pop3/Pop3.h"
#include "pop3/VoltPop3.h"

namespace {

class CQuietEngine final : public CPop3 {
public:
    using CPop3::CPop3;
    bool Send(const char*, uint32_t, bool, uint32_t) override { return true; }

protected:
    bool ConnectSession(uint8_t, const char*, uint16_t, const char*, uint16_t) override { return true; }
    bool CloseSession(bool) override { return true; }
};

class CCollector final : public CVoltPop3 {
public:
    CCollector() : CVoltPop3([](CVoltPop3& owner) { return std::make_unique<CQuietEngine>(owner); }) {}
    CPop3& Wire() { return Engine(); }

    std::string transcript;

    void OnPop3Event(uint8_t status, uint8_t, const char* data, uint32_t length, const char* path, char,
                     uint16_t percent) override
    {
        if (percent > 100 || (data == nullptr && length != 0))
            std::abort();
        if (status == Pop3File && !path)
            std::abort();
        if (status == Pop3_Mail || status == Pop3File) {
            if (m_last != status)
                transcript += status == Pop3File ? "\n[file]" : "\n[text]";
            m_last = status;
            if (data)
                transcript.append(data, length);
            return;
        }
        m_last = 0xFF;
        transcript += "\n[" + std::to_string(status) + "]";
        if (data)
            transcript.append(data, length);
    }
    void OnFileClosed(const char* path, char letter, uint32_t bytes) override
    {
        m_last = 0xFF;
        const std::string p = path;
        transcript +=
            "\n[closed " + p.substr(p.rfind('/') + 1) + " " + letter + " " + std::to_string(bytes) + "]";
    }
    void OnException(uint8_t code, const char* text) override
    {
        m_last = 0xFF;
        transcript += "\n[exception " + std::to_string(code) + " " + text + "]";
    }
    void OnHeader(uint8_t, const char* a, const char* b, const char* c, const char* d, const char* e,
                  const char* f, const char* g, const char* h) override
    {
        m_last = 0xFF;
        transcript += std::string("\n[fields]") + a + b + c + d + e + f + g + h;
    }

private:
    uint8_t m_last = 0xFF;
};

struct SPlace {
    std::string root, attach, outside;
    SPlace()
    {
        char pattern[] = "/tmp/volttcp-fuzz-pop3-XXXXXX";
        if (!mkdtemp(pattern))
            std::abort();
        root = pattern;
        attach = root + "/attach";
        outside = root + "/outside";
        if (mkdir(attach.c_str(), 0700) != 0)
            std::abort();
    }
};

const SPlace& Place()
{
    static const SPlace place;
    return place;
}

std::map<std::string, std::string> Listing(const std::string& dir)
{
    std::map<std::string, std::string> entries;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            struct stat info {};
            if (lstat((dir + "/" + name).c_str(), &info) != 0)
                std::abort();
            std::string content = S_ISLNK(info.st_mode) ? "link" : S_ISREG(info.st_mode) ? "" : "other";
            if (S_ISREG(info.st_mode)) {
                if (FILE* f = std::fopen((dir + "/" + name).c_str(), "rb")) {
                    char buffer[4096];
                    size_t n;
                    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
                        content.append(buffer, n);
                    std::fclose(f);
                }
            }
            entries[name] = content;
        }
        closedir(d);
    }
    return entries;
}

// Empties the attachment directory but for the link that points outside.
void Reset()
{
    const SPlace& p = Place();
    for (const auto& [name, content] : Listing(p.attach))
        unlink((p.attach + "/" + name).c_str());
    if (symlink(p.outside.c_str(), (p.attach + "/evil.txt").c_str()) != 0)
        std::abort();
}

void CheckPlace()
{
    const SPlace& p = Place();
    const auto root = Listing(p.root);
    if (root.size() != 1 || root.count("attach") != 1)
        std::abort();  // something was created outside the attachment directory
    for (const auto& [name, content] : Listing(p.attach)) {
        if (name == "evil.txt" ? content != "link" : content == "link" || content == "other")
            std::abort();
        if (name.compare(0, 9, ".volttcp-") == 0)
            std::abort();  // a half-written file left behind
        if (name.find('/') != std::string::npos || name == "." || name == "..")
            std::abort();
    }
}

std::pair<std::string, std::map<std::string, std::string>> Walk(const uint8_t* data, size_t size,
                                                                uint8_t options, size_t piece)
{
    Reset();
    const SPlace& p = Place();
    std::string transcript;
    {
        CCollector collector;
        collector.Connect((options & 1) ? UniqueNames : 0, "127.0.0.1", 110, nullptr, 0, "u", "p");
        const std::string mail = p.attach + "/Message.1";
        collector.Retrieve(1, (options & 2) ? mail.c_str() : nullptr, p.attach.c_str());
        for (size_t at = 0; at < size; at += piece) {
            const size_t n = std::min(piece, size - at);
            std::unique_ptr<char[]> exact(new char[n]);
            std::copy(data + at, data + at + n, exact.get());
            collector.Wire().OnReceive(exact.get(), static_cast<uint32_t>(n));
        }
        transcript = collector.transcript;
    }
    CheckPlace();
    return {transcript, Listing(p.attach)};
}

bool HasLongLine(const uint8_t* data, size_t size)
{
    size_t run = 0;
    for (size_t i = 0; i < size; ++i) {
        run = data[i] == '\n' ? 0 : run + 1;
        if (run > 4000)
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t options = data[0];
    const size_t piece = 1 + (options >> 2);
    ++data;
    --size;
    const auto whole = Walk(data, size, options, size == 0 ? 1 : size);
    const auto pieces = Walk(data, size, options, piece);
    // Lines too long to hold are cut where a chunk ends; only then may the results differ.
    if (!HasLongLine(data, size) && (whole.first != pieces.first || whole.second != pieces.second))
        std::abort();
    return 0;
}
