#pragma once

#include <cstddef>
#include <cstdio>
#include <istream>
#include <memory>
#include <ostream>

// The neurons of a multilayer perceptron. These declarations are compiled into VANTOR3 and into
// every training plug-in, which reads the fields and calls the virtual operations of the host's
// neurons directly: the order of the fields and of the virtual operations is part of the
// contract between host and plug-ins. Add nothing virtual, and insert no field before the ones
// listed here.
//
// Storage: every neuron keeps all of its weights in one contiguous array, in the order of the
// network block — the n linear weights, the bias, the pair triangle row by row, then the triple
// rows (see AllWeights()). The public arrays point into that block; a plug-in may write weights
// in place through them but never reallocates them.

// Number of weights of a neuron of the given order (1..3) with n inputs:
// n+1, + n(n+1)/2 for order 2, + n(n+1)(n+2)/6 for order 3. Saturates at SIZE_MAX for counts too
// large to be real, so callers can compare it with what a file can hold without overflowing.
std::size_t neuronWeightCount(int order, int inputCount);

// One random weight value 2·range·(r·0.0001 − 0.5), r = crtRand() mod 10000: a grid of 10000
// equally spaced values from −range up to, not including, +range. Draws exactly one value from
// platform::crtRand().
double randomWeight(double range);

class Neuron {
 public:
  // n, the number of inputs.
  int inputCount;
  // n+1 values: weights[0..n-1] multiply the inputs, weights[n] is the bias.
  double* weights;

  // --- virtual operations, in slot order (part of the plug-in contract) ---

  // Slot 0: net input for the input vector x of length n. Allocates nothing.
  virtual double NetInput(const double* x) const = 0;
  // Slot 1: every weight := randomWeight(range), in the order's visiting order.
  virtual void Randomize(double range) = 0;
  // Slot 2: every weight += randomWeight(range), in the same order as Randomize.
  virtual void AddNoise(double range) = 0;
  // Slot 3: 1, 2 or 3.
  virtual int Order() const = 0;
  // Slot 4: reads all weights from a network block; a short stream throws
  // IllegalDataFormatException "data format doesn't match to expected one".
  virtual void ReadBinary(std::istream& in) = 0;
  // Slot 5: reads all weights as white-space-separated decimal numbers, in block order; a missing
  // or malformed number throws IllegalDataFormatException.
  virtual void ReadText(std::FILE* in) = 0;
  // Slot 6: writes all weights into a network block (little-endian doubles). Failures are left
  // in the stream's state for the caller to check.
  virtual void WriteBinary(std::ostream& out) const = 0;
  // Slot 7: writes all weights as text, "% 8.5f " each; the n+1 linear weights form one line,
  // every pair row and every triple row one further line.
  virtual void WriteText(std::FILE* out) const = 0;
  // Slot 8: frees the weight arrays.
  virtual ~Neuron();
  // Slot 9: copies all weights from a neuron of the same order and input count; anything else
  // throws IllegalSizeException and changes nothing.
  virtual void CopyWeights(const Neuron& other) = 0;

  // --- non-virtual helpers (no vtable slot) ---

  // All weights in block order, contiguous; WeightCount() values.
  double* AllWeights() { return storage_.get(); }
  const double* AllWeights() const { return storage_.get(); }
  std::size_t WeightCount() const { return weightCount_; }

  Neuron(const Neuron&) = delete;
  Neuron& operator=(const Neuron&) = delete;

 protected:
  // Allocates neuronWeightCount(order, inputCount) zeroed weights. inputCount must be ≥ 1
  // (IllegalSizeException otherwise); allocation failure throws OutOfMemoryException
  // "Out of Memory!".
  Neuron(int order, int inputCount);

 private:
  std::size_t weightCount_;
  std::unique_ptr<double[]> storage_;
};

// Order 1: net input Σ weights[i]·x[i] + weights[n].
class FirstOrderNeuron final : public Neuron {
 public:
  explicit FirstOrderNeuron(int inputCount);

  double NetInput(const double* x) const override;
  void Randomize(double range) override;
  void AddNoise(double range) override;
  int Order() const override { return 1; }
  void ReadBinary(std::istream& in) override;
  void ReadText(std::FILE* in) override;
  void WriteBinary(std::ostream& out) const override;
  void WriteText(std::FILE* out) const override;
  ~FirstOrderNeuron() override;
  void CopyWeights(const Neuron& other) override;
};

// Order 2: adds the pair triangle. Net input (S1 + bias) + S2 / n with
// S2 = Σ_i Σ_{j≤i} pairWeights[i][j]·x[i]·x[j].
class SecondOrderNeuron final : public Neuron {
 public:
  // n rows; row i holds i+1 values pairWeights[i][0..i]. The rows follow each other in one
  // contiguous block: pairWeights[0] is the start of all n(n+1)/2 pair weights.
  double** pairWeights;

  explicit SecondOrderNeuron(int inputCount);

  double NetInput(const double* x) const override;
  void Randomize(double range) override;
  void AddNoise(double range) override;
  int Order() const override { return 2; }
  void ReadBinary(std::istream& in) override;
  void ReadText(std::FILE* in) override;
  void WriteBinary(std::ostream& out) const override;
  void WriteText(std::FILE* out) const override;
  ~SecondOrderNeuron() override;
  void CopyWeights(const Neuron& other) override;

 private:
  std::unique_ptr<double*[]> pairRows_;
};

// Order 3: adds the pair triangle and the triple tetrahedron. Net input
// S3 / (n·n) + S2 / n + (S1 + bias) with S3 = Σ_i Σ_{j≤i} Σ_{k≤j} tripleWeights[i][j][k]·x[i]·x[j]·x[k].
class ThirdOrderNeuron final : public Neuron {
 public:
  // As in SecondOrderNeuron.
  double** pairWeights;
  // For each i < n, i+1 rows; row tripleWeights[i][j] holds j+1 values tripleWeights[i][j][0..j].
  // All rows follow each other (i ascending, then j) in one contiguous block:
  // tripleWeights[0][0] is the start of all n(n+1)(n+2)/6 triple weights.
  double*** tripleWeights;

  explicit ThirdOrderNeuron(int inputCount);

  double NetInput(const double* x) const override;
  void Randomize(double range) override;
  void AddNoise(double range) override;
  int Order() const override { return 3; }
  void ReadBinary(std::istream& in) override;
  void ReadText(std::FILE* in) override;
  void WriteBinary(std::ostream& out) const override;
  void WriteText(std::FILE* out) const override;
  ~ThirdOrderNeuron() override;
  void CopyWeights(const Neuron& other) override;

 private:
  std::unique_ptr<double*[]> pairRows_;
  std::unique_ptr<double**[]> tripleBlocks_;
  std::unique_ptr<double*[]> tripleRows_;
};

// Creates a neuron of order 1, 2 or 3 with inputCount inputs (weights zero). Any other order
// throws IllegalOrderException; inputCount < 1 throws IllegalSizeException; allocation failure
// throws OutOfMemoryException "Out of Memory!".
std::unique_ptr<Neuron> makeNeuron(int order, int inputCount);
