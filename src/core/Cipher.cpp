#include "core/Cipher.h"

#include "core/Generator.h"
#include "diagnostics/ErrorReport.h"
#include "platform/SysError.h"

#include <algorithm>

namespace {
constexpr int kAlphabetFirst = 59; // ";"
constexpr int kAlphabetLast = 122; // "z"
const char* const kDigestSuffix = "583920";

unsigned char byteAt(const std::string& s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}

// Shrink of a text whose every character is in the alphabet and whose length is no multiple of four
// plus one: each four characters give three bytes (the fourth holds their top two bits); a last two
// or three give one or two bytes, the last character holding their top bits.
std::string shrinkWellFormed(const std::string& text) {
    const std::size_t m = text.size();
    const std::size_t groups = m / 4;
    const std::size_t tail = m % 4; // 0, 2 or 3
    std::string out(groups * 3 + (tail == 0 ? 0 : tail - 1), '\0');
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    for (std::size_t g = 0; g < groups; ++g, in += 4, o += 3) {
        const unsigned d = in[3] - kAlphabetFirst;
        o[0] = static_cast<unsigned char>(((d >> 4) & 3) << 6 | (in[0] - kAlphabetFirst));
        o[1] = static_cast<unsigned char>(((d >> 2) & 3) << 6 | (in[1] - kAlphabetFirst));
        o[2] = static_cast<unsigned char>((d & 3) << 6 | (in[2] - kAlphabetFirst));
    }
    if (tail >= 2) {
        const unsigned d = in[tail - 1] - kAlphabetFirst;
        o[0] = static_cast<unsigned char>(((d >> 4) & 3) << 6 | (in[0] - kAlphabetFirst));
        if (tail == 3)
            o[1] = static_cast<unsigned char>(((d >> 2) & 3) << 6 | (in[1] - kAlphabetFirst));
    }
    return out;
}
} // namespace

void Cipher::setKeyString(const std::string& key) {
    m_key = key;
    SeedFromKey();
}

void Cipher::SeedFromKey() {
    float r = core::Reseed(-1.0f);
    core::Mix(r);
    for (std::size_t i = 0; i < m_key.size(); ++i) {
        const float t = core::Next();
        // The product is exact in double; one rounding to single, to nearest even.
        const auto x = static_cast<float>(-static_cast<double>(t) * byteAt(m_key, i));
        r = core::Reseed(x);
        core::Mix(r);
    }
}

void Cipher::DoXor() {
    // Each byte XOR int(Next() * 256), in one loop over the generator.
    core::XorWithStream(m_text.data(), m_text.size());
}

void Cipher::Stretch() {
    // Each three bytes give four characters: their low six bits each, then one holding their top
    // two bits (first byte's highest); a last one or two bytes give their characters and that one.
    const std::size_t n = m_text.size();
    std::string out(n + (n + 2) / 3, '\0');
    const auto* in = reinterpret_cast<const unsigned char*>(m_text.data());
    char* o = out.data();
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned a = in[i], b = in[i + 1], c = in[i + 2];
        o[0] = static_cast<char>((a & 63) + kAlphabetFirst);
        o[1] = static_cast<char>((b & 63) + kAlphabetFirst);
        o[2] = static_cast<char>((c & 63) + kAlphabetFirst);
        o[3] = static_cast<char>(((a >> 6) << 4 | (b >> 6) << 2 | (c >> 6)) + kAlphabetFirst);
        o += 4;
    }
    if (n - i == 1) {
        const unsigned a = in[i];
        o[0] = static_cast<char>((a & 63) + kAlphabetFirst);
        o[1] = static_cast<char>(((a >> 6) << 4) + kAlphabetFirst);
    } else if (n - i == 2) {
        const unsigned a = in[i], b = in[i + 1];
        o[0] = static_cast<char>((a & 63) + kAlphabetFirst);
        o[1] = static_cast<char>((b & 63) + kAlphabetFirst);
        o[2] = static_cast<char>(((a >> 6) << 4 | (b >> 6) << 2) + kAlphabetFirst);
    }
    m_text = std::move(out);
}

void Cipher::Shrink() {
    // A well-formed text (what Stretch writes) takes the quick way: four characters give three
    // bytes with no checks inside the loop.
    if (IsStretched(m_text)) {
        m_text = shrinkWellFormed(m_text);
        return;
    }
    const auto m = static_cast<long long>(m_text.size());
    const long long n = (m - 1) - (m - 1) / 4;
    if (n < 0) {
        ReportError("Cipher", platform::errorNumber(platform::ErrorKind::InvalidArgument),
                    "Invalid procedure call or argument", "shrink");
        return;
    }
    std::string out(static_cast<std::size_t>(n), ' ');
    long long j = 0, q = 0;
    int d = 0;
    for (long long i = 1; i <= n; ++i) {
        ++j;
        const int c = byteAt(m_text, static_cast<std::size_t>(j - 1)) - kAlphabetFirst;
        int h = 0;
        switch (i % 3) {
        case 1:
            q = std::min(q + 4, m);
            d = byteAt(m_text, static_cast<std::size_t>(q - 1)) - kAlphabetFirst;
            h = ((d / 16) & 3) * 64;
            break;
        case 2:
            h = ((d / 4) & 3) * 64;
            break;
        default:
            h = (d & 3) * 64;
            ++j; // the packing character
            break;
        }
        if (c < 0 || d < 0) {
            // A character Stretch never writes: the text stays as it was.
            ReportError("Cipher", platform::errorNumber(platform::ErrorKind::InvalidArgument),
                        "Invalid procedure call or argument", "shrink");
            return;
        }
        out[static_cast<std::size_t>(i - 1)] = static_cast<char>(h | c);
    }
    m_text = std::move(out);
}

bool Cipher::IsStretched(const std::string& text) {
    if (text.empty() || text.size() % 4 == 1)
        return false;
    // One pass without an early exit, so that the compiler can check many characters at a time.
    unsigned outside = 0;
    for (char ch : text)
        outside |= static_cast<unsigned>(static_cast<unsigned char>(ch) - kAlphabetFirst) >
                   static_cast<unsigned>(kAlphabetLast - kAlphabetFirst);
    return outside == 0;
}

std::string DigestText(const std::string& s) {
    const std::string salted = s + kDigestSuffix;
    Cipher c;
    c.setKeyString(salted);
    c.setText(salted);
    c.DoXor();
    c.Stretch();
    const std::string t = c.text();
    c.setKeyString(t);
    c.setText(kDigestSuffix);
    c.DoXor();
    c.Stretch();
    return c.text();
}
