#include "mlp/engine/perceptron.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "mlp/engine/network_errors.h"
#include "shared/binary_io.h"
#include "shared/exceptions.h"

namespace {

// Both markers of a network block.
constexpr char kBlockMarker = '*';

// Bytes per layer in the block header: neuron count, order (int32 each) and the code byte.
constexpr std::uint64_t kHeaderBytesPerLayer = 4 + 4 + 1;
constexpr std::uint64_t kBytesPerWeight = 8;

// When a stream cannot tell how much it holds, no block may claim more weights than this
// (2^27 doubles, 1 GiB): far beyond any network the constructor can build in reasonable time,
// and small enough that a corrupted count cannot exhaust memory.
constexpr std::uint64_t kMaxWeightsOfUnsizedStream = std::uint64_t{1} << 27;

// Every layer has at least one neuron with at least one input, so at least two weights.
constexpr std::uint64_t kMinWeightsPerLayer = 2;
// Per-layer arrays reserved before the layers are read; more grow as they are read.
constexpr std::size_t kLayersReservedUpFront = 64;

constexpr std::uint64_t kUnknownSize = std::numeric_limits<std::uint64_t>::max();

std::size_t saturatingAdd(std::size_t a, std::size_t b) {
  return a > std::numeric_limits<std::size_t>::max() - b ? std::numeric_limits<std::size_t>::max() : a + b;
}

// True when count doubles would need more than the machine's physical memory (or cannot even be
// counted). Such a request could only fail, or drive the system into swapping for nothing.
bool exceedsPhysicalMemory(std::size_t count) {
  if (count > std::numeric_limits<std::size_t>::max() / kBytesPerWeight) return true;
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return false;  // unknown: let the allocation decide
  return count * kBytesPerWeight / static_cast<std::uint64_t>(pageSize) > static_cast<std::uint64_t>(pages);
}

void requirePositive(int value, const char* message) {
  if (value < 1) throw IllegalSizeException(message);
}

constexpr char kInputsText[] = "Number of inputs must be a positive number";
constexpr char kLayersText[] = "Number of layers must be a positive number";
constexpr char kNeuronsText[] = "Number of neurons in the layer must be a positive number";
constexpr char kTooManyLayersText[] = "A network description holds at most 5 layers";
constexpr char kTooLargeText[] = "The network is too large";

}  // namespace

// The structure of a network before anything of it is allocated: checked, codes resolved.
struct Perceptron::Layout {
  int inputs = 0;
  std::vector<int> counts;
  std::vector<int> orders;
  std::vector<char> codes;

  int layerCount() const { return static_cast<int>(counts.size()); }
  int inputsOf(int layer) const { return layer == 0 ? inputs : counts[static_cast<std::size_t>(layer) - 1]; }

  // Checks sizes and orders, layer by layer, in the order the fields are stored.
  void check() const {
    requirePositive(inputs, kInputsText);
    requirePositive(layerCount(), kLayersText);
    for (int count : counts) requirePositive(count, kNeuronsText);
    for (int order : orders) {
      if (order < 1 || order > 3) throw IllegalOrderException(kIllegalOrderText);
    }
  }

  std::size_t weightCount() const {
    std::size_t total = 0;
    for (int l = 0; l < layerCount(); ++l) {
      const std::size_t perNeuron = neuronWeightCount(orders[static_cast<std::size_t>(l)], inputsOf(l));
      const std::size_t count = static_cast<std::size_t>(counts[static_cast<std::size_t>(l)]);
      const std::size_t layer = perNeuron > std::numeric_limits<std::size_t>::max() / count
                                    ? std::numeric_limits<std::size_t>::max()
                                    : perNeuron * count;
      total = saturatingAdd(total, layer);
    }
    return total;
  }
};

