#include "shared/vantor_data_set.h"

#include <new>
#include <numeric>
#include <stdexcept>

#include "shared/binary_io.h"
#include "shared/exceptions.h"

namespace {

constexpr const char* kOutOfMemory = "Out of Memory!";

}  // namespace

void VantorDataSet::attach(const RawTable& table) {
  clearInputs();
  clearOutputs();
  table_ = &table;
  rows_ = table.rowCount;
  rawColumnCount_ = table.columnCount();
  resetOrder();
}

void VantorDataSet::clearInputs() {
  std::vector<std::int32_t>().swap(inputColumns_);
  std::vector<VantorNormaliser>().swap(inputNormalisers_);
  std::vector<double>().swap(inputs_);
  std::vector<double*>().swap(inputRows_);
}

void VantorDataSet::clearOutputs() {
  std::vector<std::int32_t>().swap(outputColumns_);
  std::vector<VantorNormaliser>().swap(outputNormalisers_);
  std::vector<double>().swap(outputs_);
  std::vector<double*>().swap(outputRows_);
}

const std::string& VantorDataSet::inputName(std::int32_t i) const {
  return table_->columnNames[static_cast<std::size_t>(inputColumns_[static_cast<std::size_t>(i)])];
}

const std::string& VantorDataSet::outputName(std::int32_t j) const {
  return table_->columnNames[static_cast<std::size_t>(outputColumns_[static_cast<std::size_t>(j)])];
}

void VantorDataSet::checkColumns(std::span<const std::int32_t> columns,
                                 std::span<const NormalisationKind> kinds) const {
  if (table_ == nullptr) throw BadRangeException("No data to choose columns from");
  if (kinds.size() != columns.size()) throw BadRangeException("Every column needs its normalization");
  for (std::int32_t index : columns)
    if (index < 0 || index >= rawColumnCount_) throw BadRangeException("Selected column is out of range");
}

std::vector<double> VantorDataSet::buildValues(std::span<const std::int32_t> columns,
                                               std::vector<VantorNormaliser>& normalisers, bool fit) const {
  const std::size_t width = columns.size();
  const auto rows = static_cast<std::size_t>(rows_);
  std::vector<double> values(rows * width);
  std::vector<double> column(rows);
  for (std::size_t j = 0; j < width; ++j) {
    const double* raw = table_->column(columns[j]);
    if (fit)
      normalisers[j].normalise(raw, column.data(), rows_);
    else
      normalisers[j].apply(raw, column.data(), rows_);
    for (std::size_t i = 0; i < rows; ++i) values[i * width + j] = column[i];
  }
  return values;
}

void VantorDataSet::pointRows() {
  const auto rows = static_cast<std::size_t>(rows_);
  const std::size_t inputWidth = inputColumns_.size();
  const std::size_t outputWidth = outputColumns_.size();
  inputRows_.assign(inputWidth > 0 ? rows : 0, nullptr);
  outputRows_.assign(outputWidth > 0 ? rows : 0, nullptr);
  rowPositions_.assign(rows, 0);
  for (std::size_t p = 0; p < rows; ++p) {
    const auto example = static_cast<std::size_t>(order_[p]);
    if (inputWidth > 0) inputRows_[p] = inputs_.data() + example * inputWidth;
    if (outputWidth > 0) outputRows_[p] = outputs_.data() + example * outputWidth;
    rowPositions_[example] = static_cast<std::int32_t>(p);
  }
}

void VantorDataSet::resetOrder() {
  try {
    order_.resize(static_cast<std::size_t>(rows_));
    std::iota(order_.begin(), order_.end(), 0);
    pointRows();
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kOutOfMemory);
  }
}

void VantorDataSet::setInputs(std::span<const std::int32_t> columns,
                              std::span<const NormalisationKind> kinds) {
  clearInputs();
  if (columns.empty()) throw MyException(kNoInputsMessage);
  checkColumns(columns, kinds);
  try {
    std::vector<VantorNormaliser> normalisers(kinds.begin(), kinds.end());
    inputs_ = buildValues(columns, normalisers, true);
    inputColumns_.assign(columns.begin(), columns.end());
    inputNormalisers_ = std::move(normalisers);
    pointRows();
  } catch (const std::bad_alloc&) {
    clearInputs();
    throw OutOfMemoryException(kOutOfMemory);
  }
}

