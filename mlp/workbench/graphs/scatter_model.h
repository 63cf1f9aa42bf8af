#pragma once

#include <array>
#include <string>
#include <vector>

#include "mlp/workbench/graphs/graph_geometry.h"

struct NetworkSnapshot;

// One example's normalised target and the network's answer for one output.
struct ScatterSample {
  double target = 0.0;
  double answer = 0.0;
};

// What the scattering diagram plots: the training examples (the first trainingCount positions
// of the training order) and the test examples (the rest), for one output.
struct ScatterData {
  std::vector<ScatterSample> training;
  std::vector<ScatterSample> test;
};

// Evaluates the snapshot's network on every example of its split for output `output` (0-based).
// Empty when there is no network, it does not fit the data set, or the output does not exist.
ScatterData collectScatterData(const NetworkSnapshot& snapshot, int output);

// The picture of a scattering diagram of width × height: the 5 × 5 grid, the diagonal, a cross
// per training example and a dot per test example, all in pixels.
struct ScatterGeometry {
  int width = 0;
  int height = 0;
  std::array<int, 5> gridX{};  // vertical grid lines
  std::array<int, 5> gridY{};  // horizontal grid lines
  GraphPoint diagonalFrom;     // lower left
  GraphPoint diagonalTo;       // upper right
  std::vector<GraphPoint> crosses;
  std::vector<GraphPoint> dots;
  static constexpr int kCrossHalf = 2;  // the two diagonals of a cross are 4 pixels long
  static constexpr int kDotRadius = 2;
};

// The diagram's choices: the output shown and the maximum value M that the half-width of the
// picture stands for.
class ScatterModel {
 public:
  static constexpr double kMinimumMaximum = 0.1;
  static constexpr double kMaximumMaximum = 100000.0;
  static constexpr double kDefaultMaximum = 1.0;
  // Margin of the picture in pixels: the grid's outer lines and the limit of every point.
  static constexpr int kMargin = 5;

  int output() const { return output_; }
  void setOutput(int output) { output_ = output < 0 ? 0 : output; }
  double maximum() const { return maximum_; }
  // Takes the edit's text when it is a number in 0.1 … 100000.0; otherwise keeps the maximum
  // and returns false (the window then shows the kept value again).
  bool setMaximumText(const std::string& text);
  bool setMaximum(double maximum);
  // The edit's text for the current maximum.
  std::string maximumText() const;

  // x = w/2 + t · (w/2 − 5) / M, y = h/2 − o · (h/2 − 5) / M, both clamped to 5 … size − 5.
  GraphPoint place(const ScatterSample& sample, int width, int height) const;
  ScatterGeometry layout(const ScatterData& data, int width, int height) const;

 private:
  int output_ = 0;
  double maximum_ = kDefaultMaximum;
};
