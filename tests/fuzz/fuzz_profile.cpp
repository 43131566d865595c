// Fuzzes the profile-file reader and writer: lookups, a write and a delete over an arbitrary file,
// and the key/value split of every line. The input's first line names the section and key used.

#include "FuzzSandbox.h"

#include "platform/ProfileFile.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {
bool isPlainName(const std::string& s) {
    if (s.empty())
        return false;
    for (unsigned char c : s)
        if (!std::isalnum(c))
            return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& root = fuzz_support::sandboxRoot();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t eol = text.find('\n');
    const std::string first = text.substr(0, eol);
    const std::size_t bar = first.find('|');
    const std::string section = first.substr(0, bar);
    const std::string key = bar == std::string::npos ? std::string("key") : first.substr(bar + 1);
    const std::string body = eol == std::string::npos ? std::string() : text.substr(eol + 1);

    fuzz_support::writeHostFile(root + "/work/profile.ini", reinterpret_cast<const unsigned char*>(body.data()),
                                body.size());
    const std::string file = "C:\\work\\profile.ini";
    (void)platform::getProfileString(file, section, key, "default");
    const bool written = platform::writeProfileString(file, section, key, "value");
    // A plain key written into a plain section reads back, whatever the file held before.
    if (written && isPlainName(section) && isPlainName(key) && platform::getProfileString(file, section, key, "") != "value")
        __builtin_trap();
    platform::deleteProfileKey(file, section, key);

    std::size_t start = 0;
    while (start <= body.size()) {
        const std::size_t end = body.find('\n', start);
        (void)platform::profileKeyEnd(body.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    fuzz_support::clearWorkFolder();
    return 0;
}
