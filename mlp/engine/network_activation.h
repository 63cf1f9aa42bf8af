#pragma once

#include <bit>
#include <cstdint>

// The two activation functions of a network layer and their derivatives. The network stores
// pointers to these functions per layer; a derivative receives both the net input s and the
// activation's value y = f(s), so tanh can use 1 − y·y without recomputing.

using ActivationFunction = double (*)(double);
using DerivativeFunction = double (*)(double net, double out);

// Code 't', shown as "tanh": f(s) = tanh(s).
double tanhActivation(double s);
// 1 − y·y.
double tanhDerivative(double s, double y);

// Code 'l', shown as "linear": f(s) = s.
double linearActivation(double s);
// 1.0.
double linearDerivative(double s, double y);

// The stored code of a layer built from a requested code: 'l' and 'x' select the linear
// function (stored as 'l'); 't' and every other code select tanh (stored as 't').
char resolveFunctionCode(char code);

// The activation and derivative of a stored code ('l' linear, anything else tanh).
ActivationFunction activationForCode(char code);
DerivativeFunction derivativeForCode(char code);

// The pieces of tanhActivation, shared with the vectorised copy of it in the Rprop plug-in, which
// must reproduce it bit for bit. Everything is plain multiplies, adds and one division, with no
// fused multiply-add, so a build for any x86-64 level rounds exactly alike.
namespace network_tanh {

// Below this magnitude tanh is taken from its odd polynomial, above it from exp: the two halves
// meet where 1 − 2t/(1+t) with t = e^(−2|s|) no longer loses accuracy to cancellation.
inline constexpr double kPolynomialLimit = 0.625;

// tanh(s) = s + s·z·P(z), z = s², on |s| < 0.625: P interpolates (tanh(s)/s − 1)/z at 11
// Chebyshev nodes of [0, 0.390625] (computed in 60-digit arithmetic).
inline constexpr double kPolynomial[] = {
    -0.3333333333333332,     0.13333333333326658,   -0.05396825396139557,   0.021869488260559115,
    -0.008863229830925709,   0.0035920589774734554, -0.001455309297534642,  0.0005874372860094381,
    -0.00023077616269519857, 7.959955735264808e-05, -1.724487449484433e-05,
};
inline constexpr int kPolynomialLast = static_cast<int>(sizeof kPolynomial / sizeof kPolynomial[0]) - 1;

// Beyond this magnitude tanh is 1 in double (from about 19.1 on), and e^(−2·40) is still a normal
// number, so clamping here keeps the exponent arithmetic below in range for every input.
inline constexpr double kSaturation = 40.0;

// e^x = 2^(n/32) · e^r with n = round(x·32/ln 2), r = x − n·ln 2/32, |r| ≤ ln 2/64. The step ln 2/32
// is split Cody–Waite style: kExpStepHi keeps 32 significant bits, so n·kExpStepHi is exact for
// every |n| < 2^21, and kExpStepLo is the rest.
inline constexpr int kExpTableBits = 5;
inline constexpr double kExpInverseStep = 0x1.71547652b82fep+5;  // 32/ln 2
inline constexpr double kExpStepHi = 0x1.62e42fee00000p-6;
inline constexpr double kExpStepLo = 0x1.a39ef35793c76p-38;
// Adding 1.5·2^52 rounds to an integer and leaves it, plus 2^51, in the low bits of the sum.
inline constexpr double kExpShifter = 0x1.8p52;
// 2^(j/32) = kExpTableHi[j] + kExpTableLo[j], each the correctly rounded double of the exact value
// and of the remainder (computed in 60-digit decimal arithmetic).
// clang-format off
inline constexpr double kExpTableHi[] = {
      0x1.0000000000000p+0,   0x1.059b0d3158574p+0,   0x1.0b5586cf9890fp+0,   0x1.11301d0125b51p+0,
      0x1.172b83c7d517bp+0,   0x1.1d4873168b9aap+0,   0x1.2387a6e756238p+0,   0x1.29e9df51fdee1p+0,
      0x1.306fe0a31b715p+0,   0x1.371a7373aa9cbp+0,   0x1.3dea64c123422p+0,   0x1.44e086061892dp+0,
      0x1.4bfdad5362a27p+0,   0x1.5342b569d4f82p+0,   0x1.5ab07dd485429p+0,   0x1.6247eb03a5585p+0,
      0x1.6a09e667f3bcdp+0,   0x1.71f75e8ec5f74p+0,   0x1.7a11473eb0187p+0,   0x1.82589994cce13p+0,
      0x1.8ace5422aa0dbp+0,   0x1.93737b0cdc5e5p+0,   0x1.9c49182a3f090p+0,   0x1.a5503b23e255dp+0,
      0x1.ae89f995ad3adp+0,   0x1.b7f76f2fb5e47p+0,   0x1.c199bdd85529cp+0,   0x1.cb720dcef9069p+0,
      0x1.d5818dcfba487p+0,   0x1.dfc97337b9b5fp+0,   0x1.ea4afa2a490dap+0,   0x1.f50765b6e4540p+0,
};
inline constexpr double kExpTableLo[] = {
                    0x0p+0,  0x1.d73e2a475b465p-55,  0x1.8a62e4adc610bp-54, -0x1.6c51039449b3ap-54,
    -0x1.19041b9d78a76p-55,  0x1.e016e00a2643cp-54,  0x1.9b07eb6c70573p-54,  0x1.612e8afad1255p-55,
     0x1.6f46ad23182e4p-55, -0x1.63aeabf42eae2p-54,  0x1.ada0911f09ebcp-55,  0x1.89b7a04ef80d0p-59,
     0x1.d4397afec42e2p-56, -0x1.07abe1db13cadp-55,  0x1.6324c054647adp-54, -0x1.383c17e40b497p-54,
    -0x1.bdd3413b26456p-54, -0x1.16e4786887a99p-55, -0x1.41577ee04992fp-55, -0x1.d4c1dd41532d8p-54,
     0x1.6e9f156864b27p-54, -0x1.75fc781b57ebcp-57,  0x1.c7c46b071f2bep-56, -0x1.d2f6edb8d41e1p-54,
     0x1.7a1cd345dcc81p-54, -0x1.5584f7e54ac3bp-56,  0x1.11065895048ddp-55,  0x1.503cbd1e949dbp-56,
     0x1.2ed02d75b3707p-55, -0x1.1a5cd4f184b5cp-54, -0x1.e9c23179c2893p-54,  0x1.9d3e12dd8a18bp-54,
};
// clang-format on
// e^r − 1 = r + r²·(1/2 + r/6 + r²/24 + r³/120 + r⁴/720): the Taylor series, whose first omitted
// term is below 2^−58 on |r| ≤ ln 2/64.
inline constexpr double kExpSeries[] = {1.0 / 2, 1.0 / 6, 1.0 / 24, 1.0 / 120, 1.0 / 720};

template <class Real>
[[gnu::always_inline]] inline Real broadcast(double v) {
  return Real{} + v;
}

// tanh(a) for a = |s| at or above kPolynomialLimit (or NaN, which propagates) as 1 − 2t/(1+t),
// t = e^(−2a). Real is double or a GCC vector of doubles, Bits the unsigned integer (vector) of
// the same size, and lookup(table, index) reads table[index] lane by lane.
template <class Real, class Bits, class Lookup>
[[gnu::always_inline]] inline Real tanhOfMagnitude(Real a, Lookup lookup) {
  a = a > kSaturation ? broadcast<Real>(kSaturation) : a;  // false for NaN: it stays NaN
  const Real x = a * -2.0;
  const Real shifted = x * kExpInverseStep + kExpShifter;
  const Real n = shifted - kExpShifter;
  const Real r = (x - n * kExpStepHi) - n * kExpStepLo;
  // The low bits of the sum are 2^51 + n; 2^51 is a multiple of 32, so they give n mod 32 and,
  // shifted, 2^46 + floor(n/32), whose high part leaves the word when moved to the exponent field.
  const Bits nBits = std::bit_cast<Bits>(shifted);
  const Bits index = nBits & ((1u << kExpTableBits) - 1);
  const Real scale = std::bit_cast<Real>(((nBits >> kExpTableBits) + 1023u) << 52);
  const Real q =
      kExpSeries[0] + r * (kExpSeries[1] + r * (kExpSeries[2] + r * (kExpSeries[3] + r * kExpSeries[4])));
  const Real p = r + (r * r) * q;
  const Real hi = lookup(kExpTableHi, index);
  const Real t = (hi + (lookup(kExpTableLo, index) + hi * p)) * scale;
  return 1.0 - 2.0 * t / (1.0 + t);
}

}  // namespace network_tanh
