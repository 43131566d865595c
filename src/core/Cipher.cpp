#include "core/Cipher.h"

#include "core/Generator.h"
#include "diagnostics/ErrorReport.h"

#include <algorithm>

namespace {
constexpr int kAlphabetFirst = 59; // ";"
constexpr int kAlphabetLast = 122; // "z"
const char* const kDigestSuffix = "583920";

unsigned char byteAt(const std::string& s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
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
    for (char& c : m_text) {
        // Next() lies in [0, 1): truncation is the floor.
        const auto k = static_cast<unsigned>(core::Next() * 256.0f);
        c = static_cast<char>(static_cast<unsigned char>(c) ^ k);
    }
}

void Cipher::Stretch() {
    const std::size_t n = m_text.size();
    std::string out;
    out.resize(n + (n + 2) / 3);
    std::size_t j = 0;
    unsigned p = 0;
    for (std::size_t i = 1; i <= n; ++i) {
        const unsigned c = byteAt(m_text, i - 1);
        out[j++] = static_cast<char>((c & 63) + kAlphabetFirst);
        switch (i % 3) {
        case 1:
            p |= (c / 64) * 16;
            break;
        case 2:
            p |= (c / 64) * 4;
            break;
        default:
            p |= c / 64;
            out[j++] = static_cast<char>(p + kAlphabetFirst);
            p = 0;
            break;
        }
    }
    if (n % 3 != 0)
        out[j++] = static_cast<char>(p + kAlphabetFirst);
    m_text = std::move(out);
}

void Cipher::Shrink() {
    const auto m = static_cast<long long>(m_text.size());
    const long long n = (m - 1) - (m - 1) / 4;
    if (n < 0) {
        ReportError("Cipher", 5, "Invalid procedure call or argument", "shrink");
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
            ReportError("Cipher", 5, "Invalid procedure call or argument", "shrink");
            return;
        }
        out[static_cast<std::size_t>(i - 1)] = static_cast<char>(h | c);
    }
    m_text = std::move(out);
}

bool Cipher::IsStretched(const std::string& text) {
    if (text.empty() || text.size() % 4 == 1)
        return false;
    for (char ch : text) {
        const int c = static_cast<unsigned char>(ch);
        if (c < kAlphabetFirst || c > kAlphabetLast)
            return false;
    }
    return true;
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
