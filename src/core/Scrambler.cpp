#include "core/Scrambler.h"

#include "platform/SysError.h"

#include <array>
#include <utility>
#include <vector>

namespace core {

std::string RC4Text(const std::string& text, const std::string& key) {
    std::array<unsigned char, 256> s{};
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    if (!key.empty()) {
        unsigned j = 0;
        for (std::size_t i = 0; i < 256; ++i) {
            j = (j + s[i] + static_cast<unsigned char>(key[i % key.size()])) & 255;
            std::swap(s[i], s[j]);
        }
    }
    std::string out(text.size(), '\0');
    unsigned i = 0, j = 0;
    for (std::size_t n = 0; n < text.size(); ++n) {
        i = (i + 1) & 255;
        j = (j + s[i]) & 255;
        std::swap(s[i], s[j]);
        const unsigned k = s[(s[i] + s[j]) & 255];
        out[n] = static_cast<char>(static_cast<unsigned char>(text[n]) ^ k);
    }
    return out;
}

namespace {
// The start of the fixed key's keystream: the fields scrambled with it are far shorter.
const std::string& fixedKeystream() {
    static const std::string start = RC4Text(std::string(16384, '\0'), kFixedKey);
    return start;
}
} // namespace

unsigned char FixedKeyByte(std::size_t i) {
    const std::string& start = fixedKeystream();
    if (i < start.size())
        return static_cast<unsigned char>(start[i]);
    // Past it (a field of tens of kilobytes), a longer stream for this thread, grown by doubling.
    thread_local std::string longer;
    if (i >= longer.size())
        longer = RC4Text(std::string(2 * i + 64, '\0'), kFixedKey);
    return static_cast<unsigned char>(longer[i]);
}

std::string FixedKeyText(const std::string& text) {
    const std::string& start = fixedKeystream();
    if (text.size() > start.size())
        return RC4Text(text, kFixedKey);
    std::string out(text);
    for (std::size_t n = 0; n < out.size(); ++n)
        out[n] = static_cast<char>(out[n] ^ start[n]);
    return out;
}

namespace {
// A 6-bit value as its text character: v + 32, with "`" standing for 0.
char sixBitChar(unsigned v) {
    return static_cast<char>(v == 0 ? 96 : v + 32);
}
} // namespace

std::string BitEncrypt(const std::string& text) {
    std::string padded = text;
    while (padded.size() % 3 != 0)
        padded.push_back('\0');
    std::string out;
    out.reserve(padded.size() / 3 * 4);
    for (std::size_t i = 0; i < padded.size(); i += 3) {
        const unsigned b1 = static_cast<unsigned char>(padded[i]);
        const unsigned b2 = static_cast<unsigned char>(padded[i + 1]);
        const unsigned b3 = static_cast<unsigned char>(padded[i + 2]);
        out.push_back(sixBitChar(b1 / 4));
        out.push_back(sixBitChar((b1 & 3) * 16 + b2 / 16));
        out.push_back(sixBitChar((b2 & 15) * 4 + b3 / 64));
        out.push_back(sixBitChar(b3 & 63));
    }
    for (char& c : out)
        c = static_cast<char>(static_cast<unsigned char>(c) + 100);
    return FixedKeyText(out);
}

std::string BitDecrypt(const std::string& text) {
    std::string t = FixedKeyText(text);
    std::vector<int> codes;
    codes.reserve(t.size());
    for (char ch : t) {
        int c = static_cast<unsigned char>(ch) - 100;
        if (c < 0)
            throw platform::SysError(platform::ErrorKind::InvalidArgument, "Invalid procedure call or argument");
        if (c == 96)
            c = 32;
        codes.push_back(c);
    }
    std::string out;
    out.reserve(codes.size() / 4 * 3 + 2);
    auto put = [&out](int b) {
        if (b < 0 || b > 255)
            throw platform::SysError(platform::ErrorKind::InvalidArgument, "Invalid procedure call or argument");
        out.push_back(static_cast<char>(b));
    };
    // Each group of four gives three bytes; a short last group gives the bytes its characters cover.
    for (std::size_t i = 0; i < codes.size(); i += 4) {
        const std::size_t have = std::min<std::size_t>(4, codes.size() - i);
        if (have >= 2)
            put((codes[i] - 32) * 4 + (codes[i + 1] - 32) / 16);
        if (have >= 3)
            put((codes[i + 1] & 15) * 16 + (codes[i + 2] - 32) / 4);
        if (have >= 4)
            put((codes[i + 2] & 3) * 64 + (codes[i + 3] - 32));
    }
    return out;
}

} // namespace core
