#include "mlp/workbench/graphs/scatter_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "mlp/engine/perceptron.h"
#include "mlp/workbench/graphs/network_snapshot.h"
#include "shared/vantor_data_set.h"

ScatterData collectScatterData(const NetworkSnapshot& snapshot, int output) {
  ScatterData data;
  if (!snapshot.fits() || output < 0 || output >= snapshot.dataSet->outputCount()) return data;
  const VantorDataSet& set = *snapshot.dataSet;
  Perceptron& network = *snapshot.network;
  const double* const* questions = set.questions();
  const double* const* answers = set.answers();
  const int rows = set.rows();
  const int trainingCount = std::clamp(snapshot.trainingCount, 0, rows);
  const int testCount = std::clamp(snapshot.testCount, 0, rows - trainingCount);
  std::vector<double> answer(static_cast<std::size_t>(network.outputs));
  auto sample = [&](int position) {
    network.Answer(questions[position], network.inputs, answer.data(), network.outputs);
    return ScatterSample{answers[position][output], answer[static_cast<std::size_t>(output)]};
  };
  data.training.reserve(static_cast<std::size_t>(trainingCount));
  for (int p = 0; p < trainingCount; ++p) data.training.push_back(sample(p));
  data.test.reserve(static_cast<std::size_t>(testCount));
  for (int p = trainingCount; p < trainingCount + testCount; ++p) data.test.push_back(sample(p));
  return data;
}

bool ScatterModel::setMaximum(double maximum) {
  if (!(maximum >= kMinimumMaximum && maximum <= kMaximumMaximum)) return false;
  maximum_ = maximum;
  return true;
}

bool ScatterModel::setMaximumText(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (end == begin) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return false;
  return setMaximum(value);
}

std::string ScatterModel::maximumText() const {
  return formatNumber("%g", maximum_);
}

GraphPoint ScatterModel::place(const ScatterSample& sample, int width, int height) const {
  const double halfWidth = width / 2.0;
  const double halfHeight = height / 2.0;
  const double x = halfWidth + sample.target * (halfWidth - kMargin) / maximum_;
  const double y = halfHeight - sample.answer * (halfHeight - kMargin) / maximum_;
  auto clampTo = [](double v, int size) {
    const double low = kMargin;
    const double high = std::max(kMargin, size - kMargin);
    return truncateToInt(std::clamp(v, low, high), kMargin);
  };
  return {clampTo(x, width), clampTo(y, height)};
}

ScatterGeometry ScatterModel::layout(const ScatterData& data, int width, int height) const {
  ScatterGeometry g;
  g.width = width;
  g.height = height;
  for (int k = 0; k <= 4; ++k) {
    g.gridX[static_cast<std::size_t>(k)] = kMargin + k * (width - 2 * kMargin) / 4;
    g.gridY[static_cast<std::size_t>(k)] = kMargin + k * (height - 2 * kMargin) / 4;
  }
  // A perfect answer (o = t) lies on the line through the centre from corner to corner.
  g.diagonalFrom = {kMargin, height - kMargin};
  g.diagonalTo = {width - kMargin, kMargin};
  g.crosses.reserve(data.training.size());
  for (const ScatterSample& s : data.training) g.crosses.push_back(place(s, width, height));
  g.dots.reserve(data.test.size());
  for (const ScatterSample& s : data.test) g.dots.push_back(place(s, width, height));
  return g;
}
