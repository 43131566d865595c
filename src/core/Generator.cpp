#include "core/Generator.h"

#include <bit>

namespace core {

namespace {
// One state per thread: a cipher seeds it from its key and then draws from it, so threads that
// encipher side by side must not share it. Each thread starts from the same fresh state.
thread_local std::int32_t g_seed = 0x50000;
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

namespace {
constexpr std::uint32_t kMultiplier = 0x43FD43FDu;
constexpr std::uint32_t kIncrement = 0xC39EC3u;
constexpr std::uint32_t kMask = 0xFFFFFFu;
// Lanes of the stream worked on side by side: each lane jumps kLanes states at a time, so the
// multiplications of one round do not wait for each other and the compiler can vectorise them.
constexpr std::size_t kLanes = 16;

struct Jump {
    std::uint32_t multiplier = 1;
    std::uint32_t increment = 0;
};
// The generator applied kLanes times, as one step: x -> multiplier * x + increment (mod 2^24).
constexpr Jump laneJump() {
    Jump j;
    for (std::size_t k = 0; k < kLanes; ++k) {
        j.multiplier *= kMultiplier;
        j.increment = j.increment * kMultiplier + kIncrement;
    }
    return j;
}
constexpr Jump kJump = laneJump();
} // namespace

void XorWithStream(char* data, std::size_t n) {
    auto s = static_cast<std::uint32_t>(g_seed);
    std::size_t i = 0;
    if (n >= 2 * kLanes) {
        // lane[j] holds the state that enciphers byte i + j.
        std::uint32_t lane[kLanes];
        for (std::size_t j = 0; j < kLanes; ++j) {
            s = (s * kMultiplier + kIncrement) & kMask;
            lane[j] = s;
        }
        for (; i + kLanes <= n; i += kLanes) {
            for (std::size_t j = 0; j < kLanes; ++j)
                data[i + j] = static_cast<char>(static_cast<unsigned char>(data[i + j]) ^ (lane[j] >> 16));
            s = lane[kLanes - 1]; // the state after byte i + kLanes - 1
            for (std::size_t j = 0; j < kLanes; ++j)
                lane[j] = (lane[j] * kJump.multiplier + kJump.increment) & kMask;
        }
    }
    for (; i < n; ++i) {
        s = (s * kMultiplier + kIncrement) & kMask;
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
