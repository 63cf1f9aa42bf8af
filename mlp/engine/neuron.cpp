#include "mlp/engine/neuron.h"

#include <cstdint>
#include <limits>
#include <new>

#include "mlp/engine/network_errors.h"
#include "mlp/engine/network_text.h"
#include "platform/random.h"
#include "shared/binary_io.h"
#include "shared/exceptions.h"

namespace {

// The random grid: r = rand() mod 10000 gives 10000 values r·0.0001 in [0, 1).
constexpr int kRandomGridSize = 10000;
constexpr double kRandomGridStep = 0.0001;

// Above this many inputs a third-order count n(n+1)(n+2)/6 would no longer fit in 64 bits; no
// real network comes near it (it would need more than 10^18 weights).
constexpr std::uint64_t kMaxExactThirdOrderInputs = 2'000'000;

std::size_t saturate(std::uint64_t count) {
  return count > std::numeric_limits<std::size_t>::max() ? std::numeric_limits<std::size_t>::max()
                                                         : static_cast<std::size_t>(count);
}

}  // namespace

std::size_t neuronWeightCount(int order, int inputCount) {
  if (inputCount < 1 || order < 1 || order > 3) return 0;
  const std::uint64_t n = static_cast<std::uint64_t>(inputCount);
  std::uint64_t count = n + 1;
  if (order >= 2) count += n * (n + 1) / 2;  // n < 2^31, so n(n+1) < 2^62
  if (order == 3) {
    if (n > kMaxExactThirdOrderInputs) return std::numeric_limits<std::size_t>::max();
    count += n * (n + 1) * (n + 2) / 6;
  }
  return saturate(count);
}

double randomWeight(double range) {
  const int r = platform::crtRand() % kRandomGridSize;
  return 2 * range * (r * kRandomGridStep - 0.5);
}

// ---------------------------------------------------------------------------------------------
// Neuron

Neuron::Neuron(int order, int n) : inputCount(n), weights(nullptr), weightCount_(0) {
  if (n < 1) throw IllegalSizeException("Number of neuron inputs must be a positive number");
  weightCount_ = neuronWeightCount(order, n);
  try {
    storage_.reset(new double[weightCount_]());
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kNetworkOutOfMemoryText);
  }
  weights = storage_.get();
}

Neuron::~Neuron() = default;

namespace {

// Shared bodies of the virtual operations that treat all weights alike, in block order.

void readAllBinary(Neuron& neuron, std::istream& in) {
  BinaryReader reader(in);
  reader.readDoubles(neuron.AllWeights(), neuron.WeightCount(), "neuron weights");
}

void writeAllBinary(const Neuron& neuron, std::ostream& out) {
  BinaryWriter writer(out);
  writer.writeDoubles(neuron.AllWeights(), neuron.WeightCount());
}

void readAllText(Neuron& neuron, std::FILE* in) {
  double* w = neuron.AllWeights();
  for (std::size_t i = 0; i < neuron.WeightCount(); ++i) w[i] = readTextWeight(in);
}

void copyAll(Neuron& target, const Neuron& source) {
  if (source.Order() != target.Order() || source.inputCount != target.inputCount) {
    throw IllegalSizeException("Weights can be copied only between neurons of the same order and size");
  }
  const double* from = source.AllWeights();
  double* to = target.AllWeights();
  for (std::size_t i = 0; i < target.WeightCount(); ++i) to[i] = from[i];
}

// Writes count weights from values as one text line.
void writeTextLine(std::FILE* out, const double* values, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) writeTextWeight(out, values[i]);
  std::fputc('\n', out);
}

// Operations applied to every weight in the visiting order that fixes the sequence of draws.
struct SetRandom {
  double range;
  void operator()(double& w) const { w = randomWeight(range); }
};
struct AddRandom {
  double range;
  void operator()(double& w) const { w += randomWeight(range); }
};

// Order 1: weights[0..n-1], then the bias.
template <class Op>
void visitFirstOrder(double* weights, int n, Op op) {
  for (int i = 0; i < n; ++i) op(weights[i]);
  op(weights[n]);
}

// Order 2: for each i, weights[i] then pairWeights[i][0..i]; then the bias.
template <class Op>
void visitSecondOrder(double* weights, double* const* pair, int n, Op op) {
  for (int i = 0; i < n; ++i) {
    op(weights[i]);
    for (int j = 0; j <= i; ++j) op(pair[i][j]);
  }
  op(weights[n]);
}

