#pragma once
// Reading and writing files by Windows-form path, with the safe replacement the program relies on:
// a new file is written under a temporary name in its target's folder, flushed to disk, and only
// then put in place by a rename (which never overwrites another file unless asked), after which the
// folder is synced. Everything throws SysError.

#include <cstdint>
#include <string>

namespace platform {

bool exists(const std::string& windowsPath); // file or folder
bool isFolder(const std::string& windowsPath);
std::uint64_t fileLength(const std::string& windowsPath);
// The whole file as bytes. Reading opens regular files only and never waits: a named pipe, a device
// or a socket is refused with error 75 ("not a regular file") at once.
std::string readAll(const std::string& windowsPath);
void removeFile(const std::string& windowsPath);   // unlink (ignores read-only, as a shell delete does)
void createFolder(const std::string& windowsPath); // one level
void syncFolder(const std::string& windowsFolder); // fsync of the folder itself

class InputFile final {
public:
    explicit InputFile(const std::string& windowsPath);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    std::uint64_t size() const { return m_size; }
    // Reads up to n bytes; returns how many were read (0 at the end).
    std::size_t read(char* buffer, std::size_t n);
    // Reads exactly n bytes or throws SysError 62 ("Input past end of file").
    void readExact(char* buffer, std::size_t n);
    // Reads n bytes, or all that is left when the file ends before.
    std::string readUpTo(std::size_t n);
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::string m_host;
};

// A new file written beside its target and put in place by commit(). Destroying an uncommitted
// writer removes the temporary file.
class AtomicWriter final {
public:
    struct HostPath {};
    explicit AtomicWriter(const std::string& windowsTarget);
    // The same for a host path (the platform's own files, such as ".hidden").
    AtomicWriter(HostPath, const std::string& hostTarget);
    ~AtomicWriter();
    AtomicWriter(const AtomicWriter&) = delete;
    AtomicWriter& operator=(const AtomicWriter&) = delete;

    void write(const char* data, std::size_t n);
    void write(const std::string& data) { write(data.data(), data.size()); }
    // Appends n bytes of `in` from its current position (copy_file_range where the kernel can).
    void copyFrom(InputFile& in, std::uint64_t n);
    // Flushes the temporary file to disk (fsync). commit() does it too.
    void flush();
    // Renames the temporary file onto the target and syncs the folder. Without replaceExisting a
    // target name taken meanwhile makes it throw SysError 58 ("File already exists").
    void commit(bool replaceExisting = false);
    const std::string& temporaryHostPath() const { return m_tempHost; }

private:
    void open(const std::string& hostTarget);

    int m_fd = -1;
    bool m_committed = false;
    std::string m_targetHost;
    std::string m_tempHost;
};

// Replaces (or creates) the file atomically with `data`.
void writeFileAtomic(const std::string& windowsPath, const std::string& data);

// Host-path forms, for the platform's own use.
std::string readAllHost(const std::string& hostPath);
void writeFileAtomicHost(const std::string& hostPath, const std::string& data);

} // namespace platform
