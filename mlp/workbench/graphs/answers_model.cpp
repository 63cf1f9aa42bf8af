#include "mlp/workbench/graphs/answers_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "mlp/engine/perceptron.h"
#include "mlp/workbench/graphs/network_snapshot.h"
#include "shared/vantor_data_set.h"

AnswersData collectAnswersData(const NetworkSnapshot& snapshot) {
  AnswersData data;
  if (!snapshot.fits()) return data;
  const VantorDataSet& set = *snapshot.dataSet;
  Perceptron& network = *snapshot.network;
  const int rows = set.rows();
  const int q = set.outputCount();
  const std::size_t cells = static_cast<std::size_t>(rows) * static_cast<std::size_t>(q);
  data.targets.resize(cells);
  data.answers.resize(cells);
  data.realTargets.resize(cells);
  data.realAnswers.resize(cells);
  data.isTest.resize(static_cast<std::size_t>(rows));
  const std::vector<VantorNormaliser>& normalisers = set.outputNormalisers();
  const std::vector<std::int32_t>& positions = set.rowPositions();
  const int trainingCount = snapshot.trainingCount;
  for (int r = 0; r < rows; ++r) {
    const std::size_t at = static_cast<std::size_t>(r) * static_cast<std::size_t>(q);
    network.Answer(set.inputRow(r), network.inputs, data.answers.data() + at, q);
    const double* target = set.outputRow(r);
    for (int j = 0; j < q; ++j) {
      data.targets[at + j] = target[j];
      data.realTargets[at + j] = normalisers[static_cast<std::size_t>(j)].denormalise(target[j]);
      data.realAnswers[at + j] = normalisers[static_cast<std::size_t>(j)].denormalise(data.answers[at + j]);
    }
    data.isTest[static_cast<std::size_t>(r)] = static_cast<std::size_t>(r) < positions.size() &&
                                               positions[static_cast<std::size_t>(r)] >= trainingCount;
  }
  data.rows = rows;
  data.outputs = q;
  return data;
}

AnswersModel::AnswersModel(int rows, int outputs)
    : rows_(std::max(rows, 0)), outputs_(std::max(outputs, 0)), last_(std::max(rows - 1, 0)) {}

void AnswersModel::setFirst(int first) {
  first_ = std::clamp(first, 0, std::max(rows_ - 1, 0));
  if (first_ > last_) last_ = first_;
}

void AnswersModel::setLast(int last) {
  last_ = std::clamp(last, 0, std::max(rows_ - 1, 0));
  if (last_ < first_) first_ = last_;
}

void AnswersModel::setOutput(int output) {
  output_ = std::clamp(output, 0, std::max(outputs_ - 1, 0));
}

namespace {

const std::vector<double>& targetsOf(const AnswersData& data, bool real) {
  return real ? data.realTargets : data.targets;
}
const std::vector<double>& answersOf(const AnswersData& data, bool real) {
  return real ? data.realAnswers : data.answers;
}

}  // namespace

std::pair<double, double> AnswersModel::yRange(const AnswersData& data) const {
  double bottom = std::numeric_limits<double>::infinity();
  double top = -std::numeric_limits<double>::infinity();
  if (data.rows > 0 && output_ < data.outputs) {
    const std::vector<double>& targets = targetsOf(data, realScale_);
    const std::vector<double>& answers = answersOf(data, realScale_);
    const int last = std::min(last_, data.rows - 1);
    for (int r = first_; r <= last; ++r) {
      const std::size_t at = static_cast<std::size_t>(r) * static_cast<std::size_t>(data.outputs) + output_;
      for (double v : {targets[at], answers[at]}) {
        if (!std::isfinite(v)) continue;
        bottom = std::min(bottom, v);
        top = std::max(top, v);
      }
    }
  }
  if (bottom > top) bottom = top = 0.0;  // nothing to show
  if (top == bottom) {
    top = bottom + kFlatRangeWidening;
    if (top == bottom) top = bottom + std::abs(bottom) * kFlatRangeWidening;
  }
  return {bottom, top};
}

AnswersGeometry AnswersModel::layout(const AnswersData& data, int width, int height) const {
  AnswersGeometry g;
  g.width = width;
  g.height = height;
  g.plot.left = width * 15 / 100;
  g.plot.top = height * 5 / 100;
  g.plot.width = std::max(0, width - g.plot.left - width * 5 / 100);
  g.plot.height = std::max(0, height - g.plot.top - height * 10 / 100);
  const auto [bottom, top] = yRange(data);
  g.bottom = bottom;
  g.top = top;
  g.firstLabel = formatInteger("%i", first_);
  g.lastLabel = formatInteger("%i", last_);
  g.bottomLabel = formatNumber("%7.3g", bottom);
  g.topLabel = formatNumber("%7.3g", top);
  if (data.rows == 0 || output_ >= data.outputs) return g;

  const std::vector<double>& targets = targetsOf(data, realScale_);
  const std::vector<double>& answers = answersOf(data, realScale_);
  const int last = std::min(last_, data.rows - 1);
  const int span = last - first_;
  auto xOf = [&](int r) {
    if (span <= 0) return g.plot.left + g.plot.width / 2;
    return g.plot.left + truncateToInt(static_cast<double>(r - first_) * g.plot.width / span);
  };
  auto yOf = [&](double v) {
    const double t = (v - bottom) / (top - bottom);
    const double y = g.plot.bottom() - t * g.plot.height;
    return truncateToInt(std::clamp(y, static_cast<double>(g.plot.top), static_cast<double>(g.plot.bottom())),
                         g.plot.bottom());
  };
  const std::size_t count = static_cast<std::size_t>(std::max(span + 1, 0));
  g.targetLine.reserve(count);
  g.answerLine.reserve(count);
  for (int r = first_; r <= last; ++r) {
    const std::size_t at = static_cast<std::size_t>(r) * static_cast<std::size_t>(data.outputs) + output_;
    const int x = xOf(r);
    g.targetLine.push_back({x, yOf(targets[at])});
    g.answerLine.push_back({x, yOf(answers[at])});
    if (coloring_) g.dots.push_back({g.targetLine.back(), data.isTest[static_cast<std::size_t>(r)]});
  }
  return g;
}
