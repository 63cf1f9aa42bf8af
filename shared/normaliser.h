#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

// How one chosen column is normalised. Stored as a 32-bit signed integer; values other than the
// named ones can be read from a dialog or a caller and behave like Uniform (they become None
// when normalised or applied).
enum class NormalisationKind : std::int32_t {
  None = 0,          // values pass unchanged
  Tanh = 1,          // tanh of the standardised value
  Uniform = 2,       // no transformation of its own: normalising turns it into None
  MeanVariance = 3,  // standardised value
  MinMax = 4,        // linear map of [min, max] onto [-1, +1]
};

// Display texts of a kind in each tool's own wording. Unknown kinds show as None.
std::string gridwiseKindName(NormalisationKind kind);
std::string vantorKindName(NormalisationKind kind);

// The statistics of one column of n values: mean = Σx / n; variance = Σ(x − mean)² / (n − 1),
// 0.0 when n < 2; min and max by a linear scan. All four are 0.0 when n is 0.
struct ColumnStatistics {
  double mean = 0.0;
  double variance = 0.0;
  double min = 0.0;
  double max = 0.0;
};
ColumnStatistics columnStatistics(const double* values, std::int32_t n);

// Normalises one chosen column and takes values back to the column's scale. A new normaliser
// has kind None and zero parameters. The operations are virtual, in this slot order: normalise,
// apply, read, write, denormalise, name; the tool variants below differ in name only.
//
// Source and destination of normalise/apply may be the same array.
class Normaliser {
 public:
  // Below this variance a column counts as constant and is only centred, not scaled.
  static constexpr double kMinVariance = 1e-17;
  // |y| above this is treated as saturated tanh when denormalising kind Tanh ...
  static constexpr double kTanhSaturation = 0.99999;
  // ... and maps to ±this many standard deviations (≈ atanh(0.99999)).
  static constexpr double kSaturatedArgument = 6.103;

  Normaliser() = default;
  explicit Normaliser(NormalisationKind kind) : kind_(kind) {}
  virtual ~Normaliser() = default;
  Normaliser(const Normaliser&) = default;
  Normaliser& operator=(const Normaliser&) = default;

  // Fits the parameters of the kind to source[0..count) and writes the transformed values.
  // Uniform and unknown kinds become None.
  virtual void normalise(const double* source, double* destination, std::int32_t count);
  // Transforms with the stored parameters (no fitting); Uniform and unknown kinds become None.
  virtual void apply(const double* source, double* destination, std::int32_t count);
  // Reads the normaliser record (kind, then mean and variance for Tanh and MeanVariance, min
  // and max for MinMax). A kind other than None, Tanh, MeanVariance, MinMax, a negative
  // variance, min above max or a short record throw IllegalDataFormatException "data format
  // doesn't match to expected one"; on failure the normaliser is unchanged.
  virtual void read(std::istream& in);
  // Writes the normaliser record; the caller checks the stream afterwards. A kind that never
  // transformed (Uniform, unknown) is written as None.
  virtual void write(std::ostream& out) const;
  // The inverse transformation of one value.
  virtual double denormalise(double y) const;
  // Display text of the kind in the tool's wording.
  virtual std::string name() const = 0;

  NormalisationKind kind() const { return kind_; }
  double mean() const { return mean_; }
  double variance() const { return variance_; }
  double min() const { return min_; }
  double max() const { return max_; }

 private:
  NormalisationKind kind_ = NormalisationKind::None;
  double mean_ = 0.0;
  double variance_ = 0.0;
  double min_ = 0.0;
  double max_ = 0.0;
};

class GridwiseNormaliser : public Normaliser {
 public:
  using Normaliser::Normaliser;
  std::string name() const override { return gridwiseKindName(kind()); }
};

class VantorNormaliser : public Normaliser {
 public:
  using Normaliser::Normaliser;
  std::string name() const override { return vantorKindName(kind()); }
};
