#include "mlp/significance/box_code.h"

#include <bit>

namespace significance {

namespace {

constexpr int kWordBits = 32;
constexpr std::uint32_t kTopBit = 0x80000000u;

// Spreads the 16 bits of v to the even bit positions of a 32-bit word (bit k → bit 2k), the
// classic Morton-code bit interleave.
constexpr std::uint32_t spreadBits(std::uint32_t v) {
  v = (v | (v << 8)) & 0x00FF00FFu;
  v = (v | (v << 4)) & 0x0F0F0F0Fu;
  v = (v | (v << 2)) & 0x33333333u;
  v = (v | (v << 1)) & 0x55555555u;
  return v;
}

}  // namespace

void depositCoordinate(std::uint16_t q, std::int32_t d, std::int32_t dimensions, std::uint32_t* words) {
  std::int32_t position = d;  // global bit position D·b + d, b = 0 first
  for (int shift = kBoxCodeBits - 1; shift >= 0; --shift, position += dimensions) {
    if ((q >> shift) & 1u) words[position / kWordBits] |= kTopBit >> (position % kWordBits);
  }
}

void packBoxCode(const std::uint16_t* q, std::int32_t dimensions, std::uint32_t* words) {
  // One coordinate: its 16 bits fill the upper half of the single word.
  if (dimensions == 1) {
    words[0] = static_cast<std::uint32_t>(q[0]) << kBoxCodeBits;
    return;
  }
  // Two coordinates: dimension 0 takes the odd (more significant) and dimension 1 the even
  // positions of each pair, which is the general rule for D = 2.
  if (dimensions == 2) {
    words[0] = (spreadBits(q[0]) << 1) | spreadBits(q[1]);
    return;
  }
  const std::int32_t wordCount = boxCodeWords(dimensions);
  for (std::int32_t w = 0; w < wordCount; ++w) words[w] = 0;
  for (std::int32_t d = 0; d < dimensions; ++d) depositCoordinate(q[d], d, dimensions, words);
}

std::int32_t commonBoxLevel(const std::uint32_t* a, const std::uint32_t* b, std::int32_t dimensions) {
  const std::int32_t wordCount = boxCodeWords(dimensions);
  for (std::int32_t w = 0; w < wordCount; ++w) {
    const std::uint32_t diff = a[w] ^ b[w];
    if (diff != 0) {
      const std::int32_t commonBits = w * kWordBits + std::countl_zero(diff);
      return commonBits / dimensions;
    }
  }
  return kFinestBoxLevel;
}

}  // namespace significance
