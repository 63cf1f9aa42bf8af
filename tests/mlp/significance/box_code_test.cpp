#include "mlp/significance/box_code.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace significance {
namespace {

template <std::size_t D>
std::array<std::uint32_t, (D + 1) / 2> pack(const std::array<std::uint16_t, D>& q) {
  std::array<std::uint32_t, (D + 1) / 2> words;
  words.fill(0xDEADBEEFu);  // packing must overwrite every word, unused bits included
  packBoxCode(q.data(), static_cast<std::int32_t>(D), words.data());
  return words;
}

TEST(BoxCode, OneDimensionFillsTheUpperHalfWord) {
  EXPECT_EQ(pack<1>({0xA5C3})[0], 0xA5C30000u);
  EXPECT_EQ(pack<1>({0xFFFF})[0], 0xFFFF0000u);  // low 16 bits unused
  EXPECT_EQ(pack<1>({0x0001})[0], 0x00010000u);
}

TEST(BoxCode, TwoDimensionsInterleaveFirstCoordinateFirst) {
  EXPECT_EQ(pack<2>({0xFFFF, 0x0000})[0], 0xAAAAAAAAu);
  EXPECT_EQ(pack<2>({0x0000, 0xFFFF})[0], 0x55555555u);
  // Most significant bit of coordinate 0 → position 0; least of coordinate 1 → position 31.
  EXPECT_EQ(pack<2>({0x8000, 0x0001})[0], 0x80000001u);
  EXPECT_EQ(pack<2>({0x0001, 0x8000})[0], 0x40000002u);
}

TEST(BoxCode, ThreeDimensionsSpillIntoTheSecondWordAndZeroTheRest) {
  EXPECT_EQ(pack<3>({0xFFFF, 0xFFFF, 0xFFFF}), (std::array<std::uint32_t, 2>{0xFFFFFFFFu, 0xFFFF0000u}));
  // 0x8000 of coordinate 0 → position 0; 0x4000 of coordinate 2 → position 3·1 + 2 = 5;
  // 0x0001 of coordinate 1 → position 3·15 + 1 = 46, bit 17 of word 1.
  EXPECT_EQ(pack<3>({0x8000, 0x0001, 0x4000}), (std::array<std::uint32_t, 2>{0x84000000u, 0x00020000u}));
  // Bit level 10 of coordinate 2 is global position 32: the top bit of word 1.
  EXPECT_EQ(pack<3>({0, 0, 0x0020}), (std::array<std::uint32_t, 2>{0u, 0x80000000u}));
}

TEST(BoxCode, FiveDimensionsUseThreeWords) {
  EXPECT_EQ(pack<5>({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}),
            (std::array<std::uint32_t, 3>{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFF0000u}));
  // 0x2000 of coordinate 0: level 2, position 10 (word 0 bit 21); 0x0100 of coordinate 3:
  // level 7, position 38 (word 1 bit 25); 0x0001 of coordinate 4: level 15, position 79 (the
  // last used bit, word 2 bit 16).
  EXPECT_EQ(pack<5>({0x2000, 0, 0, 0x0100, 0x0001}),
            (std::array<std::uint32_t, 3>{0x00200000u, 0x02000000u, 0x00010000u}));
}

TEST(BoxCode, CommonLevelCountsWholeBitLevels) {
  const auto a = pack<3>({0x8000, 0x0000, 0x0000});
  const auto b = pack<3>({0x8000, 0x0000, 0x0001});  // differs only at level 15
  const auto c = pack<3>({0x0000, 0x0000, 0x0000});  // differs at level 0
  EXPECT_EQ(commonBoxLevel(a.data(), a.data(), 3), 16);
  EXPECT_EQ(commonBoxLevel(a.data(), b.data(), 3), 15);
  EXPECT_EQ(commonBoxLevel(a.data(), c.data(), 3), 0);
  const auto d = pack<1>({0x1234});
  const auto e = pack<1>({0x1235});
  EXPECT_EQ(commonBoxLevel(d.data(), e.data(), 1), 15);
}

}  // namespace
}  // namespace significance
