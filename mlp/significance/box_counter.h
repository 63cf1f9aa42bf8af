#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mlp/significance/boxcount_options.h"
#include "shared/progress.h"
#include "shared/real_matrix.h"

namespace significance {

// One run of the boxcounting command: the normalised inputs and outputs of every row of the
// data set (training and test rows alike; row order does not matter), their names, and once
// run() has succeeded the predictability of every output and the significance of every input
// for every output. Owned by the command; the results sheet only reads it.
class BoxCounter {
 public:
  // inputs n × p and outputs n × q, one name per column. Throws IllegalMatrixSizeException when
  // the row counts or the name counts do not fit the matrices.
  BoxCounter(RealMatrix inputs, RealMatrix outputs, std::vector<std::string> inputNames,
             std::vector<std::string> outputNames);
  // The same from row-major buffers of n × p and n × q doubles (n, p, q positive:
  // IllegalMatrixSizeException otherwise).
  BoxCounter(const double* inputs, const double* outputs, std::vector<std::string> inputNames,
             std::vector<std::string> outputNames, std::int32_t n, std::int32_t p, std::int32_t q);

  void setOptions(const BoxCountOptions& options) { options_ = options; }

  // Refuses a constant column with the message box "Column '<name>' has zero variance!…"
  // (caption "Error", inputs first in input order, then outputs) and returns false without
  // computing anything. Otherwise fills predictability (every output in order, then
  // significance) through `progress` and returns true. OutOfMemoryException and the matrix
  // exceptions pass through to the caller.
  bool run(ProgressSink& progress);

  // The name of the first column whose standard deviation is exactly 0, inputs before outputs.
  std::optional<std::string> firstConstantColumn() const;

  const RealMatrix& inputs() const { return inputs_; }
  const RealMatrix& outputs() const { return outputs_; }
  const std::vector<std::string>& inputNames() const { return inputNames_; }
  const std::vector<std::string>& outputNames() const { return outputNames_; }
  std::int32_t inputCount() const { return inputs_.Cols(); }
  std::int32_t outputCount() const { return outputs_.Cols(); }

  // q × p: element (j, i) is the significance of input i for output j (0 upwards, about 0 … 1).
  const RealMatrix& significance() const { return significance_; }
  // 2 × q: column j holds the upper (row 0) and lower (row 1) predictability of output j, bits.
  const RealMatrix& predictability() const { return predictability_; }
  // The figures the results sheet shows for output j: (upper + lower) / 2 and (upper − lower) / 2.
  double predictabilityMidpoint(std::int32_t j) const;
  double predictabilityHalfWidth(std::int32_t j) const;

 private:
  RealMatrix inputs_;
  RealMatrix outputs_;
  std::vector<std::string> inputNames_;
  std::vector<std::string> outputNames_;
  RealMatrix significance_;
  RealMatrix predictability_;
  BoxCountOptions options_;
};

// The text of the zero-variance refusal for a column.
std::string zeroVarianceMessage(const std::string& columnName);

}  // namespace significance
