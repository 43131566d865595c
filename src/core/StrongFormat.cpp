#include "core/StrongFormat.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace core::strong {

namespace {

constexpr std::size_t kSealedChunk = kChunkSize + kChunkOverhead;
constexpr unsigned char kTagMessage = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
constexpr unsigned char kTagFinal = crypto_secretstream_xchacha20poly1305_TAG_FINAL;

static_assert(kSaltSize == crypto_pwhash_SALTBYTES);
static_assert(kStreamHeaderSize == crypto_secretstream_xchacha20poly1305_HEADERBYTES);
static_assert(kKeySize == crypto_secretstream_xchacha20poly1305_KEYBYTES);
static_assert(kChunkOverhead == crypto_secretstream_xchacha20poly1305_ABYTES);

void initSodium() {
    if (sodium_init() < 0)
        throw std::runtime_error("the cryptography library could not start");
}

void putU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t getU32(const unsigned char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

void putI64(unsigned char* p, std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(u >> (8 * i));
}

std::int64_t getI64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return static_cast<std::int64_t>(v);
}

bool withinLimits(Limits l) {
    return l.opslimit >= kMinimumLimits.opslimit && l.opslimit <= kMaximumLimits.opslimit &&
           l.memlimitKiB >= kMinimumLimits.memlimitKiB && l.memlimitKiB <= kMaximumLimits.memlimitKiB;
}

} // namespace

struct Writer::State {
    crypto_secretstream_xchacha20poly1305_state s;
};

struct Reader::State {
    crypto_secretstream_xchacha20poly1305_state s;
};

void Writer::StateDeleter::operator()(State* state) const {
    sodium_memzero(state, sizeof *state);
    delete state;
}

void Reader::StateDeleter::operator()(State* state) const {
    sodium_memzero(state, sizeof *state);
    delete state;
}

std::uint64_t LockedSize(std::uint64_t n, std::uint8_t version) {
    const std::uint64_t stamp = version >= 2 ? kStampRecordSize + kChunkOverhead : 0;
    return kHeaderSize + kNameRecordSize + kChunkOverhead + stamp + (n / kChunkSize) * kSealedChunk + n % kChunkSize +
           kChunkOverhead;
}

std::array<unsigned char, kStampRecordSize> EncodeStamp(const Stamp& stamp) {
    std::array<unsigned char, kStampRecordSize> r{};
    putI64(r.data(), stamp.modifiedSeconds);
    putU32(r.data() + 8, stamp.modifiedNanoseconds);
    putI64(r.data() + 12, stamp.accessedSeconds);
    putU32(r.data() + 20, stamp.accessedNanoseconds);
    putU32(r.data() + 24, stamp.mode);
    return r;
}

Stamp DecodeStamp(const std::array<unsigned char, kStampRecordSize>& r) {
    Stamp stamp{getI64(r.data()), getU32(r.data() + 8), getI64(r.data() + 12), getU32(r.data() + 20),
                getU32(r.data() + 24)};
    if (stamp.modifiedNanoseconds >= 1000000000u || stamp.accessedNanoseconds >= 1000000000u ||
        (stamp.mode & ~07777u) != 0)
        throw FormatError(Refusal::BadStamp);
    return stamp;
}

FormatError::FormatError(Refusal refusal) : std::runtime_error("strong locked file refused"), m_refusal(refusal) {}

std::string RefusalMessage(Refusal refusal, const std::string& shownName) {
    const std::string name = "'" + shownName + "'";
    switch (refusal) {
    case Refusal::NotStrong:
        return name + " is not a strong locked file.";
    case Refusal::Version:
        return name + " is a strong locked file of a format version this program does not know.";
    case Refusal::KeyDerivation:
        return name + " is a strong locked file whose key derivation this program does not know.";
    case Refusal::Limits:
        return name + " asks for key derivation limits outside the allowed range (opslimit 1 to 16, memory 8192 to "
                      "1048576 KiB); it was not read.";
    case Refusal::NotVerified:
        return "Sorry, this is not the correct password, or the file is damaged.";
    case Refusal::UnexpectedTag:
        return name + " is damaged: its pieces are not in their order.";
    case Refusal::Truncated:
        return name + " is damaged: it ends before its last piece (it was cut short).";
    case Refusal::TrailingBytes:
        return name + " is damaged: bytes follow its last piece.";
    case Refusal::BadName:
        return name + " is damaged: the file name it holds is not valid.";
    case Refusal::BadStamp:
        return name + " is damaged: the dates and permissions it holds are not valid.";
    }
    return name + " cannot be read.";
}

bool HasMagic(const std::string& start) {
    return start.size() >= kMagicSize && start.compare(0, kMagicSize, kMagic) == 0;
}