// Order 3: for each i, weights[i], then for each j ≤ i pairWeights[i][j] followed by
// tripleWeights[i][j][0..j]; then the bias.
template <class Op>
void visitThirdOrder(double* weights, double* const* pair, double* const* const* triple, int n, Op op) {
  for (int i = 0; i < n; ++i) {
    op(weights[i]);
    for (int j = 0; j <= i; ++j) {
      op(pair[i][j]);
      for (int k = 0; k <= j; ++k) op(triple[i][j][k]);
    }
  }
  op(weights[n]);
}

// S1 = Σ weights[i]·x[i], ascending.
inline double linearSum(const double* weights, const double* x, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += weights[i] * x[i];
  return s;
}

// S2 = Σ_i Σ_{j≤i} p[i][j]·x[i]·x[j] over the contiguous pair triangle p.
inline double pairSum(const double* p, const double* x, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) {
    const double xi = x[i];
    for (int j = 0; j <= i; ++j) s += *p++ * xi * x[j];
  }
  return s;
}

// S3 = Σ_i Σ_{j≤i} Σ_{k≤j} t[i][j][k]·x[i]·x[j]·x[k] over the contiguous triple rows t.
inline double tripleSum(const double* t, const double* x, int n) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) {
    const double xi = x[i];
    for (int j = 0; j <= i; ++j) {
      const double xj = x[j];
      for (int k = 0; k <= j; ++k) s += *t++ * xi * xj * x[k];
    }
  }
  return s;
}

// Points the n rows of a pair triangle into block (row i has i+1 values).
void layOutPairRows(double** rows, double* block, int n) {
  for (int i = 0; i < n; ++i) {
    rows[i] = block;
    block += i + 1;
  }
}

