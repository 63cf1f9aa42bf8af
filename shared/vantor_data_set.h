#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "shared/normaliser.h"
#include "shared/raw_table.h"
#include "shared/test_set.h"

// Vantor's data set: raw columns chosen as inputs and outputs, one normaliser each, the
// normalised values (R × I and R × O, row-major, one block each), and the training order.
// Position p of the order refers to example (row) r when questions()[p] points at input row r
// and answers()[p] at output row r; then rowPositions()[r] == p. Training uses the first R − T
// positions, testing the last T (see orderRows). It refers to the raw table without owning it.
//
// Allocation failures throw OutOfMemoryException "Out of Memory!". When setInputs/setOutputs
// fails the side being built is left empty; when readBlock fails both sides are empty.
class VantorDataSet {
 public:
  static constexpr char kBlockMarker = '*';
  static constexpr const char* kFormatMessage = "data format doesn't match to expected one";
  static constexpr const char* kMismatchMessage = "Project and raw data don't match each other";
  static constexpr const char* kNoInputsMessage = "Dimension of inputs must be over zero";

  VantorDataSet() = default;
  explicit VantorDataSet(const RawTable& table) { attach(table); }
  // The row-pointer arrays point into this object's own storage.
  VantorDataSet(const VantorDataSet&) = delete;
  VantorDataSet& operator=(const VantorDataSet&) = delete;

  // Refers to table (which must outlive the data set), takes its row and column counts, drops
  // both sides and resets the order to the natural one. Test-set parameters are kept.
  void attach(const RawTable& table);

  // Replaces the inputs: frees the previous ones, then builds I = columns.size() normalisers
  // (kinds by input position), the normalised R × I block and its row pointers in the current
  // order. MyException kNoInputsMessage when I is 0; BadRangeException when kinds and columns
  // differ in length, an index is outside 0..N−1 or no table is attached.
  void setInputs(std::span<const std::int32_t> columns, std::span<const NormalisationKind> kinds);
  // The same for the outputs; O may be 0 (then no outputs exist and answers() is null).
  void setOutputs(std::span<const std::int32_t> columns, std::span<const NormalisationKind> kinds);

  // Writes the block: '*', I, O, N, input indices, output indices, input normaliser records,
  // output normaliser records, '*'. MyException kNoInputsMessage when there are no inputs.
  void writeBlock(std::ostream& out) const;
  // Reads a block against the attached table and rebuilds both sides with the stored parameters
  // in the natural row order. IllegalDataFormatException kFormatMessage for a wrong marker, a
  // short block, I < 1, O < 0, I or O above N, or a bad normaliser record; BadProjectException
  // kMismatchMessage when N differs from the table's column count or a stored index is negative
  // or not below it. Counts are checked before anything is allocated.
  void readBlock(std::istream& in);

  // Lays out the training order with the stored test-set parameters for the requested test
  // count (see layOutTestSet, which draws from platform::crtRand()) and returns the cut T.
  std::int32_t orderRows(std::int32_t requestedTestCount);
  // Returns to the natural order (every example at its own position).
  void resetOrder();

  const TestSetParameters& testSetParameters() const { return testSet_; }
  void setTestSetParameters(const TestSetParameters& parameters) { testSet_ = parameters; }
  TestSetMode testSetMode() const { return testSet_.testSetMode; }
  std::int32_t blockStart() const { return testSet_.blockStart; }
  std::int32_t lastCount() const { return testSet_.lastCount; }

  const RawTable* table() const { return table_; }
  std::int32_t rows() const { return rows_; }
  std::int32_t rawColumnCount() const { return rawColumnCount_; }
  std::int32_t inputCount() const { return static_cast<std::int32_t>(inputColumns_.size()); }
  std::int32_t outputCount() const { return static_cast<std::int32_t>(outputColumns_.size()); }
  const std::vector<std::int32_t>& inputColumns() const { return inputColumns_; }
  const std::vector<std::int32_t>& outputColumns() const { return outputColumns_; }
  const std::vector<VantorNormaliser>& inputNormalisers() const { return inputNormalisers_; }
  const std::vector<VantorNormaliser>& outputNormalisers() const { return outputNormalisers_; }
  // Column names of the raw table for input i / output j.
  const std::string& inputName(std::int32_t i) const;
  const std::string& outputName(std::int32_t j) const;

  // Normalised values in natural row order: row r of the inputs starts at inputs() + r · I.
  const double* inputs() const { return inputs_.data(); }
  const double* outputs() const { return outputs_.data(); }
  const double* inputRow(std::int32_t r) const {
    return inputs_.data() + static_cast<std::size_t>(r) * inputCount();
  }
  const double* outputRow(std::int32_t r) const {
    return outputs_.empty() ? nullptr : outputs_.data() + static_cast<std::size_t>(r) * outputCount();
  }

  // R question / answer pointers in training order (for the training context); empty while the
  // side does not exist.
  double** questions() { return inputRows_.empty() ? nullptr : inputRows_.data(); }
  double** answers() { return outputRows_.empty() ? nullptr : outputRows_.data(); }
  const double* const* questions() const { return inputRows_.data(); }
  const double* const* answers() const { return outputRows_.data(); }
  // order()[p] is the example at position p; rowPositions()[r] the position of example r.
  const std::vector<std::int32_t>& order() const { return order_; }
  const std::vector<std::int32_t>& rowPositions() const { return rowPositions_; }

  // Frees the inputs / outputs (their columns, normalisers, values and pointers).
  void clearInputs();
  void clearOutputs();

 private:
  void checkColumns(std::span<const std::int32_t> columns, std::span<const NormalisationKind> kinds) const;
  // R × width values: raw column columns[j] normalised by normalisers[j] (fitting or applying).
  std::vector<double> buildValues(std::span<const std::int32_t> columns,
                                  std::vector<VantorNormaliser>& normalisers, bool fit) const;
  // Points the question and answer arrays and the row positions along order_.
  void pointRows();

  const RawTable* table_ = nullptr;
  std::int32_t rows_ = 0;
  std::int32_t rawColumnCount_ = 0;
  std::vector<std::int32_t> inputColumns_;
  std::vector<std::int32_t> outputColumns_;
  std::vector<VantorNormaliser> inputNormalisers_;
  std::vector<VantorNormaliser> outputNormalisers_;
  std::vector<double> inputs_;
  std::vector<double> outputs_;
  std::vector<double*> inputRows_;
  std::vector<double*> outputRows_;
  std::vector<std::int32_t> order_;
  std::vector<std::int32_t> rowPositions_;
  TestSetParameters testSet_;
};
