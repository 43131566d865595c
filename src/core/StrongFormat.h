#pragma once
// The strong locked file (".TSX"), versions 1 and 2: content kept secret by a key derived from the
// password (Argon2id) and an authenticated stream (XChaCha20-Poly1305 secretstream), both from
// libsodium.
//
//   offset  size  content
//        0     8  "[Strong]"
//        8     1  format version: 2 (1: written without the stamp record)
//        9     1  key derivation: 1 = Argon2id v1.3
//       10     4  opslimit, unsigned, little-endian
//       14     4  memlimit in KiB, unsigned, little-endian
//       18    16  salt
//       34    24  secretstream header
//       58     …  chunks: the name record (1026 bytes, the 58 header bytes as additional data), in
//                 version 2 the stamp record (28 bytes: the file's times and permission bits), then
//                 the content in pieces of 65536 bytes (tag MESSAGE) and a last piece of the length
//                 modulo 65536, possibly empty (tag FINAL). Each chunk is 17 bytes longer on disk.
//
// docs/strong-locked-file.md is the reference and gives the reasons.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace core::strong {

inline constexpr char kMagic[] = "[Strong]";
inline constexpr std::size_t kMagicSize = 8;
// Files with a stamp record are written as version 2; files without one (a caller that has no file
// to take it from, and every file of earlier releases) as version 1. Both are read.
inline constexpr std::uint8_t kVersion = 2;
inline constexpr std::uint8_t kVersionNameOnly = 1;
inline constexpr std::uint8_t kArgon2id13 = 1;
inline constexpr std::size_t kHeaderSize = 58;
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kStreamHeaderSize = 24;
inline constexpr std::size_t kKeySize = 32;
inline constexpr std::size_t kNameRecordSize = 1026;
inline constexpr std::size_t kMaxNameLength = 1024;
inline constexpr std::size_t kStampRecordSize = 28;
inline constexpr std::size_t kChunkSize = 65536;
inline constexpr std::size_t kChunkOverhead = 17;

struct Limits {
    std::uint32_t opslimit = 3;
    std::uint32_t memlimitKiB = 262144;
    bool operator==(const Limits&) const = default;
};
// New locks: libsodium's moderate limits. Readers accept the range between the two bounds.
inline constexpr Limits kDefaultLimits{3, 262144};
inline constexpr Limits kMinimumLimits{1, 8192};
inline constexpr Limits kMaximumLimits{16, 1048576};

using Salt = std::array<unsigned char, kSaltSize>;

// The length on disk of a strong locked file of the version holding n content bytes.
std::uint64_t LockedSize(std::uint64_t contentSize, std::uint8_t version = kVersionNameOnly);

// Why a strong locked file cannot be read. The file is never changed by a refusal.
enum class Refusal {
    NotStrong,     // another magic
    Version,       // a format version other than 1
    KeyDerivation, // a key derivation other than Argon2id v1.3
    Limits,        // opslimit or memlimit outside the allowed range
    NotVerified,   // a chunk that does not verify: a wrong password, or damage
    UnexpectedTag, // a chunk with another tag than its place calls for
    Truncated,     // the stream ends before its FINAL chunk
    TrailingBytes, // bytes after the FINAL chunk
    BadName,       // a name record that holds no valid file name
    BadStamp,      // a stamp record that holds no valid times or permission bits
};

class FormatError final : public std::runtime_error {
public:
    explicit FormatError(Refusal refusal);
    Refusal refusal() const { return m_refusal; }

private:
    Refusal m_refusal;
};

// What the user is told, about the file named `shownName`.
std::string RefusalMessage(Refusal refusal, const std::string& shownName);

// What a version 2 file keeps of the file it was made from, sealed right after its name (the times
// tell when the user worked on the file, so they are never kept in the clear): the access and
// modification times and the permission bits that unlocking gives back. Its record, little-endian:
// modification seconds (int64), nanoseconds (uint32), access seconds (int64), nanoseconds (uint32),
// permission bits (uint32, at most 07777).
struct Stamp {
    std::int64_t modifiedSeconds = 0;
    std::uint32_t modifiedNanoseconds = 0;
    std::int64_t accessedSeconds = 0;
    std::uint32_t accessedNanoseconds = 0;
    std::uint32_t mode = 0;
    bool operator==(const Stamp&) const = default;
};
std::array<unsigned char, kStampRecordSize> EncodeStamp(const Stamp& stamp);
// Throws FormatError(BadStamp) for nanoseconds of a second or more, or bits beyond 07777.
Stamp DecodeStamp(const std::array<unsigned char, kStampRecordSize>& record);

