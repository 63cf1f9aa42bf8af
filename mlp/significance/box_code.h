#pragma once

#include <cstdint>

namespace significance {

// A point's box code: its D coordinates, each quantised to 16 bits, interleaved bit level by
// bit level into (D + 1) / 2 unsigned 32-bit words. For bit level b = 0 … 15 (b = 0 is the most
// significant bit of a coordinate) and dimension d, bit (15 − b) of coordinate d sits at global
// position D·b + d, where position 0 is the most significant bit of word 0 and position 32 the
// most significant bit of word 1. Bits beyond position 16·D − 1 are 0.
//
// Two points share a box of level L (side 2^-L of the quantisation range) exactly when the
// first L·D bits of their codes agree, so comparing codes as unsigned words from word 0 onwards
// orders the points so that every box of every level is a run of consecutive codes.

// Bits per quantised coordinate.
inline constexpr int kBoxCodeBits = 16;
// Finest box level: one level per coordinate bit (level 0 is the single box of everything).
inline constexpr int kFinestBoxLevel = kBoxCodeBits;

// Number of 32-bit words of one code of `dimensions` coordinates.
constexpr std::int32_t boxCodeWords(std::int32_t dimensions) {
  return (dimensions + 1) / 2;
}

// ORs the 16 bits of coordinate d (of `dimensions`) into a code whose words start zeroed.
void depositCoordinate(std::uint16_t q, std::int32_t d, std::int32_t dimensions, std::uint32_t* words);

// Packs the quantised coordinates q[0 … dimensions − 1] into words[0 … boxCodeWords − 1],
// overwriting every word (unused trailing bits become 0).
void packBoxCode(const std::uint16_t* q, std::int32_t dimensions, std::uint32_t* words);

// The deepest level (0 … 16) at which two codes of `dimensions` coordinates share a box: the
// number of leading bits they have in common, in whole bit levels.
std::int32_t commonBoxLevel(const std::uint32_t* a, const std::uint32_t* b, std::int32_t dimensions);

}  // namespace significance
