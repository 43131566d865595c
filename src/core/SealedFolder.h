#pragma once
// The sealed folder: one strong locked file that holds a whole tree (every file's content, every
// name, empty files and folders, symbolic links as links, modes and modification times), with
// nothing of the tree readable without the password. Its format is docs/sealed-folder.md; the key
// is derived as for ".TSX" files (core/StrongFormat), the chunks are XChaCha20-Poly1305 with nonces
// taken from their place, the index of the tree is sealed at the end and a fixed-size trailer ends
// the file. Everything here works on host paths and throws SealedError with the user's text.

#include "core/StrongFormat.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace core::sealed {

inline constexpr char kMagic[] = "[Sealed]";
inline constexpr std::size_t kMagicSize = 8;
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::size_t kHeaderSize = 64;
inline constexpr std::size_t kNoncePrefixSize = 15;
inline constexpr std::size_t kChunkSize = 65536;
inline constexpr std::size_t kTagSize = 16;
inline constexpr std::size_t kTrailerPlainSize = 48;
inline constexpr std::size_t kTrailerSize = kTrailerPlainSize + kTagSize;
inline constexpr std::size_t kMaxNameLength = 255;
inline constexpr std::size_t kMaxLinkLength = 4095;
inline constexpr std::uint32_t kNoParent = 0xFFFFFFFFu;

// Why a sealed file cannot be read. The file is never changed by a refusal.
enum class Refusal {
    NotSealed,     // another magic
    Version,       // a format version other than 1
    KeyDerivation, // a key derivation other than Argon2id v1.3
    Limits,        // opslimit or memlimit outside the range of strong locked files
    NotVerified,   // a chunk or the trailer does not verify: a wrong password, or damage
    Damaged,       // verified pieces that do not fit together (index, lengths, padding)
};

class SealedError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class FormatError final : public SealedError {
public:
    explicit FormatError(Refusal refusal);
    Refusal refusal() const { return m_refusal; }

private:
    Refusal m_refusal;
};

enum class Kind : std::uint8_t { Folder = 1, File = 2, Link = 3 };

// One entry of the tree. Entry 0 is the sealed folder itself (its name is the folder's name);
// every other entry names its folder by index, and comes after it.
struct Entry {
    Kind kind = Kind::File;
    std::uint32_t parent = kNoParent;
    std::string name; // raw bytes as on disk
    std::uint32_t mode = 0; // permission bits (07777)
    std::int64_t mtimeSec = 0;
    std::uint32_t mtimeNsec = 0;
    std::uint64_t size = 0;       // a file's content length
    std::uint64_t firstChunk = 0; // a file's first chunk number
    std::uint64_t offset = 0;     // where a file's first chunk starts in the sealed file
    std::string target;           // a link's target
};

// The length of a sealed file whose header, chunks, index and trailer take `length` bytes: a
// multiple of 64 KiB, and above 1 MiB a multiple of the largest power of two not above length/16.
std::uint64_t PaddedLength(std::uint64_t length);

// Whether the bytes begin with the magic "[Sealed]" (what tells a sealed file, never its name).
bool HasMagic(const std::string& start);
bool IsSealedFile(const std::string& hostPath);

// Where a kill may land, for the tests: the run calls the checkpoint with each step's name.
struct Options {
    strong::Limits limits = strong::kDefaultLimits;
    std::function<void(const char*)> checkpoint;
    // Keys already derived (by salt and limits) for reading; its password is the one used. None:
    // the key is derived from the password given.
    std::shared_ptr<strong::KeyCache> keys;
};

// The entries of an index's plaintext (`count` of them), checked as a reader checks them: every
// name storable and unique in its folder, folders before their content, and the files' chunks
// following each other from offset 64 and chunk 0 up to where the index begins. FormatError(Damaged)
// otherwise.
std::vector<Entry> ParseIndex(const std::string& plain, std::uint64_t count, std::uint64_t indexOffset,
                              std::uint64_t indexFirstChunk);

struct SealResult {
    std::string sealedPath;              // host path of the sealed file
    std::vector<std::string> notRemoved; // sources left (changed since they were sealed, or a failure), with why
};
// Seals the folder into "<16 random characters>.TSX" in its parent, then overwrites and removes the
// sources. Refuses (SealedError, nothing changed) a drive root, the program's data, a tree holding
// a mount point, another user's files or a file with other names (hard links).
SealResult Seal(const std::string& hostFolder, const std::string& password, const Options& options = {});

// The tree as stored, after the password: the entries, and each one's path below the sealed folder
// ("" for the folder itself, "a/b.txt" below it).
struct Listing {
    std::vector<Entry> entries;
    std::vector<std::string> paths;
};
Listing List(const std::string& sealedFile, const std::string& password, const Options& options = {});

// Writes the tree beside the sealed file under the folder's name (refused when the name is taken),
// then removes the sealed file. Returns the host path of the tree.
std::string Open(const std::string& sealedFile, const std::string& password, const Options& options = {});

// Takes the file at `path` (as List names it) out beside the sealed file under its own name
// (refused when the name is taken); the sealed file stays as it is. Returns the host path written.
std::string TakeOne(const std::string& sealedFile, const std::string& password, const std::string& path,
                    const Options& options = {});

// What an interrupted seal or open left in the host folder: an unfinished tree or sealed file is
// removed (the other side is whole), the sources of a completed seal are removed. One line per
// thing done, and failures.
struct SealedRecovery {
    std::vector<std::string> done;
    std::vector<std::string> failures;
};
SealedRecovery RecoverSealed(const std::string& hostFolder);

} // namespace core::sealed
