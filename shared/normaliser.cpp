#include "shared/normaliser.h"

#include <cmath>

#include "shared/binary_io.h"
#include "shared/exceptions.h"
#include "shared/portable_math.h"

namespace {

constexpr const char* kFormatMessage = "data format doesn't match to expected one";

// The parameters a kind fits, stores and transforms with.
struct Parameters {
  double mean;
  double variance;
  double min;
  double max;
};

// One normalisation kind: which parameters it fits and stores, its transformation and inverse.
struct KindRule {
  bool usesMoments;  // mean and variance
  bool usesRange;    // min and max
  void (*transform)(const Parameters&, const double*, double*, std::int32_t);
  double (*inverse)(const Parameters&, double);
};

bool isConstant(const Parameters& p) {
  return p.variance < Normaliser::kMinVariance;
}

void identity(const Parameters&, const double* x, double* y, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) y[i] = x[i];
}
double identityInverse(const Parameters&, double y) {
  return y;
}

// Standardised value (x − mean) / s; a constant column is only centred.
void standardise(const Parameters& p, const double* x, double* y, std::int32_t n) {
  const double scale = isConstant(p) ? 1.0 : std::sqrt(p.variance);
  for (std::int32_t i = 0; i < n; ++i) y[i] = (x[i] - p.mean) / scale;
}
double standardiseInverse(const Parameters& p, double y) {
  return isConstant(p) ? y + p.mean : y * std::sqrt(p.variance) + p.mean;
}

void tanhStandardise(const Parameters& p, const double* x, double* y, std::int32_t n) {
  const double scale = isConstant(p) ? 1.0 : std::sqrt(p.variance);
  for (std::int32_t i = 0; i < n; ++i) y[i] = portable_math::tanh((x[i] - p.mean) / scale);
}
// atanh(y) = ½·ln((1 + y) / (1 − y)), with |y| near 1 taken as ±6.103 standard deviations so
// that answers outside (−1, 1) still map to a finite value.
double tanhInverse(const Parameters& p, double y) {
  double a;
  if (y > Normaliser::kTanhSaturation)
    a = Normaliser::kSaturatedArgument;
  else if (y < -Normaliser::kTanhSaturation)
    a = -Normaliser::kSaturatedArgument;
  else
    a = 0.5 * portable_math::log((1.0 + y) / (1.0 - y));
  return isConstant(p) ? a + p.mean : a * std::sqrt(p.variance) + p.mean;
}

// Linear map of [min, max] onto [−1, +1]; a constant column maps to 0.
void toUnitRange(const Parameters& p, const double* x, double* y, std::int32_t n) {
  if (p.max == p.min) {
    for (std::int32_t i = 0; i < n; ++i) y[i] = 0.0;
    return;
  }
  const double width = p.max - p.min;
  for (std::int32_t i = 0; i < n; ++i) y[i] = 2.0 * (x[i] - p.min) / width - 1.0;
}
double fromUnitRange(const Parameters& p, double y) {
  return p.max == p.min ? p.min : p.min + (p.max - p.min) * (y + 1.0) / 2.0;
}

constexpr KindRule kNoneRule{false, false, identity, identityInverse};
constexpr KindRule kTanhRule{true, false, tanhStandardise, tanhInverse};
constexpr KindRule kMeanVarianceRule{true, false, standardise, standardiseInverse};
constexpr KindRule kMinMaxRule{false, true, toUnitRange, fromUnitRange};

// The rule of a kind that transforms; null for Uniform and unknown kinds, which become None.
const KindRule* ruleFor(NormalisationKind kind) {
  switch (kind) {
    case NormalisationKind::None:
      return &kNoneRule;
    case NormalisationKind::Tanh:
      return &kTanhRule;
    case NormalisationKind::MeanVariance:
      return &kMeanVarianceRule;
    case NormalisationKind::MinMax:
      return &kMinMaxRule;
    default:
      return nullptr;
  }
}

}  // namespace

