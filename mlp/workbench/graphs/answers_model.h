#pragma once

#include <string>
#include <vector>

#include "mlp/workbench/graphs/graph_geometry.h"

struct NetworkSnapshot;

// Every example's targets and the network's answers, in the data set's natural row order and
// on both scales, with the split each example belongs to.
struct AnswersData {
  int rows = 0;
  int outputs = 0;
  // rows × outputs, row-major; normalised as the network sees them.
  std::vector<double> targets;
  std::vector<double> answers;
  // The same on the worksheet's scale (the outputs' normalisers inverted).
  std::vector<double> realTargets;
  std::vector<double> realAnswers;
  // Per row: true for a test example.
  std::vector<bool> isTest;
};

// Evaluates the snapshot's network on every row. Empty (rows 0) when there is no network or it
// does not fit the data set. Allocation failure throws std::bad_alloc.
AnswersData collectAnswersData(const NetworkSnapshot& snapshot);

// The answers view's picture for width × height.
struct AnswersGeometry {
  int width = 0;
  int height = 0;
  GraphRect plot;  // 15 % left, 5 % right, 5 % top, 10 % bottom left free
  double bottom = 0.0;
  double top = 0.0;
  std::string firstLabel;  // "%i"
  std::string lastLabel;
  std::string bottomLabel;  // "%7.3g"
  std::string topLabel;
  std::vector<GraphPoint> targetLine;  // orange
  std::vector<GraphPoint> answerLine;  // green
  // With the colouring on: one dot per example, test examples marked.
  struct Dot {
    GraphPoint at;
    bool test = false;
  };
  std::vector<Dot> dots;
};

// The answers view's choices: the selection first … last of examples (the two sliders), the
// output, the scale and the colouring.
class AnswersModel {
 public:
  // Added to the top of a range whose ends are equal.
  static constexpr double kFlatRangeWidening = 1e-10;

  explicit AnswersModel(int rows = 0, int outputs = 0);

  int rows() const { return rows_; }
  int first() const { return first_; }
  int last() const { return last_; }
  // The sliders: moving the first beyond the last drags the last along, moving the last before
  // the first drags the first along. Values are limited to 0 … rows − 1.
  void setFirst(int first);
  void setLast(int last);

  int output() const { return output_; }
  void setOutput(int output);
  bool realScale() const { return realScale_; }
  void setRealScale(bool real) { realScale_ = real; }
  bool coloring() const { return coloring_; }
  void setColoring(bool on) { coloring_ = on; }

  // The y range over both curves of the selection for the chosen output and scale; equal ends
  // are widened by 1e-10 (relatively, where 1e-10 would vanish beside the value). Values that
  // are not finite are left out.
  std::pair<double, double> yRange(const AnswersData& data) const;
  AnswersGeometry layout(const AnswersData& data, int width, int height) const;

 private:
  int rows_;
  int outputs_;
  int first_ = 0;
  int last_ = 0;
  int output_ = 0;
  bool realScale_ = false;
  bool coloring_ = false;
};
