#include "mlp/significance/box_counter.h"

#include <utility>

#include "mlp/significance/input_significance.h"
#include "mlp/significance/output_predictability.h"
#include "platform/prompter.h"
#include "shared/exceptions.h"

namespace significance {

namespace {

constexpr const char* kZeroVarianceCaption = "Error";
constexpr std::int32_t kUpperRow = 0;
constexpr std::int32_t kLowerRow = 1;

// Index of the first column of m whose standard deviation is exactly 0, or -1.
std::int32_t firstConstant(const RealMatrix& m) {
  const RealMatrix spread = ColStd(m);
  for (std::int32_t c = 0; c < m.Cols(); ++c) {
    if (spread(0, c) == 0.0) return c;
  }
  return -1;
}

RealMatrix checkedMatrix(const double* values, std::int32_t rows, std::int32_t cols) {
  if (values == nullptr) throw IllegalMatrixSizeException("BoxCounter: no values given");
  return RealMatrix(rows, cols, values);
}

}  // namespace

std::string zeroVarianceMessage(const std::string& columnName) {
  return "Column '" + columnName +
         "' has zero variance!\nYou should remove it from the data set if you want to perform boxcounting!";
}

BoxCounter::BoxCounter(RealMatrix inputs, RealMatrix outputs, std::vector<std::string> inputNames,
                       std::vector<std::string> outputNames)
    : inputs_(std::move(inputs)),
      outputs_(std::move(outputs)),
      inputNames_(std::move(inputNames)),
      outputNames_(std::move(outputNames)) {
  if (inputs_.Rows() != outputs_.Rows()) {
    throw IllegalMatrixSizeException("BoxCounter: inputs and outputs differ in row count");
  }
  if (static_cast<std::size_t>(inputs_.Cols()) != inputNames_.size() ||
      static_cast<std::size_t>(outputs_.Cols()) != outputNames_.size()) {
    throw IllegalMatrixSizeException("BoxCounter: one name per input and per output column is needed");
  }
  significance_ = Zeros(outputs_.Cols(), inputs_.Cols());
  predictability_ = Zeros(2, outputs_.Cols());
}

BoxCounter::BoxCounter(const double* inputs, const double* outputs, std::vector<std::string> inputNames,
                       std::vector<std::string> outputNames, std::int32_t n, std::int32_t p, std::int32_t q)
    : BoxCounter(checkedMatrix(inputs, n, p), checkedMatrix(outputs, n, q), std::move(inputNames),
                 std::move(outputNames)) {}

std::optional<std::string> BoxCounter::firstConstantColumn() const {
  if (const std::int32_t i = firstConstant(inputs_); i >= 0) return inputNames_[i];
  if (const std::int32_t j = firstConstant(outputs_); j >= 0) return outputNames_[j];
  return std::nullopt;
}

bool BoxCounter::run(ProgressSink& progress) {
  if (const std::optional<std::string> constant = firstConstantColumn()) {
    platform::prompter().messageBox(zeroVarianceMessage(*constant), kZeroVarianceCaption, platform::MB_OK);
    return false;
  }
  RealMatrix predictability = Zeros(2, outputs_.Cols());
  for (std::int32_t j = 0; j < outputs_.Cols(); ++j) {
    const RealMatrix y = outputs_(R(-1, -1), R(j));
    const Predictability result = OutputPredictability(inputs_, y, j, progress, options_);
    predictability(kUpperRow, j) = result.upper;
    predictability(kLowerRow, j) = result.lower;
  }
  RealMatrix significance = InputSignificance(inputs_, outputs_, progress, options_);
  // Publish only complete results.
  predictability_ = predictability;
  significance_ = significance;
  return true;
}

double BoxCounter::predictabilityMidpoint(std::int32_t j) const {
  return (predictability_(kUpperRow, j) + predictability_(kLowerRow, j)) / 2.0;
}

double BoxCounter::predictabilityHalfWidth(std::int32_t j) const {
  return (predictability_(kUpperRow, j) - predictability_(kLowerRow, j)) / 2.0;
}

}  // namespace significance