std::string gridwiseKindName(NormalisationKind kind) {
  switch (kind) {
    case NormalisationKind::Tanh:
      return "Hyperbolic tangent noralization";
    case NormalisationKind::Uniform:
      return "Uniform normalization";
    case NormalisationKind::MeanVariance:
      return "Mean/Variance normalization";
    case NormalisationKind::MinMax:
      return "[-1, +1] normalization";
    default:
      return "No normalization";
  }
}

std::string vantorKindName(NormalisationKind kind) {
  switch (kind) {
    case NormalisationKind::Tanh:
      return "Tanh - normalization";
    case NormalisationKind::Uniform:
      return "Uniform normalization";
    case NormalisationKind::MeanVariance:
      return "Mean/Variance normalization";
    case NormalisationKind::MinMax:
      return "[-1, +1] - normalization";
    default:
      return "No normalization";
  }
}

ColumnStatistics columnStatistics(const double* values, std::int32_t n) {
  ColumnStatistics s;
  if (n <= 0) return s;
  double sum = 0.0;
  s.min = s.max = values[0];
  for (std::int32_t i = 0; i < n; ++i) {
    sum += values[i];
    if (values[i] < s.min) s.min = values[i];
    if (values[i] > s.max) s.max = values[i];
  }
  s.mean = sum / n;
  if (n < 2) return s;
  double squares = 0.0;
  for (std::int32_t i = 0; i < n; ++i) squares += (values[i] - s.mean) * (values[i] - s.mean);
  s.variance = squares / (n - 1);
  return s;
}

void Normaliser::normalise(const double* source, double* destination, std::int32_t count) {
  const KindRule* rule = ruleFor(kind_);
  if (rule == nullptr) {
    kind_ = NormalisationKind::None;
    rule = &kNoneRule;
  }
  if (rule->usesMoments || rule->usesRange) {
    const ColumnStatistics s = columnStatistics(source, count);
    if (rule->usesMoments) {
      mean_ = s.mean;
      variance_ = s.variance;
    }
    if (rule->usesRange) {
      min_ = s.min;
      max_ = s.max;
    }
  }
  apply(source, destination, count);
}

void Normaliser::apply(const double* source, double* destination, std::int32_t count) {
  const KindRule* rule = ruleFor(kind_);
  if (rule == nullptr) {
    kind_ = NormalisationKind::None;
    rule = &kNoneRule;
  }
  rule->transform(Parameters{mean_, variance_, min_, max_}, source, destination, count);
}

void Normaliser::read(std::istream& in) {
  BinaryReader reader(in);
  const auto kind = static_cast<NormalisationKind>(reader.readInt32("normaliser kind"));
  const KindRule* rule = ruleFor(kind);
  if (rule == nullptr) throw IllegalDataFormatException(kFormatMessage);
  Parameters p{0.0, 0.0, 0.0, 0.0};
  if (rule->usesMoments) {
    p.mean = reader.readDouble("normaliser mean");
    p.variance = reader.readDouble("normaliser variance");
    // No column has a negative variance; taking its root would poison every value.
    if (p.variance < 0.0) throw IllegalDataFormatException(kFormatMessage);
  }
  if (rule->usesRange) {
    p.min = reader.readDouble("normaliser min");
    p.max = reader.readDouble("normaliser max");
    if (p.min > p.max) throw IllegalDataFormatException(kFormatMessage);
  }
  kind_ = kind;
  mean_ = p.mean;
  variance_ = p.variance;
  min_ = p.min;
  max_ = p.max;
}

void Normaliser::write(std::ostream& out) const {
  // A kind that never transformed (Uniform, unknown) acts as None, and is stored as None so
  // that the record stays readable.
  const KindRule* rule = ruleFor(kind_);
  BinaryWriter writer(out);
  writer.writeInt32(static_cast<std::int32_t>(rule ? kind_ : NormalisationKind::None));
  if (rule == nullptr) return;
  if (rule->usesMoments) {
    writer.writeDouble(mean_);
    writer.writeDouble(variance_);
  }
  if (rule->usesRange) {
    writer.writeDouble(min_);
    writer.writeDouble(max_);
  }
}

double Normaliser::denormalise(double y) const {
  const KindRule* rule = ruleFor(kind_);
  return rule ? rule->inverse(Parameters{mean_, variance_, min_, max_}, y) : y;
}