void VantorDataSet::setOutputs(std::span<const std::int32_t> columns,
                               std::span<const NormalisationKind> kinds) {
  clearOutputs();
  checkColumns(columns, kinds);
  try {
    std::vector<VantorNormaliser> normalisers(kinds.begin(), kinds.end());
    outputs_ = buildValues(columns, normalisers, true);
    outputColumns_.assign(columns.begin(), columns.end());
    outputNormalisers_ = std::move(normalisers);
    pointRows();
  } catch (const std::bad_alloc&) {
    clearOutputs();
    throw OutOfMemoryException(kOutOfMemory);
  }
}

std::int32_t VantorDataSet::orderRows(std::int32_t requestedTestCount) {
  try {
    TestSetLayout layout = layOutTestSet(testSet_, rows_, requestedTestCount);
    order_ = std::move(layout.order);
    pointRows();
    return layout.testCount;
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kOutOfMemory);
  }
}

void VantorDataSet::writeBlock(std::ostream& out) const {
  if (inputColumns_.empty()) throw MyException(kNoInputsMessage);
  BinaryWriter writer(out);
  writer.writeChar(kBlockMarker);
  writer.writeInt32(inputCount());
  writer.writeInt32(outputCount());
  writer.writeInt32(rawColumnCount_);
  for (std::int32_t index : inputColumns_) writer.writeInt32(index);
  for (std::int32_t index : outputColumns_) writer.writeInt32(index);
  for (const VantorNormaliser& normaliser : inputNormalisers_) normaliser.write(out);
  for (const VantorNormaliser& normaliser : outputNormalisers_) normaliser.write(out);
  writer.writeChar(kBlockMarker);
}

void VantorDataSet::readBlock(std::istream& in) {
  clearInputs();
  clearOutputs();
  try {
    resetOrder();
    BinaryReader reader(in);
    if (reader.readChar("opening marker") != kBlockMarker) throw IllegalDataFormatException(kFormatMessage);
    const std::int32_t inputCount = reader.readInt32("input count");
    const std::int32_t outputCount = reader.readInt32("output count");
    const std::int32_t n = reader.readInt32("raw column count");
    if (inputCount < 1 || outputCount < 0) throw IllegalDataFormatException(kFormatMessage);
    if (table_ == nullptr || n != rawColumnCount_) throw BadProjectException(kMismatchMessage);
    // Each side chooses distinct columns of the table.
    if (inputCount > n || outputCount > n) throw IllegalDataFormatException(kFormatMessage);

    auto readColumns = [&](std::int32_t count, const char* field) {
      std::vector<std::int32_t> columns(static_cast<std::size_t>(count));
      for (std::int32_t& index : columns) {
        index = reader.readInt32(field);
        if (index < 0 || index >= rawColumnCount_) throw BadProjectException(kMismatchMessage);
      }
      return columns;
    };
    std::vector<std::int32_t> inputColumns = readColumns(inputCount, "input column");
    std::vector<std::int32_t> outputColumns = readColumns(outputCount, "output column");
    std::vector<VantorNormaliser> inputNormalisers(static_cast<std::size_t>(inputCount));
    for (VantorNormaliser& normaliser : inputNormalisers) normaliser.read(in);
    std::vector<VantorNormaliser> outputNormalisers(static_cast<std::size_t>(outputCount));
    for (VantorNormaliser& normaliser : outputNormalisers) normaliser.read(in);
    if (reader.readChar("closing marker") != kBlockMarker) throw IllegalDataFormatException(kFormatMessage);

    inputs_ = buildValues(inputColumns, inputNormalisers, false);
    outputs_ = buildValues(outputColumns, outputNormalisers, false);
    inputColumns_ = std::move(inputColumns);
    outputColumns_ = std::move(outputColumns);
    inputNormalisers_ = std::move(inputNormalisers);
    outputNormalisers_ = std::move(outputNormalisers);
    pointRows();
  } catch (const std::bad_alloc&) {
    clearInputs();
    clearOutputs();
    throw OutOfMemoryException(kOutOfMemory);
  } catch (...) {
    clearInputs();
    clearOutputs();
    throw;
  }
}
