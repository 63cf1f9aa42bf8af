#pragma once

namespace platform {

// Largest value crtRand() returns, as in the original platform's C runtime.
inline constexpr int kRandMax = 32767;

// The process-wide pseudo-random generator that stands in for the C runtime's rand().
// State starts at 1 and is never seeded by the product, so every run draws the same sequence:
// x <- x * 214013 + 2531011 (mod 2^32), result (x >> 16) & 0x7FFF.
// Safe to call from any thread; concurrent callers each get a distinct draw.
int crtRand();

// Resets the generator's state; the product never calls this, tests do to get known sequences.
void crtSrand(unsigned seed);

}  // namespace platform
