#include "mlp/workbench/graphs/significance_chart_model.h"

#include <algorithm>
#include <cmath>

#include "mlp/significance/box_counter.h"

SignificanceChartModel::SignificanceChartModel(std::vector<std::vector<double>> significance,
                                               std::vector<double> midpoints, std::vector<double> halfWidths,
                                               std::vector<std::string> inputNames,
                                               std::vector<std::string> outputNames)
    : significance_(std::move(significance)),
      midpoints_(std::move(midpoints)),
      halfWidths_(std::move(halfWidths)),
      inputNames_(std::move(inputNames)),
      outputNames_(std::move(outputNames)) {
  // Every row, midpoint and half-width exists for every output, so no lookup can miss.
  significance_.resize(outputNames_.size());
  for (auto& row : significance_) row.resize(inputNames_.size(), 0.0);
  midpoints_.resize(outputNames_.size(), 0.0);
  halfWidths_.resize(outputNames_.size(), 0.0);
}

SignificanceChartModel SignificanceChartModel::fromBoxCounter(const significance::BoxCounter& results) {
  const int q = results.outputCount();
  const int p = results.inputCount();
  const RealMatrix& s = results.significance();
  std::vector<std::vector<double>> rows(static_cast<std::size_t>(q));
  std::vector<double> midpoints, halfWidths;
  for (int j = 0; j < q; ++j) {
    if (s.Rows() == q && s.Cols() == p)
      for (int i = 0; i < p; ++i) rows[static_cast<std::size_t>(j)].push_back(s(j, i));
    const bool measured = results.predictability().Rows() == 2 && results.predictability().Cols() == q;
    midpoints.push_back(measured ? results.predictabilityMidpoint(j) : 0.0);
    halfWidths.push_back(measured ? results.predictabilityHalfWidth(j) : 0.0);
  }
  return SignificanceChartModel(std::move(rows), std::move(midpoints), std::move(halfWidths),
                                results.inputNames(), results.outputNames());
}

void SignificanceChartModel::setSliderPosition(int position) {
  sliderPosition_ = std::clamp(position, 0, sliderMaximum());
}

void SignificanceChartModel::setOutput(int output) {
  output_ = std::clamp(output, 0, std::max(outputCount() - 1, 0));
}

std::string SignificanceChartModel::predictabilityText() const {
  if (outputCount() == 0) return {};
  return formatNumber("Mean predictability: %5.3f bits", midpoints_[static_cast<std::size_t>(output_)]);
}

std::string SignificanceChartModel::varianceText() const {
  if (outputCount() == 0) return {};
  return formatNumber("Variance: %5.3f bits", halfWidths_[static_cast<std::size_t>(output_)]);
}

double SignificanceChartModel::value(int input) const {
  if (outputCount() == 0 || input < 0 || input >= inputCount()) return 0.0;
  return significance_[static_cast<std::size_t>(output_)][static_cast<std::size_t>(input)];
}

double SignificanceChartModel::rowMaximum() const {
  double largest = 0.0;
  for (int i = 0; i < inputCount(); ++i)
    if (std::isfinite(value(i))) largest = std::max(largest, value(i));
  return largest;
}

SignificanceChartGeometry SignificanceChartModel::layout(int width, int height) const {
  SignificanceChartGeometry g;
  g.width = width;
  g.height = height;
  g.strip = width / 10;
  const double largest = rowMaximum();
  g.maximumLabel = formatNumber("%1.3f", largest);
  const int p = inputCount();
  const int b = std::min(p, kMaxBars);
  const int span = width - g.strip;
  for (int k = 0; k < b; ++k) {
    const int input = sliderPosition_ + k;
    if (input >= p) break;
    // v = significance / M; with M = 0 every bar stays empty rather than dividing by zero.
    double v = largest > 0.0 ? value(input) / largest : 0.0;
    if (!std::isfinite(v)) v = 0.0;
    v = std::clamp(v, 0.0, 1.0);
    SignificanceBar bar;
    bar.input = input;
    bar.left = g.strip + k * span / b;
    bar.right = g.strip + (k + 1) * span / b;
    bar.top = truncateToInt((1.0 - v) * height, height);
    bar.label = formatInteger("%i", input + 1);
    g.bars.push_back(std::move(bar));
  }
  return g;
}

int SignificanceChartModel::inputAt(int x, int width) const {
  const int p = inputCount();
  const int strip = width / 10;
  if (p == 0 || !(x > strip && x < width)) return -1;
  const double f = static_cast<double>(x - strip) / (width - strip);
  const int bars = p > kMaxBars ? kMaxBars : p;
  const int index = static_cast<int>(f * bars) + sliderPosition_;
  return std::min(index, p - 1);
}

std::string SignificanceChartModel::hoverText(int x, int width) const {
  const int input = inputAt(x, width);
  if (input < 0) return {};
  return inputNames_[static_cast<std::size_t>(input)] + formatNumber(": %5.3f", value(input));
}
