#pragma once
// Locking and unlocking files as strong locked files (".TSX", see StrongFormat.h). A run prepares
// each file's result under a temporary name, as the other engines do; the lock engine's shared steps
// then record, sync, remove the source, put the result in place, and set attributes and ".hidden".
// A lock run derives its key once (one salt for the run, a fresh stream header per file); an unlock
// run derives one key per salt and limits it meets.

#include "core/StrongFormat.h"

#include <memory>
#include <optional>
#include <string>

namespace platform {
class AtomicWriter;
}

namespace core {

struct EngineContext;

// Whether the file begins with "[Strong]": a strong locked file is told by its content alone.
// Throws platform::SysError when the file cannot be read.
bool StartsWithStrongHeader(const std::string& path);

// What the header of a strong locked file says (for "tessaly-cli info"); nothing for a file that
// is no strong locked file. Throws platform::SysError when the file cannot be read.
struct StrongInfo {
    std::uint8_t version = 0;
    strong::Limits limits;
    std::uint64_t contentSize = 0; // worked out from the length, when the length is one a writer makes
    bool sizeKnown = false;
};
std::optional<StrongInfo> InspectStrongFile(const std::string& path);

// One file's result, written and waiting to be put in place.
struct StrongResult {
    std::string target;
    std::unique_ptr<platform::AtomicWriter> writer;
};

class StrongRun final {
public:
    StrongRun(std::string password, const EngineContext& ctx);
    ~StrongRun();
    // Each shows its own refusals through the context's prompt and returns nothing after one;
    // platform::SysError and std::bad_alloc pass to the caller's handler.
    std::optional<StrongResult> prepareLock(const std::string& path);
    std::optional<StrongResult> prepareUnlock(const std::string& path);
    // How many keys this run derived (one for a lock run).
    std::size_t derivations() const;

private:
    std::string m_password;
    const EngineContext& m_ctx;
    std::optional<strong::Key> m_lockKey;
    strong::KeyCache m_unlockKeys;
};

} // namespace core