Perceptron::Perceptron(int inputs_, int layerCount_, const int* neuronCounts_, const int* orders_,
                       const char* functionCodes_) {
  requirePositive(inputs_, kInputsText);
  requirePositive(layerCount_, kLayersText);
  Layout layout;
  try {
    layout.inputs = inputs_;
    layout.counts.assign(neuronCounts_, neuronCounts_ + layerCount_);
    layout.orders.assign(orders_, orders_ + layerCount_);
    layout.codes.resize(static_cast<std::size_t>(layerCount_));
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kNetworkOutOfMemoryText);
  }
  for (int l = 0; l < layerCount_; ++l)
    layout.codes[static_cast<std::size_t>(l)] = resolveFunctionCode(functionCodes_[l]);
  layout.check();
  // Weights that need more memory than the machine has are refused before trying.
  if (exceedsPhysicalMemory(layout.weightCount())) throw OutOfMemoryException(kNetworkOutOfMemoryText);
  build(layout);
  Randomize(1.0);
}

namespace {

const NetworkDescription& checkedDescription(const NetworkDescription& description) {
  if (description.layerCount > NetworkDescription::kMaxLayers) throw IllegalSizeException(kTooManyLayersText);
  return description;
}

}  // namespace

Perceptron::Perceptron(const NetworkDescription& description)
    : Perceptron(checkedDescription(description).inputs, description.layerCount, description.neuronCounts,
                 description.orders, description.functionCodes) {}

Perceptron::Perceptron(std::istream& in) {
  BinaryReader reader(in);
  if (reader.readChar("opening marker") != kBlockMarker) throw IllegalDataFormatException(kDataFormatText);

  Layout layout;
  layout.inputs = reader.readInt32("inputs");
  requirePositive(layout.inputs, kInputsText);
  const int count = reader.readInt32("layer count");
  requirePositive(count, kLayersText);

  // The per-layer fields and the closing marker must be there before their arrays grow. On a
  // stream that cannot tell its size the arrays grow only with what is actually read.
  const std::uint64_t remaining = reader.bytesRemaining().value_or(kUnknownSize);
  if (remaining == kUnknownSize) {
    if (static_cast<std::uint64_t>(count) > kMaxWeightsOfUnsizedStream / kMinWeightsPerLayer) {
      throw IllegalSizeException(kTooLargeText);
    }
  } else if (kHeaderBytesPerLayer * static_cast<std::uint64_t>(count) + 1 > remaining) {
    throw IllegalDataFormatException(kDataFormatText);
  }
  try {
    const std::size_t reserved =
        std::min<std::size_t>(static_cast<std::size_t>(count), kLayersReservedUpFront);
    layout.counts.reserve(reserved);
    layout.orders.reserve(reserved);
    layout.codes.reserve(reserved);
    for (int l = 0; l < count; ++l) {
      layout.counts.push_back(reader.readInt32("neuron count"));
      requirePositive(layout.counts.back(), kNeuronsText);
    }
    for (int l = 0; l < count; ++l) {
      layout.orders.push_back(reader.readInt32("order"));
      if (layout.orders.back() < 1 || layout.orders.back() > 3)
        throw IllegalOrderException(kIllegalOrderText);
    }
    for (int l = 0; l < count; ++l)
      layout.codes.push_back(resolveFunctionCode(reader.readChar("function code")));
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kNetworkOutOfMemoryText);
  }
  layout.check();

  // Every weight and the closing marker must still be in the stream; a block that claims more
  // ends early (or its counts are corrupt), and nothing is allocated for it.
  const std::size_t weights = layout.weightCount();
  if (remaining == kUnknownSize) {
    if (weights > kMaxWeightsOfUnsizedStream) throw IllegalSizeException(kTooLargeText);
  } else {
    const std::uint64_t afterHeader = remaining - kHeaderBytesPerLayer * static_cast<std::uint64_t>(count);
    if (weights > (afterHeader - 1) / kBytesPerWeight) throw IllegalDataFormatException(kDataFormatText);
  }

  build(layout);
  for (int l = 0; l < layerCount; ++l) {
    for (int j = 0; j < neuronCounts[l]; ++j) neurons[l][j]->ReadBinary(in);
  }
  if (reader.readChar("closing marker") != kBlockMarker) throw IllegalDataFormatException(kDataFormatText);
}