template <class T>
std::unique_ptr<T[]> allocateArray(std::size_t count) {
  try {
    return std::unique_ptr<T[]>(new T[count]());
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kNetworkOutOfMemoryText);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// FirstOrderNeuron

FirstOrderNeuron::FirstOrderNeuron(int n) : Neuron(1, n) {}
FirstOrderNeuron::~FirstOrderNeuron() = default;

double FirstOrderNeuron::NetInput(const double* x) const {
  return linearSum(weights, x, inputCount) + weights[inputCount];
}

void FirstOrderNeuron::Randomize(double range) {
  visitFirstOrder(weights, inputCount, SetRandom{range});
}
void FirstOrderNeuron::AddNoise(double range) {
  visitFirstOrder(weights, inputCount, AddRandom{range});
}
void FirstOrderNeuron::ReadBinary(std::istream& in) {
  readAllBinary(*this, in);
}
void FirstOrderNeuron::ReadText(std::FILE* in) {
  readAllText(*this, in);
}
void FirstOrderNeuron::WriteBinary(std::ostream& out) const {
  writeAllBinary(*this, out);
}
void FirstOrderNeuron::WriteText(std::FILE* out) const {
  writeTextLine(out, weights, static_cast<std::size_t>(inputCount) + 1);
}
void FirstOrderNeuron::CopyWeights(const Neuron& other) {
  copyAll(*this, other);
}

// ---------------------------------------------------------------------------------------------
// SecondOrderNeuron

SecondOrderNeuron::SecondOrderNeuron(int n) : Neuron(2, n), pairWeights(nullptr) {
  pairRows_ = allocateArray<double*>(static_cast<std::size_t>(inputCount));
  layOutPairRows(pairRows_.get(), weights + inputCount + 1, inputCount);
  pairWeights = pairRows_.get();
}
SecondOrderNeuron::~SecondOrderNeuron() = default;

double SecondOrderNeuron::NetInput(const double* x) const {
  const int n = inputCount;
  const double s1 = linearSum(weights, x, n);
  const double s2 = pairSum(pairWeights[0], x, n);
  return (s1 + weights[n]) + s2 / n;
}

void SecondOrderNeuron::Randomize(double range) {
  visitSecondOrder(weights, pairWeights, inputCount, SetRandom{range});
}
void SecondOrderNeuron::AddNoise(double range) {
  visitSecondOrder(weights, pairWeights, inputCount, AddRandom{range});
}
void SecondOrderNeuron::ReadBinary(std::istream& in) {
  readAllBinary(*this, in);
}
void SecondOrderNeuron::ReadText(std::FILE* in) {
  readAllText(*this, in);
}
void SecondOrderNeuron::WriteBinary(std::ostream& out) const {
  writeAllBinary(*this, out);
}
void SecondOrderNeuron::WriteText(std::FILE* out) const {
  writeTextLine(out, weights, static_cast<std::size_t>(inputCount) + 1);
  for (int i = 0; i < inputCount; ++i) writeTextLine(out, pairWeights[i], static_cast<std::size_t>(i) + 1);
}
void SecondOrderNeuron::CopyWeights(const Neuron& other) {
  copyAll(*this, other);
}

// ---------------------------------------------------------------------------------------------
// ThirdOrderNeuron

ThirdOrderNeuron::ThirdOrderNeuron(int n) : Neuron(3, n), pairWeights(nullptr), tripleWeights(nullptr) {
  const std::size_t count = static_cast<std::size_t>(n);
  pairRows_ = allocateArray<double*>(count);
  tripleBlocks_ = allocateArray<double**>(count);
  tripleRows_ = allocateArray<double*>(count * (count + 1) / 2);

  double* pairBlock = weights + count + 1;
  layOutPairRows(pairRows_.get(), pairBlock, n);
  pairWeights = pairRows_.get();

  // Block i holds the rows (i, 0..i); row (i, j) holds j+1 values.
  double* tripleValue = pairBlock + count * (count + 1) / 2;
  double** row = tripleRows_.get();
  for (int i = 0; i < inputCount; ++i) {
    tripleBlocks_[i] = row;
    for (int j = 0; j <= i; ++j) {
      *row++ = tripleValue;
      tripleValue += j + 1;
    }
  }
  tripleWeights = tripleBlocks_.get();
}
ThirdOrderNeuron::~ThirdOrderNeuron() = default;

double ThirdOrderNeuron::NetInput(const double* x) const {
  const int n = inputCount;
  const double s1 = linearSum(weights, x, n);
  const double s2 = pairSum(pairWeights[0], x, n);
  const double s3 = tripleSum(tripleWeights[0][0], x, n);
  const double dn = n;
  return s3 / (dn * dn) + s2 / dn + (s1 + weights[n]);
}

void ThirdOrderNeuron::Randomize(double range) {
  visitThirdOrder(weights, pairWeights, tripleWeights, inputCount, SetRandom{range});
}
void ThirdOrderNeuron::AddNoise(double range) {
  visitThirdOrder(weights, pairWeights, tripleWeights, inputCount, AddRandom{range});
}
void ThirdOrderNeuron::ReadBinary(std::istream& in) {
  readAllBinary(*this, in);
}
void ThirdOrderNeuron::ReadText(std::FILE* in) {
  readAllText(*this, in);
}
void ThirdOrderNeuron::WriteBinary(std::ostream& out) const {
  writeAllBinary(*this, out);
}
void ThirdOrderNeuron::WriteText(std::FILE* out) const {
  writeTextLine(out, weights, static_cast<std::size_t>(inputCount) + 1);
  for (int i = 0; i < inputCount; ++i) writeTextLine(out, pairWeights[i], static_cast<std::size_t>(i) + 1);
  for (int i = 0; i < inputCount; ++i) {
    for (int j = 0; j <= i; ++j) writeTextLine(out, tripleWeights[i][j], static_cast<std::size_t>(j) + 1);
  }
}
void ThirdOrderNeuron::CopyWeights(const Neuron& other) {
  copyAll(*this, other);
}

// ---------------------------------------------------------------------------------------------

std::unique_ptr<Neuron> makeNeuron(int order, int inputCount) {
  if (order < 1 || order > 3) throw IllegalOrderException(kIllegalOrderText);
  if (inputCount < 1) throw IllegalSizeException("Number of neuron inputs must be a positive number");
  try {
    switch (order) {
      case 1:
        return std::make_unique<FirstOrderNeuron>(inputCount);
      case 2:
        return std::make_unique<SecondOrderNeuron>(inputCount);
      default:
        return std::make_unique<ThirdOrderNeuron>(inputCount);
    }
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kNetworkOutOfMemoryText);
  }
}
