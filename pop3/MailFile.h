#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// One output file of a retrieval, a mail file or an attachment. It is written under a hidden
// temporary name in its directory and gets its own name only when complete, so an interrupted
// retrieval never leaves half a file under a name that looks whole. The name is always one
// component inside the directory, and an existing symbolic link or other non-regular file is
// never written through or replaced. Data is written in whole blocks of kBlock bytes: the page
// cache takes a few large writes on block boundaries far more cheaply than many odd-sized ones.
class CMailFile final {
public:
    static constexpr size_t kBlock = 65536;

    CMailFile() = default;
    ~CMailFile();  // discards a file that was not committed
    CMailFile(const CMailFile&) = delete;
    CMailFile& operator=(const CMailFile&) = delete;

    // dir empty: the working directory. unique: an existing file is never replaced; the name
    // is numbered instead (report.txt, repor1.txt, repor2.txt, ...). False when the file cannot
    // be created; Path() then still tells the name that was meant.
    bool Create(const std::string& dir, const std::string& name, bool unique);
    // False when the file is not open or a write failed; data may wait in the block until the
    // next write or Flush.
    bool Write(const char* data, size_t length);
    // Writes what waits in the block; false when that failed.
    bool Flush();
    // Writes what waits, gives the file its name and closes it; false when that failed (the data
    // is dropped).
    bool Commit();
    // Closes and removes the file without giving it its name.
    void Discard();

    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }
    uint32_t Bytes() const { return m_bytes; }

    // A file name from a message made safe: only its last component ('/' and '\' both
    // separate), at most 254 bytes, a leading dot made '_'; empty, ".", ".." and names with
    // control characters become "attachment.bin".
    static std::string SafeName(std::string_view raw);
    // report.txt with number 1 becomes repor1.txt: the number replaces the last characters
    // before the first dot, so that the name keeps its length.
    static std::string NumberedName(const std::string& name, unsigned number);

private:
    bool Taken(const std::string& name) const;
    bool WriteAll(const char* data, size_t length);
    void SetPath(const std::string& dir, const std::string& name);

    int m_dir = -1;
    int m_fd = -1;
    bool m_unique = false;
    std::string m_dirPath;
    std::string m_wanted;   // the name asked for
    unsigned m_number = 0;  // the number it carries now
    std::string m_name;
    std::string m_temp;
    std::string m_path;
    uint32_t m_bytes = 0;
    std::unique_ptr<char[]> m_block;
    size_t m_blockLength = 0;
};