Perceptron::~Perceptron() = default;

void Perceptron::build(const Layout& layout) {
  try {
    const std::size_t count = layout.counts.size();
    codeStorage_ = layout.codes;
    countStorage_ = layout.counts;
    activationStorage_.resize(count);
    derivativeStorage_.resize(count);
    for (std::size_t l = 0; l < count; ++l) {
      activationStorage_[l] = activationForCode(codeStorage_[l]);
      derivativeStorage_[l] = derivativeForCode(codeStorage_[l]);
    }

    std::size_t totalNeurons = 0;
    for (int c : layout.counts) totalNeurons += static_cast<std::size_t>(c);

    // One contiguous scratch block: all layer outputs, then all layer derivatives.
    scratch_.assign(2 * totalNeurons, 0.0);
    outputRows_.resize(count);
    derivativeRows_.resize(count);
    neuronStorage_.reserve(totalNeurons);
    neuronPointers_.reserve(totalNeurons);
    layerNeurons_.resize(count);

    std::size_t offset = 0;
    for (std::size_t l = 0; l < count; ++l) {
      outputRows_[l] = scratch_.data() + offset;
      derivativeRows_[l] = scratch_.data() + totalNeurons + offset;
      const int neuronInputs = layout.inputsOf(static_cast<int>(l));
      for (int j = 0; j < layout.counts[l]; ++j) {
        neuronStorage_.push_back(makeNeuron(layout.orders[l], neuronInputs));
        neuronPointers_.push_back(neuronStorage_.back().get());
      }
      layerNeurons_[l] = neuronPointers_.data() + offset;
      offset += static_cast<std::size_t>(layout.counts[l]);
    }
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kNetworkOutOfMemoryText);
  }

  functionCodes = codeStorage_.data();
  inputs = layout.inputs;
  layerCount = layout.layerCount();
  neuronCounts = countStorage_.data();
  outputs = neuronCounts[layerCount - 1];
  activations = activationStorage_.data();
  derivatives = derivativeStorage_.data();
  layerOutputs = outputRows_.data();
  layerDerivatives = derivativeRows_.data();
  neurons = layerNeurons_.data();
}

void Perceptron::WriteBlock(std::ostream& out) const {
  BinaryWriter writer(out);
  writer.writeChar(kBlockMarker);
  writer.writeInt32(inputs);
  writer.writeInt32(layerCount);
  for (int l = 0; l < layerCount; ++l) writer.writeInt32(neuronCounts[l]);
  for (int l = 0; l < layerCount; ++l) writer.writeInt32(neurons[l][0]->Order());
  for (int l = 0; l < layerCount; ++l) writer.writeChar(activations[l] == &linearActivation ? 'l' : 't');
  for (int l = 0; l < layerCount; ++l) {
    for (int j = 0; j < neuronCounts[l]; ++j) neurons[l][j]->WriteBinary(out);
  }
  writer.writeChar(kBlockMarker);
}

void Perceptron::Randomize(double range) {
  for (int l = 0; l < layerCount; ++l) {
    for (int j = 0; j < neuronCounts[l]; ++j) neurons[l][j]->Randomize(range);
  }
}

void Perceptron::AddNoise(double range) {
  for (int l = 0; l < layerCount; ++l) {
    for (int j = 0; j < neuronCounts[l]; ++j) neurons[l][j]->AddNoise(range);
  }
}

