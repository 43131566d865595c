#include "core/Generator.h"

#include <bit>

namespace core {

namespace {
// One state for the whole process, as the cipher's callers expect.
std::int32_t g_seed = 0x50000;
} // namespace

float Rnd(float x) {
    if (x != 0.0f) {
        if (x < 0.0f) {
            const auto u = std::bit_cast<std::uint32_t>(x);
            g_seed = static_cast<std::int32_t>((u + (u >> 24)) & 0xFFFFFFu);
        }
        const auto s = static_cast<std::uint32_t>(g_seed);
        g_seed = static_cast<std::int32_t>((s * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu);
    }
    return static_cast<float>(g_seed) / 16777216.0f;
}

void XorWithStream(char* data, std::size_t n) {
    auto s = static_cast<std::uint32_t>(g_seed);
    for (std::size_t i = 0; i < n; ++i) {
        s = (s * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
        data[i] = static_cast<char>(static_cast<unsigned char>(data[i]) ^ (s >> 16));
    }
    g_seed = static_cast<std::int32_t>(s);
}

void Mix(double d) {
    const auto bits = std::bit_cast<std::uint64_t>(d);
    const auto h = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits >> 32));
    const auto folded = static_cast<std::uint32_t>((h & 0xFFFF) ^ (h >> 16));
    const std::uint32_t l = folded << 8;
    g_seed = static_cast<std::int32_t>((static_cast<std::uint32_t>(g_seed) & 0xFF0000FFu) | l);
}

std::int32_t generatorState() {
    return g_seed;
}

void setGeneratorState(std::int32_t seed) {
    g_seed = seed;
}

} // namespace core