struct Header {
    std::uint8_t version = kVersion;
    std::uint8_t keyDerivation = kArgon2id13;
    Limits limits;
    Salt salt{};
    std::array<unsigned char, kStreamHeaderSize> streamHeader{};
};

// Whether the bytes begin with the magic "[Strong]" (what tells a strong locked file, never its name).
bool HasMagic(const std::string& start);
// The header of the first 58 bytes; checks magic, version, key derivation and limits in that order,
// before anything is derived.
Header ParseHeader(const unsigned char* bytes, std::size_t size);

// A derived key, with what it was derived from; wiped when it goes.
class Key final {
public:
    Key() = default;
    Key(const Key& other);
    Key& operator=(const Key& other);
    ~Key();
    std::array<unsigned char, kKeySize> bytes{};
    Salt salt{};
    Limits limits;
};

// A new random salt.
Salt RandomSalt();
// The name of a new strong locked file: 16 random lower-case letters and digits and ".TSX". It
// tells nothing of the file; the original name is inside.
std::string RandomLockedName();
// crypto_pwhash (Argon2id v1.3) of the password's bytes. Throws std::bad_alloc when the memory
// cannot be had, FormatError(Limits) for limits outside the range.
Key DeriveKey(const std::string& password, const Salt& salt, Limits limits);

// The keys of one unlock run, one per salt and limits: files locked in one run share their salt,
// and are unlocked with a single derivation.
class KeyCache final {
public:
    explicit KeyCache(std::string password) : m_password(std::move(password)) {}
    ~KeyCache();
    KeyCache(const KeyCache&) = delete;
    KeyCache& operator=(const KeyCache&) = delete;
    const Key& keyFor(const Salt& salt, Limits limits);
    std::size_t derivations() const { return m_keys.size(); }
    const std::string& password() const { return m_password; }

private:
    std::string m_password;
    std::vector<Key> m_keys;
};

// Where the bytes go, and where they come from. A source reads up to n bytes and returns how many
// (fewer only at the end of the file).
using Sink = std::function<void(const unsigned char* data, std::size_t n)>;
using Source = std::function<std::size_t(unsigned char* data, std::size_t n)>;

// Whether a file name (its bytes as on disk) can be stored: 1 to 1024 bytes, no "/" nor zero byte,
// not "." or "..".
bool IsStorableName(const std::string& name);

// Writes one strong locked file: the header and the name record (and with a stamp, the stamp
// record: version 2) at once, then the content as it comes, then finish(). A fresh stream header per
// file.
class Writer final {
public:
    Writer(const Key& key, const std::string& name, Sink sink, const std::optional<Stamp>& stamp = std::nullopt);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    void write(const char* data, std::size_t n);
    void finish();

private:
    void push(const unsigned char* data, std::size_t n, unsigned char tag, const unsigned char* ad, std::size_t adlen);
    struct State;
    struct StateDeleter {
        void operator()(State* state) const; // wipes the stream state
    };
    std::unique_ptr<State, StateDeleter> m_state;
    Sink m_sink;
    std::vector<unsigned char> m_pending;
    std::vector<unsigned char> m_out;
    bool m_finished = false;
};

// Reads one strong locked file: the header at construction (refusals before any derivation), the
// name record with the key, then the content piece by piece. Every refusal throws FormatError.
class Reader final {
public:
    explicit Reader(Source source);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    const Header& header() const { return m_header; }
    // Verifies the name record (and in version 2 the stamp record) and returns the stored name.
    std::string open(const Key& key);
    // The stamp a version 2 file holds, once open() has verified it (nothing for version 1).
    const std::optional<Stamp>& stamp() const { return m_stamp; }
    // The next piece of content (up to 65536 bytes; the last, from the FINAL chunk, possibly empty),
    // true with each piece; false on the call after the FINAL chunk was read and found to end the file.
    bool next(std::string& piece);

private:
    std::size_t fill(std::size_t n);
    Stamp readStamp();
    struct State;
    struct StateDeleter {
        void operator()(State* state) const;
    };
    std::unique_ptr<State, StateDeleter> m_state;
    Source m_source;
    Header m_header;
    std::optional<Stamp> m_stamp;
    unsigned char m_headerBytes[kHeaderSize] = {};
    std::vector<unsigned char> m_in;
    bool m_opened = false;
    bool m_done = false;
};

} // namespace core::strong
