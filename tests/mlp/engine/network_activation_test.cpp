#include "mlp/engine/network_activation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "mlp/engine/network_description.h"

namespace {

// Distance of a double result from an extended-precision reference, in units of the last place
// of the correctly rounded value.
double ulpError(double got, long double exact) {
  const double rounded = static_cast<double>(exact);
  const double ulp =
      std::nextafter(std::fabs(rounded), std::numeric_limits<double>::infinity()) - std::fabs(rounded);
  return static_cast<double>(std::fabs(static_cast<long double>(got) - exact) / ulp);
}

// The network's tanh is its own (polynomial below 0.625, exp above): check it against the long
// double tanh over the whole range, densely on both sides of the switch and near zero.
TEST(NetworkActivation, TanhIsAccurateEverywhere) {
  double worst = 0.0, worstAt = 0.0;
  auto check = [&](double s) {
    const double e = ulpError(tanhActivation(s), std::tanh(static_cast<long double>(s)));
    if (e > worst) worst = e, worstAt = s;
  };
  for (int k = -200000; k <= 200000; ++k) check(k * 1e-4);                     // [-20, 20]
  for (int k = -2000; k <= 2000; ++k) check(0.625 + k * 1e-9);                 // the switch
  for (int k = 0; k < 1000; ++k) check(std::ldexp(1.0 + k / 1000.0, -k / 4));  // toward zero
  EXPECT_LE(worst, 1.6) << "at " << worstAt;
}

// The exp half comes from the network's own exp (a 32-entry table of 2^(j/32) and a short
// series): sample it densely at random, so every table entry and both ends of each reduced
// interval are met many times, and check that the function never decreases.
TEST(NetworkActivation, TanhExpHalfIsAccurateAndMonotonic) {
  double worst = 0.0, worstAt = 0.0;
  unsigned long long state = 88172645463325252ULL;  // xorshift64
  for (int k = 0; k < 2000000; ++k) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    const double s = 0.625 + static_cast<double>(state >> 11) * 0x1p-53 * 19.5;
    const double e = ulpError(tanhActivation(s), std::tanh(static_cast<long double>(s)));
    if (e > worst) worst = e, worstAt = s;
  }
  EXPECT_LE(worst, 1.6) << "at " << worstAt;
  int decreasing = 0;
  double previous = tanhActivation(-20.0);
  for (int k = -2000000; k <= 2000000; ++k) {
    const double y = tanhActivation(k * 1e-5);
    decreasing += y < previous;
    previous = y;
  }
  // Consecutive doubles across the switch between the halves.
  double s = 0.625;
  for (int k = 0; k < 1000; ++k) s = std::nextafter(s, 0.0);
  previous = tanhActivation(s);
  for (int k = 0; k < 2000; ++k, s = std::nextafter(s, 1.0)) {
    const double y = tanhActivation(s);
    decreasing += y < previous;
    previous = y;
  }
  EXPECT_EQ(decreasing, 0);
  // Saturation: 1 exactly from about 19.06 on, and just below 1 before it.
  EXPECT_EQ(tanhActivation(19.1), 1.0);
  EXPECT_LT(tanhActivation(18.0), 1.0);
  EXPECT_EQ(tanhActivation(40.5), 1.0);
  EXPECT_EQ(tanhActivation(-700.0), -1.0);
}

// The table of the network's exp: each entry pair is 2^(j/32) to about 2^−106, checked against
// the long double exp2 (good to 2^−63, which is what the test can resolve).
TEST(NetworkActivation, ExpTableHoldsPowersOfTwo) {
  for (int j = 0; j < 32; ++j) {
    const long double exact = std::exp2(static_cast<long double>(j) / 32);
    EXPECT_EQ(network_tanh::kExpTableHi[j], static_cast<double>(exact)) << j;
    const long double sum =
        static_cast<long double>(network_tanh::kExpTableHi[j]) + network_tanh::kExpTableLo[j];
    EXPECT_LE(std::fabs(sum - exact), std::ldexp(1.0L, -61)) << j;
  }
}

TEST(NetworkActivation, TanhSpecialValues) {
  EXPECT_EQ(tanhActivation(0.0), 0.0);
  EXPECT_TRUE(std::signbit(tanhActivation(-0.0)));
  EXPECT_EQ(tanhActivation(std::numeric_limits<double>::denorm_min()),
            std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(tanhActivation(1e-200), 1e-200);
  EXPECT_EQ(tanhActivation(40.0), 1.0);
  EXPECT_EQ(tanhActivation(-1e300), -1.0);
  EXPECT_EQ(tanhActivation(std::numeric_limits<double>::infinity()), 1.0);
  EXPECT_EQ(tanhActivation(-std::numeric_limits<double>::infinity()), -1.0);
  EXPECT_TRUE(std::isnan(tanhActivation(std::numeric_limits<double>::quiet_NaN())));
  // Odd symmetry holds exactly.
  for (double s : {0.1, 0.6249, 0.625, 0.7, 3.3}) EXPECT_EQ(tanhActivation(-s), -tanhActivation(s)) << s;
}

TEST(NetworkActivation, DerivativesAndLinear) {
  const double y = tanhActivation(0.8);
  EXPECT_EQ(tanhDerivative(0.8, y), 1.0 - y * y);
  EXPECT_EQ(linearActivation(-2.5), -2.5);
  EXPECT_EQ(linearDerivative(-2.5, -2.5), 1.0);
}

TEST(NetworkActivation, CodesResolveToLinearOrTanh) {
  EXPECT_EQ(resolveFunctionCode('l'), 'l');
  EXPECT_EQ(resolveFunctionCode('x'), 'l');
  for (char c : {'t', 'q', 'L', 'T', '\0', '*'}) EXPECT_EQ(resolveFunctionCode(c), 't') << int(c);
  EXPECT_EQ(activationForCode('x'), &linearActivation);
  EXPECT_EQ(derivativeForCode('x'), &linearDerivative);
  EXPECT_EQ(activationForCode('q'), &tanhActivation);
  EXPECT_EQ(derivativeForCode('q'), &tanhDerivative);
  EXPECT_STREQ(functionNameForCode('l'), "linear");
  EXPECT_STREQ(functionNameForCode('t'), "tanh");
  // A layer's code is the first letter of the name chosen from the list.
  const NetworkDescription d;
  for (const char* name : d.functionNames) EXPECT_STREQ(functionNameForCode(name[0]), name);
}

}  // namespace
