#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/output_writer.h"

class TrainingRun;
class VantorDataSet;
struct RawTable;

// What the Output page writes: the network's answers only, or inputs, outputs and answers.
enum class OutputKind : int { AnswersOnly = 0, AllData = 1 };

// Vantor's output of answers: a header row and one row per data row (training and test rows
// alike, in the order read), the raw input and output values for "all data", then one answer
// column per output, each answer taken back to its column's scale.
//
// The answers are computed on the sheet's side, once the checks have passed and before the
// request goes to the host, so the writers on the host's thread only copy numbers: a forward
// pass that fails ends the command with its message before anything is written. A data set
// without outputs gets one answer column per network output, "Output k (Predicted)", in the
// network's own units.
class VantorOutputWriter final : public OutputWriter {
 public:
  static constexpr const char* kNoNetworkText = "Create the network first!";
  static constexpr const char* kNoDataSetText = "Create the data set first!";
  static constexpr const char* kInputsDifferText =
      "Number of network inputs isn't equal to data inputs dimension!";
  static constexpr const char* kOutputsDifferText =
      "Number of network outputs isn't equal to data outputs dimension!";
  static constexpr const char* kColumnText = "Column Number must be over zero!";
  static constexpr const char* kRowText = "Row number must be over zero!";
  static constexpr const char* kTooManyColumnsText =
      "Output range is over the maximal number of columns in MS Excel!";
  static constexpr const char* kTooManyRowsText =
      "Output range is over the maximal number of rows in MS Excel!";

  VantorOutputWriter(ExcelConnection& connection, TrainingRun& run, const VantorDataSet& dataSet);

  OutputKind kind = OutputKind::AnswersOnly;

  // Width of the table for the current kind and network (0 without a network).
  std::int32_t width() const;
  // The header texts, left to right.
  std::vector<std::string> headers() const;

 protected:
  std::int32_t tableRows() const override;
  std::int32_t tableColumns() const override { return width(); }
  platform::Variant cellValue(std::int32_t row, std::int32_t column) const override;
  bool checkTarget() override;
  std::string cellWriteText() const override { return "Writing Network answers..."; }

 private:
  void refuse(const char* text) const;
  // The network's answers for every row in data units, row-major (rows × answerColumns_).
  bool computeAnswers();
  std::int32_t answerColumns() const;

  TrainingRun& run_;
  const VantorDataSet& dataSet_;
  std::vector<double> answers_;
  std::int32_t answerColumns_ = 0;
};