namespace {

// Neurons of a first-order layer evaluated together this many at a time.
constexpr int kNeuronsPerGroup = 4;

// Net inputs of every neuron of a layer into net[]. A first-order layer is evaluated four
// neurons at a time: each neuron keeps its own sum in ascending input order, so every result is
// bit for bit FirstOrderNeuron::NetInput, but the four independent sums overlap in the processor
// instead of waiting on one another. Higher orders spend their time in the pair and triple sums
// and go through the neuron.
void layerNetInputs(Neuron* const* layer, int count, const double* in, double* net) {
  int j = 0;
  if (layer[0]->Order() == 1) {
    const int n = layer[0]->inputCount;
    for (; j + kNeuronsPerGroup <= count; j += kNeuronsPerGroup) {
      const double* w0 = layer[j]->weights;
      const double* w1 = layer[j + 1]->weights;
      const double* w2 = layer[j + 2]->weights;
      const double* w3 = layer[j + 3]->weights;
      double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
      for (int i = 0; i < n; ++i) {
        const double x = in[i];
        s0 += w0[i] * x;
        s1 += w1[i] * x;
        s2 += w2[i] * x;
        s3 += w3[i] * x;
      }
      net[j] = s0 + w0[n];
      net[j + 1] = s1 + w1[n];
      net[j + 2] = s2 + w2[n];
      net[j + 3] = s3 + w3[n];
    }
  }
  for (; j < count; ++j) net[j] = layer[j]->NetInput(in);
}

}  // namespace

void Perceptron::Answer(const double* question, int questionSize, double* answer, int answerSize) {
  if (questionSize != inputs || answerSize != outputs) throw IllegalSizeException(kAnswerSizeMismatchText);
  const double* in = question;
  const int last = layerCount - 1;
  for (int l = 0; l <= last; ++l) {
    double* out = l == last ? answer : layerOutputs[l];
    const ActivationFunction f = activations[l];
    const int count = neuronCounts[l];
    layerNetInputs(neurons[l], count, in, out);
    for (int j = 0; j < count; ++j) out[j] = f(out[j]);
    in = out;
  }
}

void Perceptron::AnswerWithDerivatives(const double* question, int questionSize, double* lastOutputs,
                                       double* lastDerivatives, int answerSize) {
  if (questionSize != inputs || answerSize != outputs) throw IllegalSizeException(kAnswerSizeMismatchText);
  const double* in = question;
  const int last = layerCount - 1;
  for (int l = 0; l <= last; ++l) {
    double* out = l == last ? lastOutputs : layerOutputs[l];
    double* slope = l == last ? lastDerivatives : layerDerivatives[l];
    const ActivationFunction f = activations[l];
    const DerivativeFunction df = derivatives[l];
    const int count = neuronCounts[l];
    layerNetInputs(neurons[l], count, in, out);
    for (int j = 0; j < count; ++j) {
      const double s = out[j];
      const double y = f(s);
      out[j] = y;
      slope[j] = df(s, y);
    }
    in = out;
  }
}

double Perceptron::RmsError(double* const* questions, int questionSize, double* const* targets,
                            int answerSize, int exampleCount) {
  if (questionSize != inputs || answerSize != outputs) throw IllegalSizeException(kAnswerSizeMismatchText);
  if (exampleCount < 1) return 0.0;
  std::vector<double> answer;
  try {
    answer.resize(static_cast<std::size_t>(answerSize));
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kNetworkOutOfMemoryText);
  }
  double sum = 0.0;
  for (int e = 0; e < exampleCount; ++e) {
    Answer(questions[e], questionSize, answer.data(), answerSize);
    const double* target = targets[e];
    for (int k = 0; k < answerSize; ++k) {
      const double d = answer[static_cast<std::size_t>(k)] - target[k];
      sum += d * d;
    }
  }
  return std::sqrt(sum / (static_cast<double>(answerSize) * exampleCount));
}

bool Perceptron::Describe(NetworkDescription& description) const {
  if (layerCount > NetworkDescription::kMaxLayers) return false;
  description.inputs = inputs;
  description.outputs = outputs;
  description.layerCount = layerCount;
  for (int l = 0; l < layerCount; ++l) {
    description.neuronCounts[l] = neuronCounts[l];
    description.orders[l] = neurons[l][0]->Order();
    description.functionCodes[l] = functionCodes[l];
  }
  return true;
}

std::size_t Perceptron::WeightCount() const {
  std::size_t total = 0;
  for (const auto& neuron : neuronStorage_) total += neuron->WeightCount();
  return total;
}