Header ParseHeader(const unsigned char* bytes, std::size_t size) {
    if (size < kMagicSize || std::memcmp(bytes, kMagic, kMagicSize) != 0)
        throw FormatError(Refusal::NotStrong);
    if (size < kHeaderSize)
        throw FormatError(Refusal::Truncated);
    Header h;
    h.version = bytes[8];
    if (h.version != kVersion && h.version != kVersionNameOnly)
        throw FormatError(Refusal::Version);
    h.keyDerivation = bytes[9];
    if (h.keyDerivation != kArgon2id13)
        throw FormatError(Refusal::KeyDerivation);
    h.limits = Limits{getU32(bytes + 10), getU32(bytes + 14)};
    if (!withinLimits(h.limits))
        throw FormatError(Refusal::Limits);
    std::memcpy(h.salt.data(), bytes + 18, kSaltSize);
    std::memcpy(h.streamHeader.data(), bytes + 34, kStreamHeaderSize);
    return h;
}

Key::Key(const Key& other) : bytes(other.bytes), salt(other.salt), limits(other.limits) {}

Key& Key::operator=(const Key& other) {
    bytes = other.bytes;
    salt = other.salt;
    limits = other.limits;
    return *this;
}

Key::~Key() {
    sodium_memzero(bytes.data(), bytes.size());
}

Salt RandomSalt() {
    initSodium();
    Salt salt{};
    randombytes_buf(salt.data(), salt.size());
    return salt;
}

std::string RandomLockedName() {
    initSodium();
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name(16, 'a');
    for (char& c : name)
        c = kAlphabet[randombytes_uniform(36)];
    return name + ".TSX";
}

Key DeriveKey(const std::string& password, const Salt& salt, Limits limits) {
    if (!withinLimits(limits))
        throw FormatError(Refusal::Limits);
    initSodium();
    Key key;
    key.salt = salt;
    key.limits = limits;
    if (crypto_pwhash(key.bytes.data(), key.bytes.size(), password.data(), password.size(), salt.data(),
                      limits.opslimit, static_cast<std::size_t>(limits.memlimitKiB) * 1024u,
                      crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc(); // the only failure within the limits: the memory could not be had
    return key;
}

KeyCache::~KeyCache() {
    if (!m_password.empty())
        sodium_memzero(m_password.data(), m_password.size());
}

const Key& KeyCache::keyFor(const Salt& salt, Limits limits) {
    for (const Key& k : m_keys)
        if (k.salt == salt && k.limits == limits)
            return k;
    m_keys.push_back(DeriveKey(m_password, salt, limits));
    return m_keys.back();
}

bool IsStorableName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxNameLength && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

Writer::Writer(const Key& key, const std::string& name, Sink sink, const std::optional<Stamp>& stamp)
    : m_state(new State), m_sink(std::move(sink)) {
    if (!IsStorableName(name))
        throw FormatError(Refusal::BadName);
    initSodium();
    unsigned char header[kHeaderSize] = {};
    std::memcpy(header, kMagic, kMagicSize);
    header[8] = stamp ? kVersion : kVersionNameOnly;
    header[9] = kArgon2id13;
    putU32(header + 10, key.limits.opslimit);
    putU32(header + 14, key.limits.memlimitKiB);
    std::memcpy(header + 18, key.salt.data(), kSaltSize);
    crypto_secretstream_xchacha20poly1305_init_push(&m_state->s, header + 34, key.bytes.data());
    m_sink(header, kHeaderSize);

    std::array<unsigned char, kNameRecordSize> record{};
    record[0] = static_cast<unsigned char>(name.size() & 0xFF);
    record[1] = static_cast<unsigned char>(name.size() >> 8);
    std::memcpy(record.data() + 2, name.data(), name.size());
    m_out.resize(kSealedChunk);
    push(record.data(), record.size(), kTagMessage, header, kHeaderSize);
    sodium_memzero(record.data(), record.size());
    if (stamp) {
        std::array<unsigned char, kStampRecordSize> stampRecord = EncodeStamp(*stamp);
        push(stampRecord.data(), stampRecord.size(), kTagMessage, nullptr, 0);
        sodium_memzero(stampRecord.data(), stampRecord.size());
    }
    m_pending.reserve(kChunkSize);
}

Writer::~Writer() {
    if (!m_pending.empty())
        sodium_memzero(m_pending.data(), m_pending.size());
}

void Writer::push(const unsigned char* data, std::size_t n, unsigned char tag, const unsigned char* ad,
                  std::size_t adlen) {
    unsigned long long length = 0;
    crypto_secretstream_xchacha20poly1305_push(&m_state->s, m_out.data(), &length, data, n, ad, adlen, tag);
    m_sink(m_out.data(), static_cast<std::size_t>(length));
}

void Writer::write(const char* data, std::size_t n) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    while (n > 0) {
        if (m_pending.empty() && n >= kChunkSize) {
            // Whole pieces straight from the caller's buffer.
            push(p, kChunkSize, kTagMessage, nullptr, 0);
            p += kChunkSize;
            n -= kChunkSize;
            continue;
        }
        const std::size_t take = std::min(n, kChunkSize - m_pending.size());
        m_pending.insert(m_pending.end(), p, p + take);
        p += take;
        n -= take;
        if (m_pending.size() == kChunkSize) {
            push(m_pending.data(), kChunkSize, kTagMessage, nullptr, 0);
            m_pending.clear();
        }
    }
}

void Writer::finish() {
    if (m_finished)
        return;
    push(m_pending.data(), m_pending.size(), kTagFinal, nullptr, 0);
    sodium_memzero(m_pending.data(), m_pending.size());
    m_pending.clear();
    m_finished = true;
}

Reader::Reader(Source source) : m_state(new State), m_source(std::move(source)) {
    const std::size_t got = fill(kHeaderSize);
    std::memcpy(m_headerBytes, m_in.data(), got);
    m_header = ParseHeader(m_headerBytes, got);
    m_in.reserve(kSealedChunk);
}

Reader::~Reader() = default;

// Reads up to n bytes into m_in (replacing what it held); fewer only at the end of the source.
std::size_t Reader::fill(std::size_t n) {
    m_in.resize(n);
    std::size_t got = 0;
    while (got < n) {
        const std::size_t r = m_source(m_in.data() + got, n - got);
        if (r == 0)
            break;
        got += r;
    }
    m_in.resize(got);
    return got;
}

std::string Reader::open(const Key& key) {
    initSodium();
    if (crypto_secretstream_xchacha20poly1305_init_pull(&m_state->s, m_header.streamHeader.data(), key.bytes.data()) !=
        0)
        throw FormatError(Refusal::NotVerified);
    const std::size_t got = fill(kNameRecordSize + kChunkOverhead);
    if (got < kNameRecordSize + kChunkOverhead)
        throw FormatError(got == 0 ? Refusal::Truncated : Refusal::NotVerified);
    std::array<unsigned char, kNameRecordSize> record{};
    unsigned long long length = 0;
    unsigned char tag = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(&m_state->s, record.data(), &length, &tag, m_in.data(), got,
                                                   m_headerBytes, kHeaderSize) != 0)
        throw FormatError(Refusal::NotVerified);
    if (tag != kTagMessage)
        throw FormatError(Refusal::UnexpectedTag);
    const std::size_t nameLength = record[0] | (std::size_t{record[1]} << 8);
    if (nameLength < 1 || nameLength > kMaxNameLength ||
        std::any_of(record.begin() + 2 + static_cast<std::ptrdiff_t>(nameLength), record.end(),
                    [](unsigned char c) { return c != 0; }))
        throw FormatError(Refusal::BadName);
    std::string name(reinterpret_cast<const char*>(record.data() + 2), nameLength);
    sodium_memzero(record.data(), record.size());
    if (!IsStorableName(name))
        throw FormatError(Refusal::BadName);
    if (m_header.version >= 2)
        m_stamp = readStamp();
    m_opened = true;
    return name;
}

