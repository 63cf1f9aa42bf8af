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
