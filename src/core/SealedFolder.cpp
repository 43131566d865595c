// The sealed folder: sealing a tree into one file, listing it, opening it, taking one file out, and
// the recovery of interrupted runs. The layout is described in docs/sealed-folder.md.
#include "core/SealedFolder.h"

#include "platform/ProtectedPaths.h"
#include "platform/UniqueFd.h"

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace core::sealed {

namespace {

using platform::UniqueFd;

// The extended attributes that tell the program's own unfinished folders and files: the name of the
// sealed file they belong to.
constexpr const char* kOpeningAttr = "user.tessaly.opening";   // a tree being written by an open
constexpr const char* kSheddingAttr = "user.tessaly.shedding"; // sources of a completed seal being removed
constexpr const char* kSealingAttr = "user.tessaly.sealing";   // a sealed file being written (named form)
constexpr const char* kOpeningSuffix = ".tessaly-opening";
constexpr const char* kSheddingSuffix = ".tessaly-shedding";
constexpr const char* kSealingSuffix = ".tessaly-sealing";

constexpr std::uint8_t kArgon2id13 = strong::kArgon2id13;

[[noreturn]] void failSys(const std::string& what, int err = errno) {
    throw SealedError(what + ": " + std::strerror(err));
}

void put64(unsigned char* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint64_t get64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}
std::uint32_t get32(const unsigned char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

void append64(std::string& out, std::uint64_t v) {
    unsigned char b[8];
    put64(b, v);
    out.append(reinterpret_cast<const char*>(b), 8);
}
void append32(std::string& out, std::uint32_t v) {
    unsigned char b[4];
    put32(b, v);
    out.append(reinterpret_cast<const char*>(b), 4);
}

std::string randomHex(std::size_t bytes) {
    std::string raw(bytes, '\0');
    randombytes_buf(raw.data(), raw.size());
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : raw) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

void initSodium() {
    if (sodium_init() < 0)
        throw SealedError("the cryptography library could not start");
}

std::string parentOf(const std::string& host) {
    const auto slash = host.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : host.substr(0, slash);
}
std::string baseOf(const std::string& host) {
    const auto slash = host.find_last_of('/');
    return slash == std::string::npos ? host : host.substr(slash + 1);
}
std::string trimmed(std::string host) {
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    return host;
}

UniqueFd openFolder(const std::string& host) {
    UniqueFd fd(::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        failSys("'" + host + "' cannot be opened");
    return fd;
}

void writeAll(int fd, const unsigned char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            failSys("the sealed file cannot be written");
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
}

void readAt(int fd, unsigned char* p, std::size_t n, std::uint64_t at) {
    while (n > 0) {
        const ssize_t r = ::pread(fd, p, n, static_cast<off_t>(at));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            failSys("the sealed file cannot be read");
        }
        if (r == 0)
            throw FormatError(Refusal::Damaged);
        p += r;
        at += static_cast<std::uint64_t>(r);
        n -= static_cast<std::size_t>(r);
    }
}

bool validName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxNameLength && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// The header's bytes and the key, shared by the writer and the reader.
struct SealState {
    unsigned char header[kHeaderSize] = {};
    strong::Key key;

    const unsigned char* prefix() const { return header + 34; }
    void nonce(unsigned char* out, std::uint64_t counter, bool last) const {
        std::memcpy(out, prefix(), kNoncePrefixSize);
        put64(out + kNoncePrefixSize, counter);
        out[23] = last ? 1 : 0;
    }
    void seal(unsigned char* out, const unsigned char* in, std::size_t n, std::uint64_t counter, bool last) const {
        unsigned char npub[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES];
        nonce(npub, counter, last);
        unsigned long long outLen = 0;
        crypto_aead_xchacha20poly1305_ietf_encrypt(out, &outLen, in, n, header, kHeaderSize, nullptr, npub,
                                                   key.bytes.data());
    }
    // Opens `n` sealed bytes (tag included) into `out`; false when they do not verify.
    bool open(unsigned char* out, const unsigned char* in, std::size_t n, std::uint64_t counter, bool last) const {
        unsigned char npub[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES];
        nonce(npub, counter, last);
        unsigned long long outLen = 0;
        return n >= kTagSize && crypto_aead_xchacha20poly1305_ietf_decrypt(out, &outLen, nullptr, in, n, header,
                                                                           kHeaderSize, npub, key.bytes.data()) == 0;
    }
};

void checkpoint(const Options& options, const char* step) {
    if (options.checkpoint)
        options.checkpoint(step);
}

// ---- Sealing ---------------------------------------------------------------------------------

// The chunks of the sealed file as they are made, written through a buffer.
class ChunkWriter final {
public:
    ChunkWriter(int fd, const SealState& seal) : m_fd(fd), m_seal(seal) { m_buffer.reserve(kBufferSize + kChunkSize); }
    void raw(const unsigned char* p, std::size_t n) {
        m_buffer.insert(m_buffer.end(), p, p + n);
        m_offset += n;
        if (m_buffer.size() >= kBufferSize)
            flush();
    }
    // One chunk of up to 64 KiB of plaintext; returns its number.
    std::uint64_t chunk(const unsigned char* p, std::size_t n) {
        const std::size_t at = m_buffer.size();
        m_buffer.resize(at + n + kTagSize);
        m_seal.seal(m_buffer.data() + at, p, n, m_counter, false);
        m_offset += n + kTagSize;
        if (m_buffer.size() >= kBufferSize)
            flush();
        return m_counter++;
    }
    void flush() {
        writeAll(m_fd, m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }
    std::uint64_t offset() const { return m_offset; }
    std::uint64_t counter() const { return m_counter; }

private:
    static constexpr std::size_t kBufferSize = 1 << 20;
    int m_fd;
    const SealState& m_seal;
    std::vector<unsigned char> m_buffer;
    std::uint64_t m_offset = 0;
    std::uint64_t m_counter = 0;
};

// What was sealed of an entry, beside the index: how to find it again to remove it.
struct Seen {
    std::uint64_t dev = 0, ino = 0;
};

class TreeSealer final {
public:
    TreeSealer(ChunkWriter& out, dev_t dev) : m_out(out), m_dev(dev) { m_plain.resize(kChunkSize); }

    void folder(int fd, std::uint32_t index) {
        DIR* dir = ::fdopendir(::dup(fd));
        if (!dir)
            failSys("a folder of the tree cannot be listed");
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* d = ::readdir(dir)) {
            const std::string name = d->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        const int err = errno;
        ::closedir(dir);
        if (err != 0)
            failSys("a folder of the tree cannot be listed", err);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names)
            member(fd, index, name);
    }

    void member(int parentFd, std::uint32_t parent, const std::string& name) {
        struct stat st {};
        if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            failSys("'" + pathOf(parent, name) + "' cannot be read");
        checkOwned(st, parent, name);
        Entry e;
        e.parent = parent;
        e.name = name;
        e.mode = st.st_mode & 07777;
        e.mtimeSec = st.st_mtim.tv_sec;
        e.mtimeNsec = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
        if (name.size() > kMaxNameLength)
            throw SealedError("'" + pathOf(parent, name) + "' has a name too long to seal.");
        if (S_ISLNK(st.st_mode)) {
            e.kind = Kind::Link;
            std::string target(kMaxLinkLength + 1, '\0');
            const ssize_t n = ::readlinkat(parentFd, name.c_str(), target.data(), target.size());
            if (n < 0)
                failSys("the link '" + pathOf(parent, name) + "' cannot be read");
            if (n == 0 || static_cast<std::size_t>(n) > kMaxLinkLength)
                throw SealedError("the link '" + pathOf(parent, name) + "' has a target too long to seal.");
            target.resize(static_cast<std::size_t>(n));
            e.target = target;
            add(std::move(e), st);
        } else if (S_ISDIR(st.st_mode)) {
            e.kind = Kind::Folder;
            UniqueFd fd(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!fd.valid())
                failSys("'" + pathOf(parent, name) + "' cannot be opened");
            struct stat opened {};
            if (::fstat(fd.get(), &opened) != 0 || opened.st_ino != st.st_ino || opened.st_dev != st.st_dev)
                throw SealedError("'" + pathOf(parent, name) + "' changed while it was sealed.");
            const std::uint32_t index = add(std::move(e), st);
            folder(fd.get(), index);
        } else if (S_ISREG(st.st_mode)) {
            e.kind = Kind::File;
            if (st.st_nlink > 1)
                throw SealedError("'" + pathOf(parent, name) +
                                  "' has other names (hard links): sealing would leave its content readable there.");
            UniqueFd fd(::openat(parentFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
            if (!fd.valid())
                failSys("'" + pathOf(parent, name) + "' cannot be opened");
            struct stat opened {};
            if (::fstat(fd.get(), &opened) != 0 || opened.st_ino != st.st_ino || opened.st_dev != st.st_dev)
                throw SealedError("'" + pathOf(parent, name) + "' changed while it was sealed.");
            e.firstChunk = m_out.counter();
            e.offset = m_out.offset();
            std::uint64_t total = 0;
            for (;;) {
                std::size_t got = 0;
                while (got < kChunkSize) {
                    const ssize_t r = ::read(fd.get(), m_plain.data() + got, kChunkSize - got);
                    if (r < 0 && errno == EINTR)
                        continue;
                    if (r < 0)
                        failSys("'" + pathOf(parent, name) + "' cannot be read");
                    if (r == 0)
                        break;
                    got += static_cast<std::size_t>(r);
                }
                if (got > 0)
                    m_out.chunk(m_plain.data(), got);
                total += got;
                if (got < kChunkSize)
                    break;
            }
            if (total != static_cast<std::uint64_t>(opened.st_size))
                throw SealedError("'" + pathOf(parent, name) + "' changed while it was sealed.");
            e.size = total;
            add(std::move(e), opened);
        } else {
            throw SealedError("'" + pathOf(parent, name) +
                              "' is neither a file, a folder nor a link (a device, a pipe or a socket).");
        }
    }

    std::uint32_t add(Entry e, const struct stat& st) {
        m_entries.push_back(std::move(e));
        m_seen.push_back({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
        return static_cast<std::uint32_t>(m_entries.size() - 1);
    }

    void checkOwned(const struct stat& st, std::uint32_t parent, const std::string& name) const {
        if (st.st_dev != m_dev)
            throw SealedError("'" + pathOf(parent, name) + "' is another volume mounted inside the folder.");
        if (st.st_uid != ::geteuid())
            throw SealedError("'" + pathOf(parent, name) + "' belongs to another user.");
    }

    std::string pathOf(std::uint32_t parent, const std::string& name) const {
        std::string path = name;
        for (std::uint32_t p = parent; p != kNoParent; p = m_entries[p].parent)
            path = m_entries[p].name + "/" + path;
        return path;
    }

    std::vector<Entry> m_entries;
    std::vector<Seen> m_seen;

private:
    ChunkWriter& m_out;
    dev_t m_dev;
    std::vector<unsigned char> m_plain;
};

std::string serializeIndex(const std::vector<Entry>& entries) {
    std::string out;
    for (const Entry& e : entries) {
        out += static_cast<char>(e.kind);
        append32(out, e.parent);
        append32(out, static_cast<std::uint32_t>(e.name.size()));
        out += e.name;
        append32(out, e.mode);
        append64(out, static_cast<std::uint64_t>(e.mtimeSec));
        append32(out, e.mtimeNsec);
        if (e.kind == Kind::File) {
            append64(out, e.size);
            append64(out, e.firstChunk);
            append64(out, e.offset);
        } else if (e.kind == Kind::Link) {
            append32(out, static_cast<std::uint32_t>(e.target.size()));
            out += e.target;
        }
    }
    return out;
}

void fsyncOrFail(int fd, const char* what) {
    if (::fsync(fd) != 0)
        failSys(what);
}

// Overwrites a file's content once through its descriptor (the plaintext does not stay in the
// freed blocks of a filesystem that writes in place).
void overwrite(int fd, std::uint64_t size) {
    static const std::vector<unsigned char> zeros(1 << 20, 0);
    std::uint64_t at = 0;
    while (at < size) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), size - at));
        const ssize_t w = ::pwrite(fd, zeros.data(), n, static_cast<off_t>(at));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            failSys("a source could not be overwritten");
        at += static_cast<std::uint64_t>(w);
    }
}

// Removes what the seal took, deepest first: each file overwritten (one sync for all), then the
// entries unlinked. An entry that is not the one sealed any more is left, and named.
void removeSources(int rootFd, const TreeSealer& tree, const Options& options, std::vector<std::string>& notRemoved) {
    const std::vector<Entry>& entries = tree.m_entries;
    // Pass 1: overwrite the files, each through a descriptor opened below the pinned folders.
    std::vector<int> dirFds(entries.size(), -1);
    dirFds[0] = rootFd;
    std::vector<UniqueFd> owned;
    std::vector<bool> keep(entries.size(), false);
    auto pathOf = [&](std::uint32_t i) { return tree.pathOf(entries[i].parent, entries[i].name); };
    for (std::uint32_t i = 1; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const int parentFd = dirFds[e.parent];
        if (parentFd < 0) {
            keep[i] = true;
            continue;
        }
        struct stat st {};
        if (::fstatat(parentFd, e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            static_cast<std::uint64_t>(st.st_ino) != tree.m_seen[i].ino ||
            static_cast<std::uint64_t>(st.st_dev) != tree.m_seen[i].dev) {
            keep[i] = true;
            notRemoved.push_back(pathOf(i) + ": it was replaced after it was sealed");
            continue;
        }
        if (e.kind == Kind::Folder) {
            UniqueFd fd(::openat(parentFd, e.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (fd.valid()) {
                dirFds[i] = fd.get();
                owned.push_back(std::move(fd));
            } else {
                keep[i] = true;
            }
        } else if (e.kind == Kind::File) {
            const bool changed = static_cast<std::uint64_t>(st.st_size) != e.size || st.st_mtim.tv_sec != e.mtimeSec ||
                                 static_cast<std::uint32_t>(st.st_mtim.tv_nsec) != e.mtimeNsec || st.st_nlink != 1;
            if (changed) {
                keep[i] = true;
                notRemoved.push_back(pathOf(i) + ": it changed after it was sealed");
                continue;
            }
            UniqueFd fd(::openat(parentFd, e.name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
            if (!fd.valid()) {
                // A read-only source: make it writable for the overwrite (it goes anyway).
                if (::fchmodat(parentFd, e.name.c_str(), 0600, 0) == 0)
                    fd.reset(::openat(parentFd, e.name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
            }
            try {
                if (!fd.valid())
                    failSys("it could not be opened for overwriting");
                overwrite(fd.get(), e.size);
            } catch (const SealedError& err) {
                keep[i] = true;
                notRemoved.push_back(pathOf(i) + ": " + err.what());
            }
        }
    }
    checkpoint(options, "overwritten");
    if (::syncfs(rootFd) != 0)
        failSys("the overwritten sources could not be synced");
    // Pass 2: unlink, deepest first, folders after their content.
    for (std::size_t k = entries.size(); k-- > 1;) {
        const Entry& e = entries[k];
        if (keep[k] || dirFds[e.parent] < 0)
            continue;
        const int flags = e.kind == Kind::Folder ? AT_REMOVEDIR : 0;
        if (::unlinkat(dirFds[e.parent], e.name.c_str(), flags) != 0) {
            keep[e.parent] = true;
            if (e.kind != Kind::Folder || errno != ENOTEMPTY)
                notRemoved.push_back(pathOf(static_cast<std::uint32_t>(k)) + ": " + std::strerror(errno));
        }
        if (keep[k])
            keep[e.parent] = true;
        if (k == entries.size() / 2)
            checkpoint(options, "removing");
    }
    for (std::size_t k = 1; k < entries.size(); ++k)
        if (keep[k] && entries[k].parent != kNoParent)
            keep[entries[k].parent] = true;
    if (keep[0])
        notRemoved.push_back("(the folder itself): it still holds what could not be removed");
}

bool setAttr(int fd, const char* attr, const std::string& value) {
    return ::fsetxattr(fd, attr, value.data(), value.size(), 0) == 0;
}
std::string getAttr(int dirFd, const std::string& name, const char* attr) {
    UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return {};
    char buf[512];
    const ssize_t n = ::fgetxattr(fd.get(), attr, buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// Removes a tree below dirFd/name without following links (the program's own unfinished folders).
void removeTree(int dirFd, const std::string& name, bool overwriteFiles) {
    UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.valid()) {
        struct stat top {};
        ::fstat(fd.get(), &top);
        ::fchmod(fd.get(), 0700);
        DIR* dir = ::fdopendir(::dup(fd.get()));
        std::vector<std::string> names;
        if (dir) {
            while (const dirent* d = ::readdir(dir)) {
                const std::string n = d->d_name;
                if (n != "." && n != "..")
                    names.push_back(n);
            }
            ::closedir(dir);
        }
        for (const std::string& n : names) {
            struct stat st {};
            if (::fstatat(fd.get(), n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(st.st_mode) && st.st_dev == top.st_dev) {
                removeTree(fd.get(), n, overwriteFiles);
                continue;
            }
            if (overwriteFiles && S_ISREG(st.st_mode) && st.st_nlink == 1) {
                ::fchmodat(fd.get(), n.c_str(), 0600, 0);
                UniqueFd f(::openat(fd.get(), n.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
                if (f.valid()) {
                    try {
                        overwrite(f.get(), static_cast<std::uint64_t>(st.st_size));
                        ::fsync(f.get());
                    } catch (const SealedError&) {
                    }
                }
            }
            ::unlinkat(fd.get(), n.c_str(), 0);
        }
    }
    if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
        failSys("'" + name + "' could not be removed");
}

// ---- Reading ---------------------------------------------------------------------------------

// A sealed file opened for reading: its header checked, its key derived, its trailer and index
// verified. Nothing is written.
// Opens a file for reading without touching its access time where the system allows it (the
// file's owner): looking at a locked file is not using it.
int openSparingAccessTime(const std::string& host) {
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;
    const int fd = ::open(host.c_str(), kFlags | O_NOATIME);
    return fd >= 0 || errno != EPERM ? fd : ::open(host.c_str(), kFlags);
}

class Archive final {
public:
    Archive(const std::string& host, const std::string& password, const Options& options) {
        initSodium();
        m_fd.reset(openSparingAccessTime(host));
        if (!m_fd.valid())
            failSys("'" + host + "' cannot be opened");
        struct stat st {};
        if (::fstat(m_fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            throw FormatError(Refusal::NotSealed);
        m_length = static_cast<std::uint64_t>(st.st_size);
        if (m_length < kHeaderSize + kTrailerSize)
            throw FormatError(m_length >= kMagicSize ? Refusal::Damaged : Refusal::NotSealed);
        readAt(m_fd.get(), m_seal.header, kHeaderSize, 0);
        const unsigned char* h = m_seal.header;
        if (std::memcmp(h, kMagic, kMagicSize) != 0)
            throw FormatError(Refusal::NotSealed);
        if (h[8] != kVersion)
            throw FormatError(Refusal::Version);
        if (h[9] != kArgon2id13)
            throw FormatError(Refusal::KeyDerivation);
        const strong::Limits limits{get32(h + 10), get32(h + 14)};
        if (limits.opslimit < strong::kMinimumLimits.opslimit || limits.opslimit > strong::kMaximumLimits.opslimit ||
            limits.memlimitKiB < strong::kMinimumLimits.memlimitKiB ||
            limits.memlimitKiB > strong::kMaximumLimits.memlimitKiB)
            throw FormatError(Refusal::Limits);
        for (std::size_t i = 34 + kNoncePrefixSize; i < kHeaderSize; ++i)
            if (h[i] != 0)
                throw FormatError(Refusal::Damaged);
        strong::Salt salt{};
        std::memcpy(salt.data(), h + 18, salt.size());
        m_seal.key = options.keys ? options.keys->keyFor(salt, limits) : strong::DeriveKey(password, salt, limits);
        checkpoint(options, "derived");
        readTrailer();
        readIndex();
    }

    const std::vector<Entry>& entries() const { return m_entries; }
    std::uint64_t paddingStart() const { return m_paddingStart; }
    int fd() const { return m_fd.get(); }
    std::uint64_t length() const { return m_length; }

    // The padding between the index and the trailer holds only zeros.
    void checkPadding() const {
        std::vector<unsigned char> buf(1 << 20);
        for (std::uint64_t at = m_paddingStart; at < m_length - kTrailerSize;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), m_length - kTrailerSize - at));
            readAt(m_fd.get(), buf.data(), n, at);
            if (std::any_of(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n), [](unsigned char c) { return c != 0; }))
                throw FormatError(Refusal::Damaged);
            at += n;
        }
    }

    // A file's content, chunk by chunk, verified, handed to `sink`.
    template <class Sink> void readFile(const Entry& e, std::vector<unsigned char>& in, std::vector<unsigned char>& out,
                                        Sink&& sink) const {
        std::uint64_t left = e.size, at = e.offset, counter = e.firstChunk;
        in.resize(kChunkSize + kTagSize);
        out.resize(kChunkSize);
        while (left > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, left));
            readAt(m_fd.get(), in.data(), n + kTagSize, at);
            if (!m_seal.open(out.data(), in.data(), n + kTagSize, counter, false))
                throw FormatError(Refusal::NotVerified);
            sink(out.data(), n);
            left -= n;
            at += n + kTagSize;
            ++counter;
        }
    }

    std::vector<std::string> paths() const {
        std::vector<std::string> out(m_entries.size());
        for (std::size_t i = 1; i < m_entries.size(); ++i) {
            const Entry& e = m_entries[i];
            out[i] = e.parent == 0 ? e.name : out[e.parent] + "/" + e.name;
        }
        return out;
    }

private:
    void readTrailer() {
        unsigned char in[kTrailerSize];
        unsigned char t[kTrailerPlainSize];
        readAt(m_fd.get(), in, kTrailerSize, m_length - kTrailerSize);
        if (!m_seal.open(t, in, kTrailerSize, 0, true))
            throw FormatError(Refusal::NotVerified);
        m_indexOffset = get64(t);
        m_indexFirstChunk = get64(t + 8);
        m_indexLength = get64(t + 16);
        const std::uint64_t total = get64(t + 24);
        m_count = get64(t + 32);
        if (total != m_length || get64(t + 40) != 0 || m_count == 0 || m_indexLength == 0 ||
            m_indexOffset < kHeaderSize || m_indexOffset > m_length)
            throw FormatError(Refusal::Damaged);
        const std::uint64_t chunks = (m_indexLength + kChunkSize - 1) / kChunkSize;
        if (m_indexLength > m_length || chunks * kTagSize + m_indexLength > m_length - kTrailerSize - m_indexOffset)
            throw FormatError(Refusal::Damaged);
        m_paddingStart = m_indexOffset + m_indexLength + chunks * kTagSize;
        // Each entry takes at least 25 bytes of the index.
        if (m_count > m_indexLength / 25)
            throw FormatError(Refusal::Damaged);
    }

    void readIndex() {
        std::string plain;
        plain.reserve(static_cast<std::size_t>(m_indexLength));
        std::vector<unsigned char> in(kChunkSize + kTagSize), out(kChunkSize);
        std::uint64_t left = m_indexLength, at = m_indexOffset, counter = m_indexFirstChunk;
        while (left > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, left));
            readAt(m_fd.get(), in.data(), n + kTagSize, at);
            if (!m_seal.open(out.data(), in.data(), n + kTagSize, counter, false))
                throw FormatError(Refusal::NotVerified);
            plain.append(reinterpret_cast<const char*>(out.data()), n);
            left -= n;
            at += n + kTagSize;
            ++counter;
        }
        m_entries = ParseIndex(plain, m_count, m_indexOffset, m_indexFirstChunk);
    }

    UniqueFd m_fd;
    SealState m_seal;
    std::uint64_t m_length = 0;
    std::uint64_t m_indexOffset = 0, m_indexFirstChunk = 0, m_indexLength = 0, m_count = 0, m_paddingStart = 0;
    std::vector<Entry> m_entries;
};

// Restores a file's or folder's mode and time through its descriptor.
void restoreMeta(int fd, const Entry& e) {
    const struct timespec times[2] = {{e.mtimeSec, static_cast<long>(e.mtimeNsec)},
                                      {e.mtimeSec, static_cast<long>(e.mtimeNsec)}};
    if (::fchmod(fd, e.mode) != 0 || ::futimens(fd, times) != 0)
        failSys("'" + e.name + "' could not get its mode and time back");
}

void writeFileContent(const Archive& archive, const Entry& e, int fd, std::vector<unsigned char>& in,
                      std::vector<unsigned char>& out) {
    archive.readFile(e, in, out, [fd](const unsigned char* p, std::size_t n) { writeAll(fd, p, n); });
}

} // namespace

FormatError::FormatError(Refusal refusal)
    : SealedError([refusal] {
          switch (refusal) {
          case Refusal::NotSealed:
              return "it is not a sealed folder";
          case Refusal::Version:
              return "it is a sealed folder of a format version this program does not know";
          case Refusal::KeyDerivation:
              return "it is a sealed folder with a key derivation this program does not know";
          case Refusal::Limits:
              return "its key-derivation limits are outside the allowed range";
          case Refusal::NotVerified:
              return "Sorry, this is not the correct password, or the file is damaged.";
          case Refusal::Damaged:
              break;
          }
          return "the sealed folder is damaged";
      }()),
      m_refusal(refusal) {}

std::uint64_t PaddedLength(std::uint64_t length) {
    constexpr std::uint64_t kBlock = 65536;
    std::uint64_t step = kBlock;
    if (length > (1u << 20))
        while (step * 2 <= length / 16)
            step *= 2;
    return (length + step - 1) / step * step;
}

bool HasMagic(const std::string& start) {
    return start.size() >= kMagicSize && std::memcmp(start.data(), kMagic, kMagicSize) == 0;
}

bool IsSealedFile(const std::string& hostPath) {
    UniqueFd fd(openSparingAccessTime(hostPath));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    char start[kMagicSize];
    return ::pread(fd.get(), start, kMagicSize, 0) == static_cast<ssize_t>(kMagicSize) &&
           std::memcmp(start, kMagic, kMagicSize) == 0;
}

std::vector<Entry> ParseIndex(const std::string& plain, std::uint64_t count, std::uint64_t indexOffset,
                              std::uint64_t indexFirstChunk) {
    std::vector<Entry> entries;
    // Each entry takes at least 25 bytes of the index.
    if (count == 0 || count > plain.size() / 25 || indexOffset < kHeaderSize)
        throw FormatError(Refusal::Damaged);
    const auto* p = reinterpret_cast<const unsigned char*>(plain.data());
    std::size_t pos = 0;
    auto need = [&](std::size_t n) {
        if (plain.size() - pos < n)
            throw FormatError(Refusal::Damaged);
    };
    auto take32 = [&] {
        need(4);
        pos += 4;
        return get32(p + pos - 4);
    };
    auto take64 = [&] {
        need(8);
        pos += 8;
        return get64(p + pos - 8);
    };
    std::set<std::pair<std::uint32_t, std::string>> names;
    std::uint64_t counter = 0, offset = kHeaderSize;
    entries.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        Entry e;
        need(1);
        const std::uint8_t kind = p[pos++];
        if (kind < 1 || kind > 3)
            throw FormatError(Refusal::Damaged);
        e.kind = static_cast<Kind>(kind);
        e.parent = take32();
        const std::uint32_t nameLength = take32();
        need(nameLength);
        e.name.assign(plain, pos, nameLength);
        pos += nameLength;
        e.mode = take32();
        e.mtimeSec = static_cast<std::int64_t>(take64());
        e.mtimeNsec = take32();
        if (!validName(e.name) || e.mode > 07777 || e.mtimeNsec >= 1000000000u)
            throw FormatError(Refusal::Damaged);
        if (i == 0 ? (e.parent != kNoParent || e.kind != Kind::Folder)
                   : (e.parent >= i || entries[e.parent].kind != Kind::Folder ||
                      !names.insert({e.parent, e.name}).second))
            throw FormatError(Refusal::Damaged);
        if (e.kind == Kind::File) {
            e.size = take64();
            e.firstChunk = take64();
            e.offset = take64();
            // The files' chunks follow each other from the header on, in the index's order.
            if (e.firstChunk != counter || e.offset != offset)
                throw FormatError(Refusal::Damaged);
            const std::uint64_t chunks = (e.size + kChunkSize - 1) / kChunkSize;
            if (e.size > indexOffset - offset || chunks * kTagSize > indexOffset - offset - e.size)
                throw FormatError(Refusal::Damaged);
            counter += chunks;
            offset += e.size + chunks * kTagSize;
        } else if (e.kind == Kind::Link) {
            const std::uint32_t n = take32();
            need(n);
            e.target.assign(plain, pos, n);
            pos += n;
            if (n == 0 || n > kMaxLinkLength || e.target.find('\0') != std::string::npos)
                throw FormatError(Refusal::Damaged);
        }
        entries.push_back(std::move(e));
    }
    if (pos != plain.size() || counter != indexFirstChunk || offset != indexOffset)
        throw FormatError(Refusal::Damaged);
    return entries;
}

SealResult Seal(const std::string& hostFolderGiven, const std::string& password, const Options& options) {
    initSodium();
    const std::string hostFolder = trimmed(platform::pointedEntryHost(hostFolderGiven));
    const std::string name = baseOf(hostFolder);
    if (platform::lockProtection(hostFolder) != platform::Protection::None)
        throw SealedError("'" + hostFolderGiven + "' can't be sealed: it holds your system or Tessaly's own files.");
    const UniqueFd parentFd = openFolder(parentOf(hostFolder));
    UniqueFd rootFd(::openat(parentFd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!rootFd.valid())
        failSys("'" + hostFolderGiven + "' is not a folder that can be sealed");
    struct stat rootSt {}, parentSt {};
    ::fstat(rootFd.get(), &rootSt);
    ::fstat(parentFd.get(), &parentSt);
    if (rootSt.st_dev != parentSt.st_dev)
        throw SealedError("'" + hostFolderGiven + "' can't be sealed: it is a volume's root.");
    if (rootSt.st_uid != ::geteuid())
        throw SealedError("'" + hostFolderGiven + "' can't be sealed: it belongs to another user.");
    if (!validName(name))
        throw SealedError("'" + hostFolderGiven + "' has a name too long to seal.");

    // The sealed file: an unnamed file in the parent, given its name only once it is whole and synced,
    // so that a kill before leaves nothing. Where the filesystem has no unnamed files, a temporary
    // name that recovery knows by its attribute.
    std::string sealedName;
    std::string temporaryName;
    UniqueFd out(::openat(parentFd.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (!out.valid()) {
        temporaryName = "." + randomHex(8) + kSealingSuffix;
        out.reset(::openat(parentFd.get(), temporaryName.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
        if (!out.valid())
            failSys("the sealed file cannot be created beside '" + hostFolderGiven + "'");
        setAttr(out.get(), kSealingAttr, name);
    }
    auto dropTemporary = [&] {
        if (!temporaryName.empty())
            ::unlinkat(parentFd.get(), temporaryName.c_str(), 0);
    };

    SealState seal;
    unsigned char* h = seal.header;
    std::memcpy(h, kMagic, kMagicSize);
    h[8] = kVersion;
    h[9] = kArgon2id13;
    put32(h + 10, options.limits.opslimit);
    put32(h + 14, options.limits.memlimitKiB);
    const strong::Salt salt = strong::RandomSalt();
    std::memcpy(h + 18, salt.data(), salt.size());
    randombytes_buf(h + 34, kNoncePrefixSize);
    ChunkWriter writer(out.get(), seal);
    TreeSealer tree(writer, rootSt.st_dev);
    try {
        seal.key = strong::DeriveKey(password, salt, options.limits);
        writer.raw(seal.header, kHeaderSize);
        Entry root;
        root.kind = Kind::Folder;
        root.name = name;
        root.mode = rootSt.st_mode & 07777;
        root.mtimeSec = rootSt.st_mtim.tv_sec;
        root.mtimeNsec = static_cast<std::uint32_t>(rootSt.st_mtim.tv_nsec);
        tree.add(std::move(root), rootSt);
        tree.folder(rootFd.get(), 0);
        checkpoint(options, "content");
        // The index, continuing the chunk numbers, then the padding and the trailer.
        const std::string index = serializeIndex(tree.m_entries);
        const std::uint64_t indexOffset = writer.offset();
        const std::uint64_t indexFirstChunk = writer.counter();
        for (std::size_t at = 0; at < index.size(); at += kChunkSize)
            writer.chunk(reinterpret_cast<const unsigned char*>(index.data()) + at,
                         std::min(kChunkSize, index.size() - at));
        const std::uint64_t unpadded = writer.offset() + kTrailerSize;
        const std::uint64_t total = PaddedLength(unpadded);
        const std::vector<unsigned char> zeros(65536, 0);
        for (std::uint64_t left = total - unpadded; left > 0;) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), left));
            writer.raw(zeros.data(), n);
            left -= n;
        }
        unsigned char t[kTrailerPlainSize] = {};
        put64(t, indexOffset);
        put64(t + 8, indexFirstChunk);
        put64(t + 16, index.size());
        put64(t + 24, total);
        put64(t + 32, tree.m_entries.size());
        unsigned char sealedTrailer[kTrailerSize];
        seal.seal(sealedTrailer, t, kTrailerPlainSize, 0, true);
        writer.raw(sealedTrailer, kTrailerSize);
        writer.flush();
        fsyncOrFail(out.get(), "the sealed file could not be synced");
        checkpoint(options, "synced");
        // Its name: random, and never one that is taken.
        for (int attempt = 0;; ++attempt) {
            sealedName = strong::RandomLockedName();
            int rc = 0;
            if (temporaryName.empty()) {
                const std::string proc = "/proc/self/fd/" + std::to_string(out.get());
                rc = ::linkat(AT_FDCWD, proc.c_str(), parentFd.get(), sealedName.c_str(), AT_SYMLINK_FOLLOW);
            } else {
                rc = ::renameat2(parentFd.get(), temporaryName.c_str(), parentFd.get(), sealedName.c_str(),
                                 RENAME_NOREPLACE);
            }
            if (rc == 0)
                break;
            if (errno != EEXIST || attempt > 8)
                failSys("the sealed file could not be put in place");
        }
        temporaryName.clear();
        fsyncOrFail(parentFd.get(), "the folder of the sealed file could not be synced");
    } catch (...) {
        dropTemporary();
        throw;
    }
    checkpoint(options, "placed");

    // The sources go only now. The folder is first renamed to a marked name, so that recovery finishes
    // the removal after a kill (where the filesystem keeps no attributes, it is removed where it is).
    SealResult result;
    result.sealedPath = parentOf(hostFolder) == "/" ? "/" + sealedName : parentOf(hostFolder) + "/" + sealedName;
    if (setAttr(rootFd.get(), kSheddingAttr, sealedName)) {
        const std::string shedding = "." + randomHex(8) + kSheddingSuffix;
        if (::renameat2(parentFd.get(), name.c_str(), parentFd.get(), shedding.c_str(), RENAME_NOREPLACE) == 0) {
            ::fsync(parentFd.get());
            checkpoint(options, "shedding");
            tree.m_entries[0].name = shedding;
        }
    }
    removeSources(rootFd.get(), tree, options, result.notRemoved);
    if (result.notRemoved.empty()) {
        ::fremovexattr(rootFd.get(), kSheddingAttr);
        if (::unlinkat(parentFd.get(), tree.m_entries[0].name.c_str(), AT_REMOVEDIR) != 0)
            result.notRemoved.push_back("(the folder itself): " + std::string(std::strerror(errno)));
    } else if (tree.m_entries[0].name != name) {
        // What is left keeps its name, visible.
        ::fremovexattr(rootFd.get(), kSheddingAttr);
        ::renameat2(parentFd.get(), tree.m_entries[0].name.c_str(), parentFd.get(), name.c_str(), RENAME_NOREPLACE);
    }
    ::fsync(parentFd.get());
    return result;
}

Listing List(const std::string& sealedFile, const std::string& password, const Options& options) {
    const Archive archive(sealedFile, password, options);
    return {archive.entries(), archive.paths()};
}

std::string Open(const std::string& sealedFile, const std::string& password, const Options& options) {
    const std::string host = trimmed(sealedFile);
    const Archive archive(host, password, options);
    archive.checkPadding();
    const std::vector<Entry>& entries = archive.entries();
    const UniqueFd parentFd = openFolder(parentOf(host));
    const std::string sealedName = baseOf(host);
    struct stat taken {};
    if (::fstatat(parentFd.get(), entries[0].name.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
        throw SealedError("'" + entries[0].name + "' exists already beside the sealed folder: nothing was opened.");

    // The tree is written into a marked temporary folder and put in place by one rename.
    const std::string temporary = "." + randomHex(8) + kOpeningSuffix;
    if (::mkdirat(parentFd.get(), temporary.c_str(), 0700) != 0)
        failSys("the folder cannot be written beside the sealed file");
    try {
        std::vector<std::pair<std::uint32_t, UniqueFd>> stack;
        stack.emplace_back(0, UniqueFd(::openat(parentFd.get(), temporary.c_str(),
                                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)));
        if (!stack.back().second.valid())
            failSys("the folder cannot be written beside the sealed file");
        setAttr(stack.back().second.get(), kOpeningAttr, sealedName);
        std::vector<unsigned char> in, out;
        auto closeFolder = [&] {
            // A folder's mode and time go back once its content is written.
            restoreMeta(stack.back().second.get(), entries[stack.back().first]);
            stack.pop_back();
        };
        for (std::uint32_t i = 1; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            while (stack.back().first != e.parent)
                closeFolder();
            const int dirFd = stack.back().second.get();
            if (e.kind == Kind::Folder) {
                if (::mkdirat(dirFd, e.name.c_str(), 0700) != 0)
                    failSys("a folder of the tree cannot be written");
                UniqueFd fd(::openat(dirFd, e.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (!fd.valid())
                    failSys("a folder of the tree cannot be written");
                stack.emplace_back(i, std::move(fd));
            } else if (e.kind == Kind::Link) {
                if (::symlinkat(e.target.c_str(), dirFd, e.name.c_str()) != 0)
                    failSys("a link of the tree cannot be written");
                const struct timespec times[2] = {{e.mtimeSec, static_cast<long>(e.mtimeNsec)},
                                                  {e.mtimeSec, static_cast<long>(e.mtimeNsec)}};
                ::utimensat(dirFd, e.name.c_str(), times, AT_SYMLINK_NOFOLLOW);
            } else {
                UniqueFd fd(::openat(dirFd, e.name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600));
                if (!fd.valid())
                    failSys("a file of the tree cannot be written");
                writeFileContent(archive, e, fd.get(), in, out);
                restoreMeta(fd.get(), e);
            }
            if (i == entries.size() / 2)
                checkpoint(options, "writing");
        }
        while (stack.size() > 1)
            closeFolder();
        const int rootFd = stack.back().second.get();
        if (::syncfs(rootFd) != 0)
            failSys("the folder could not be synced");
        restoreMeta(rootFd, entries[0]);
        fsyncOrFail(rootFd, "the folder could not be synced");
        checkpoint(options, "written");
        if (::renameat2(parentFd.get(), temporary.c_str(), parentFd.get(), entries[0].name.c_str(),
                        RENAME_NOREPLACE) != 0)
            failSys("the folder could not be put in place");
        // In place, the mark has no more use (it changes no time the tree shows).
        ::fremovexattr(rootFd, kOpeningAttr);
    } catch (...) {
        try {
            removeTree(parentFd.get(), temporary, false);
        } catch (const SealedError&) {
        }
        throw;
    }
    fsyncOrFail(parentFd.get(), "the folder could not be synced");
    checkpoint(options, "placed");
    if (::unlinkat(parentFd.get(), sealedName.c_str(), 0) != 0)
        failSys("the folder was opened, but the sealed file could not be removed");
    ::fsync(parentFd.get());
    return parentOf(host) == "/" ? "/" + entries[0].name : parentOf(host) + "/" + entries[0].name;
}

std::string TakeOne(const std::string& sealedFile, const std::string& password, const std::string& path,
                    const Options& options) {
    const std::string host = trimmed(sealedFile);
    const Archive archive(host, password, options);
    const std::vector<std::string> paths = archive.paths();
    std::string wanted = path;
    while (!wanted.empty() && wanted.back() == '/')
        wanted.pop_back();
    while (!wanted.empty() && wanted.front() == '/')
        wanted.erase(0, 1);
    const auto found = std::find(paths.begin() + 1, paths.end(), wanted);
    if (wanted.empty() || found == paths.end())
        throw SealedError("'" + path + "' is not in the sealed folder.");
    const Entry& e = archive.entries()[static_cast<std::size_t>(found - paths.begin())];
    if (e.kind != Kind::File)
        throw SealedError("'" + path + "' is not a file: only files can be taken out one by one.");
    const UniqueFd parentFd = openFolder(parentOf(host));
    // Written as an unnamed file, named only once whole and synced, never over a taken name.
    UniqueFd fd(::openat(parentFd.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (!fd.valid())
        failSys("the file cannot be written beside the sealed file");
    std::vector<unsigned char> in, out;
    writeFileContent(archive, e, fd.get(), in, out);
    restoreMeta(fd.get(), e);
    fsyncOrFail(fd.get(), "the file could not be synced");
    const std::string proc = "/proc/self/fd/" + std::to_string(fd.get());
    if (::linkat(AT_FDCWD, proc.c_str(), parentFd.get(), e.name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        if (errno == EEXIST)
            throw SealedError("'" + e.name + "' exists already beside the sealed folder: nothing was taken out.");
        failSys("the file could not be put in place");
    }
    fsyncOrFail(parentFd.get(), "the folder could not be synced");
    return parentOf(host) == "/" ? "/" + e.name : parentOf(host) + "/" + e.name;
}

SealedRecovery RecoverSealed(const std::string& hostFolder) {
    SealedRecovery report;
    UniqueFd dirFd;
    try {
        dirFd = openFolder(hostFolder);
    } catch (const SealedError&) {
        return report;
    }
    std::vector<std::string> names;
    if (DIR* dir = ::fdopendir(::dup(dirFd.get()))) {
        while (const dirent* d = ::readdir(dir))
            names.emplace_back(d->d_name);
        ::closedir(dir);
    }
    auto endsWith = [](const std::string& s, const char* suffix) {
        const std::size_t n = std::strlen(suffix);
        return s.size() > n + 1 && s.front() == '.' && s.compare(s.size() - n, n, suffix) == 0;
    };
    auto sealedWhole = [&](const std::string& sealedName) {
        return !sealedName.empty() && IsSealedFile(hostFolder + "/" + sealedName);
    };
    for (const std::string& name : names) {
        try {
            if (endsWith(name, kOpeningSuffix)) {
                // An open that did not finish: the sealed file is still whole, the tree goes.
                const std::string sealedName = getAttr(dirFd.get(), name, kOpeningAttr);
                if (sealedName.empty())
                    continue;
                if (!sealedWhole(sealedName)) {
                    report.failures.push_back("'" + hostFolder + "/" + name +
                                              "' is an unfinished opened folder whose sealed file is gone: kept.");
                    continue;
                }
                removeTree(dirFd.get(), name, true);
                report.done.push_back("An unfinished opening of '" + hostFolder + "/" + sealedName +
                                      "' was removed; the sealed folder is whole.");
            } else if (endsWith(name, kSheddingSuffix)) {
                // A seal that was complete when its sources began to go: they go.
                const std::string sealedName = getAttr(dirFd.get(), name, kSheddingAttr);
                if (sealedName.empty())
                    continue;
                if (!sealedWhole(sealedName)) {
                    report.failures.push_back("'" + hostFolder + "/" + name +
                                              "' is a sealed folder's source whose sealed file is gone: kept.");
                    continue;
                }
                removeTree(dirFd.get(), name, true);
                report.done.push_back("The sources of '" + hostFolder + "/" + sealedName +
                                      "' were removed; the sealed folder is whole.");
            } else if (endsWith(name, kSealingSuffix)) {
                // A sealed file that was never put in place: its sources were not touched.
                const std::string folderName = getAttr(dirFd.get(), name, kSealingAttr);
                if (folderName.empty())
                    continue;
                if (::unlinkat(dirFd.get(), name.c_str(), 0) == 0)
                    report.done.push_back("An unfinished sealed file of '" + hostFolder + "/" + folderName +
                                          "' was removed; the folder is whole.");
            }
        } catch (const SealedError& e) {
            report.failures.push_back(e.what());
        }
    }
    ::fsync(dirFd.get());
    return report;
}

} // namespace core::sealed