// The stamp record, right after the name record: a MESSAGE of exactly its size.
Stamp Reader::readStamp() {
    const std::size_t got = fill(kStampRecordSize + kChunkOverhead);
    if (got < kStampRecordSize + kChunkOverhead)
        throw FormatError(got == 0 ? Refusal::Truncated : Refusal::NotVerified);
    std::array<unsigned char, kStampRecordSize> record{};
    unsigned long long length = 0;
    unsigned char tag = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(&m_state->s, record.data(), &length, &tag, m_in.data(), got, nullptr,
                                                   0) != 0)
        throw FormatError(Refusal::NotVerified);
    if (tag != kTagMessage)
        throw FormatError(Refusal::UnexpectedTag);
    return DecodeStamp(record);
}

bool Reader::next(std::string& piece) {
    piece.clear();
    if (!m_opened || m_done)
        return false;
    // A whole chunk is a MESSAGE; anything shorter can only be the FINAL one, which ends the file.
    const std::size_t got = fill(kSealedChunk);
    if (got == 0)
        throw FormatError(Refusal::Truncated);
    if (got < kChunkOverhead)
        throw FormatError(Refusal::Truncated);
    piece.resize(got - kChunkOverhead);
    unsigned long long length = 0;
    unsigned char tag = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(&m_state->s, reinterpret_cast<unsigned char*>(piece.data()), &length,
                                                   &tag, m_in.data(), got, nullptr, 0) != 0) {
        piece.clear();
        throw FormatError(Refusal::NotVerified);
    }
    piece.resize(static_cast<std::size_t>(length));
    if (got == kSealedChunk) {
        if (tag == kTagFinal) {
            piece.clear();
            throw FormatError(Refusal::UnexpectedTag);
        }
        if (tag != kTagMessage) {
            piece.clear();
            throw FormatError(Refusal::UnexpectedTag);
        }
        return true;
    }
    if (tag != kTagFinal) {
        // A short MESSAGE: the FINAL chunk that should follow it is missing.
        piece.clear();
        throw FormatError(tag == kTagMessage ? Refusal::Truncated : Refusal::UnexpectedTag);
    }
    unsigned char extra = 0;
    if (m_source(&extra, 1) != 0) {
        piece.clear();
        throw FormatError(Refusal::TrailingBytes);
    }
    m_done = true;
    return true;
}

} // namespace core::strong
