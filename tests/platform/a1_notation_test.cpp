#include "platform/a1_notation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

TEST(A1NotationTest, LettersAtTheCarryBoundaries) {
  EXPECT_EQ(platform::columnLetters(1), "A");
  EXPECT_EQ(platform::columnLetters(26), "Z");
  EXPECT_EQ(platform::columnLetters(27), "AA");
  EXPECT_EQ(platform::columnLetters(256), "IV");
  EXPECT_EQ(platform::columnLetters(702), "ZZ");
  EXPECT_EQ(platform::columnLetters(703), "AAA");
  EXPECT_EQ(platform::columnLetters(16384), "XFD");
  EXPECT_EQ(platform::columnLetters(0), "");
  EXPECT_EQ(platform::columnLetters(-5), "");
  EXPECT_EQ(platform::cellName(65536, 256), "IV65536");
  EXPECT_EQ(platform::cellName(7, 2), "B7");
}

TEST(A1NotationTest, LettersAndNumbersAreInverse) {
  for (std::int32_t column = 1; column <= 20000; ++column) {
    const std::string letters = platform::columnLetters(column);
    ASSERT_EQ(platform::columnNumber(letters, kInt32Max), column) << letters;
  }
  const std::string largest = platform::columnLetters(std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(platform::columnNumber(largest, kInt32Max), kInt32Max) << largest;
}

TEST(A1NotationTest, NumbersIgnoreCaseAndSaturateJustPastTheLimit) {
  EXPECT_EQ(platform::columnNumber("iv", 256), 256);
  EXPECT_EQ(platform::columnNumber("aA", 256), 27);
  EXPECT_EQ(platform::columnNumber("IW", 256), 257);
  EXPECT_EQ(platform::columnNumber("ZZZZZZZZZZZZZZZZZZZZ", kInt32Max), kInt32Max + 1);
  EXPECT_EQ(platform::columnNumber("", 256), 0);
}

}  // namespace
