#pragma once

#include <string>
#include <vector>

#include "mlp/workbench/graphs/graph_geometry.h"

namespace significance {
class BoxCounter;
}

// One bar of the significance chart: the input it shows (0-based), its rectangle (from its top
// down to the chart's bottom) and its label, the input number from 1.
struct SignificanceBar {
  int input = 0;
  int left = 0;
  int right = 0;
  int top = 0;
  std::string label;
};

struct SignificanceChartGeometry {
  int width = 0;
  int height = 0;
  int strip = 0;             // the left strip, 10 % of the width
  std::string maximumLabel;  // "%1.3f" of the row's largest significance
  std::vector<SignificanceBar> bars;
};

// The "Inputs' significance" page's chart and texts for the results of one boxcounting run: the
// significance of every input for every output, normalised by each output's largest element,
// at most 20 bars at once with a slider beyond 20 inputs, and the hover rule.
class SignificanceChartModel {
 public:
  static constexpr int kMaxBars = 20;

  // significance: q rows of p values; midpoints and halfWidths: q values each.
  SignificanceChartModel(std::vector<std::vector<double>> significance, std::vector<double> midpoints,
                         std::vector<double> halfWidths, std::vector<std::string> inputNames,
                         std::vector<std::string> outputNames);
  static SignificanceChartModel fromBoxCounter(const significance::BoxCounter& results);

  int inputCount() const { return static_cast<int>(inputNames_.size()); }
  int outputCount() const { return static_cast<int>(outputNames_.size()); }
  const std::vector<std::string>& outputNames() const { return outputNames_; }

  // The slider is enabled beyond 20 inputs and ranges over 0 … p − 20.
  bool sliderEnabled() const { return inputCount() > kMaxBars; }
  int sliderMaximum() const { return sliderEnabled() ? inputCount() - kMaxBars : 0; }
  int sliderPosition() const { return sliderPosition_; }
  void setSliderPosition(int position);

  int output() const { return output_; }
  void setOutput(int output);

  // "Mean predictability: %5.3f bits" and "Variance: %5.3f bits" of the chosen output.
  std::string predictabilityText() const;
  std::string varianceText() const;

  // The row's largest significance M; the bars are the row divided by M. A row without a
  // positive element (M ≤ 0) draws empty bars.
  double rowMaximum() const;
  SignificanceChartGeometry layout(int width, int height) const;

  // The input under x in a chart of the given width, or −1 outside the bars' band m < x < w;
  // never beyond the last input.
  int inputAt(int x, int width) const;
  // The hover text there: the input's name and ": %5.3f" with its significance as computed
  // (not normalised); empty outside the band.
  std::string hoverText(int x, int width) const;

 private:
  double value(int input) const;

  std::vector<std::vector<double>> significance_;
  std::vector<double> midpoints_;
  std::vector<double> halfWidths_;
  std::vector<std::string> inputNames_;
  std::vector<std::string> outputNames_;
  int output_ = 0;
  int sliderPosition_ = 0;
};
