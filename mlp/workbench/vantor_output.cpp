#include "mlp/workbench/vantor_output.h"

#include <exception>
#include <new>

#include "mlp/engine/perceptron.h"
#include "mlp/engine/training_run.h"
#include "platform/prompter.h"
#include "shared/exceptions.h"
#include "shared/raw_table.h"
#include "shared/vantor_data_set.h"

VantorOutputWriter::VantorOutputWriter(ExcelConnection& connection, TrainingRun& run,
                                       const VantorDataSet& dataSet)
    : OutputWriter(connection), run_(run), dataSet_(dataSet) {}

std::int32_t VantorOutputWriter::answerColumns() const {
  if (dataSet_.outputCount() > 0) return dataSet_.outputCount();
  const Perceptron* network = run_.network();
  return network ? network->outputs : 0;
}

std::int32_t VantorOutputWriter::width() const {
  if (!run_.network()) return 0;
  const std::int32_t q = answerColumns();
  return kind == OutputKind::AllData ? dataSet_.inputCount() + dataSet_.outputCount() + q : q;
}

std::int32_t VantorOutputWriter::tableRows() const {
  return dataSet_.rows() + 1;
}

std::vector<std::string> VantorOutputWriter::headers() const {
  std::vector<std::string> result;
  if (kind == OutputKind::AllData) {
    for (std::int32_t i = 0; i < dataSet_.inputCount(); ++i)
      result.push_back(dataSet_.inputName(i) + " (Input)");
    for (std::int32_t j = 0; j < dataSet_.outputCount(); ++j)
      result.push_back(dataSet_.outputName(j) + " (Output)");
  }
  const std::int32_t q = answerColumns();
  for (std::int32_t j = 0; j < q; ++j)
    result.push_back(
        (dataSet_.outputCount() > 0 ? dataSet_.outputName(j) : "Output " + std::to_string(j + 1)) +
        " (Predicted)");
  return result;
}

platform::Variant VantorOutputWriter::cellValue(std::int32_t row, std::int32_t column) const {
  if (row == 0) {
    const std::vector<std::string> names = headers();
    return column < static_cast<std::int32_t>(names.size())
               ? platform::Variant(names[static_cast<std::size_t>(column)])
               : platform::Variant();
  }
  const std::int32_t r = row - 1;
  const RawTable* table = dataSet_.table();
  if (kind == OutputKind::AllData) {
    const std::int32_t p = dataSet_.inputCount(), q = dataSet_.outputCount();
    if (column < p)
      return platform::Variant(table->column(dataSet_.inputColumns()[static_cast<std::size_t>(column)])[r]);
    column -= p;
    if (column < q)
      return platform::Variant(table->column(dataSet_.outputColumns()[static_cast<std::size_t>(column)])[r]);
    column -= q;
  }
  const std::size_t at = static_cast<std::size_t>(r) * static_cast<std::size_t>(answerColumns_) +
                         static_cast<std::size_t>(column);
  return at < answers_.size() ? platform::Variant(answers_[at]) : platform::Variant();
}

void VantorOutputWriter::refuse(const char* text) const {
  platform::prompter().messageBox(text, std::string(connection().constants().caption),
                                  platform::MB_OK | platform::MB_ICONINFORMATION | platform::MB_SYSTEMMODAL);
}

bool VantorOutputWriter::checkTarget() {
  const Perceptron* network = run_.network();
  if (!network) {
    refuse(kNoNetworkText);
    return false;
  }
  if (dataSet_.inputCount() == 0) {
    refuse(kNoDataSetText);
    return false;
  }
  if (network->inputs != dataSet_.inputCount()) {
    refuse(kInputsDifferText);
    return false;
  }
  // The forward pass would refuse every row: say so before anything is written.
  if (dataSet_.outputCount() > 0 && network->outputs != dataSet_.outputCount()) {
    refuse(kOutputsDifferText);
    return false;
  }
  if (firstColumn < 1) {
    refuse(kColumnText);
    return false;
  }
  if (firstRow < 1) {
    refuse(kRowText);
    return false;
  }
  // 64-bit sums: the first cell may be as large as the grammar allows.
  if (static_cast<std::int64_t>(firstColumn) + width() - 1 > connection().maxColumns()) {
    refuse(kTooManyColumnsText);
    return false;
  }
  if (static_cast<std::int64_t>(firstRow) + dataSet_.rows() > connection().maxRows()) {
    refuse(kTooManyRowsText);
    return false;
  }
  return computeAnswers();
}

bool VantorOutputWriter::computeAnswers() {
  answers_.clear();
  answerColumns_ = answerColumns();
  std::string failure;
  run_.WithModel([&](const TrainingModelView& view) {
    if (!view.network) {
      failure = kNoNetworkText;
      return;
    }
    const std::int32_t n = dataSet_.rows(), p = dataSet_.inputCount(), q = answerColumns_;
    try {
      answers_.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(q));
      for (std::int32_t r = 0; r < n; ++r) {
        double* answer = answers_.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(q);
        view.network->Answer(dataSet_.inputRow(r), p, answer, q);
        if (dataSet_.outputCount() > 0)
          for (std::int32_t j = 0; j < q; ++j)
            answer[j] = dataSet_.outputNormalisers()[static_cast<std::size_t>(j)].denormalise(answer[j]);
      }
    } catch (const MyException& e) {
      failure = e.what();
    } catch (const std::bad_alloc&) {
      failure = "Out of Memory!";
    }
  });
  if (failure.empty()) return true;
  answers_.clear();
  refuse(failure.c_str());
  return false;
}
