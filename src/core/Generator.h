#pragma once
// The process-wide pseudo-random generator under the cipher. Its exact arithmetic binds the locked
// file format: every copy of the program must produce the same stream.

#include <cstddef>
#include <cstdint>

namespace core {

// Rnd(x): x < 0 reseeds from x's bits, x != 0 steps, x == 0 repeats; returns seed / 2^24.
float Rnd(float x);
inline float Next() { return Rnd(1.0f); }
inline float Reseed(float x) { return Rnd(x); }
// XORs each byte with the top byte of the next generator value, int(Next() * 256): the same
// stream as calling Next() per byte (seed / 2^24 * 256 is exact in single precision), in one loop.
void XorWithStream(char* data, std::size_t n);
// Mixes the upper bits of d into the middle bytes of the seed.
void Mix(double d);

std::int32_t generatorState();
void setGeneratorState(std::int32_t seed); // tests; the initial state is 0x50000

} // namespace core
