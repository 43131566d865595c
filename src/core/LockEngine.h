#pragma once
// The two locked-file engines: small files (".TSL", enciphered whole) and large files (".TSW",
// head enciphered). Each takes a full Windows-form path and the password as typed, shows its own
// messages through the prompt and returns whether it succeeded. Both directions write the result
// beside the source, flush it, and only then remove the source, so the content is always on disk.

#include <cstdint>
#include <functional>
#include <string>

namespace platform {
class Prompt;
}

namespace core {

inline constexpr std::uint64_t kLargeFileThreshold = 200000;

struct EngineContext {
    platform::Prompt& prompt;
    std::string registerPath;
    std::string windowName = "frmMain"; // the reporting window ("frmSecurityVault" for the vault)
    // Called with bytes done of total while an engine works; the caller paints and lets events run.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

bool Encrypt(const std::string& path, const std::string& password, const EngineContext& ctx);
bool Decrypt(const std::string& path, const std::string& password, const EngineContext& ctx);
bool Decrypt1(const std::string& path, const std::string& password, const EngineContext& ctx);
bool BigEncrypt(const std::string& path, const std::string& password, const EngineContext& ctx);
bool BigDecrypt(const std::string& path, const std::string& password, const EngineContext& ctx);
bool BigDecrypt1(const std::string& path, const std::string& password, const EngineContext& ctx);

// What a file is, for "tessaly-cli info" and the browser pane.
struct LockInfo {
    enum Kind { Plain, Small, Large } kind = Plain;
    std::uint64_t contentSize = 0; // bytes of content the file holds (locked or not)
};
LockInfo InspectFile(const std::string& path);

} // namespace core
