// The scattering diagram's placement, the answers view's selection and y range, and the
// significance chart's bars and hover rule, without a window.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "mlp/workbench/graphs/answers_model.h"
#include "mlp/workbench/graphs/scatter_model.h"
#include "mlp/workbench/graphs/significance_chart_model.h"

namespace {

TEST(ScatterModel, PerfectAnswersLieOnTheDiagonal) {
  ScatterModel m;
  const ScatterGeometry g = m.layout({}, 410, 310);
  EXPECT_EQ(g.gridX, (std::array<int, 5>{5, 105, 205, 305, 405}));
  EXPECT_EQ(g.gridY, (std::array<int, 5>{5, 80, 155, 230, 305}));
  // The diagonal from (5, h − 5) to (w − 5, 5): y = h − 5 − (x − 5)·(h − 10)/(w − 10).
  for (double t : {-0.9, -0.3, 0.0, 0.4, 0.8}) {
    const GraphPoint p = m.place({t, t}, 410, 310);
    const double lineY = 305.0 - (p.x - 5) * 300.0 / 400.0;
    EXPECT_NEAR(p.y, lineY, 1.0) << t;
  }
  EXPECT_EQ(m.place({0.0, 0.0}, 410, 310), (GraphPoint{205, 155}));
}

TEST(ScatterModel, MaximumScalesAndPointsStayInside) {
  ScatterModel m;
  EXPECT_EQ(m.place({1.0, -1.0}, 410, 310), (GraphPoint{405, 305}));
  EXPECT_EQ(m.place({7.0, 9.0}, 410, 310), (GraphPoint{405, 5}));  // clamped to the margin
  ASSERT_TRUE(m.setMaximumText("2"));
  EXPECT_EQ(m.place({1.0, -1.0}, 410, 310), (GraphPoint{305, 230}));
  // Outside 0.1 … 100000.0 or not a number: refused, the maximum kept.
  EXPECT_FALSE(m.setMaximumText("0.05"));
  EXPECT_FALSE(m.setMaximumText("100001"));
  EXPECT_FALSE(m.setMaximumText("two"));
  EXPECT_FALSE(m.setMaximumText("nan"));
  EXPECT_DOUBLE_EQ(m.maximum(), 2.0);
  EXPECT_TRUE(m.setMaximumText("100000.0"));
  EXPECT_TRUE(m.setMaximumText("0.1"));
}

AnswersData flatData(int rows, double value) {
  AnswersData d;
  d.rows = rows;
  d.outputs = 1;
  d.targets.assign(static_cast<std::size_t>(rows), value);
  d.answers = d.targets;
  d.realTargets = d.targets;
  d.realAnswers = d.targets;
  d.isTest.assign(static_cast<std::size_t>(rows), false);
  return d;
}

TEST(AnswersModel, SlidersDragEachOther) {
  AnswersModel m(100, 1);
  EXPECT_EQ(m.first(), 0);
  EXPECT_EQ(m.last(), 99);
  m.setLast(40);
  m.setFirst(60);  // past the last: the last follows
  EXPECT_EQ(m.first(), 60);
  EXPECT_EQ(m.last(), 60);
  m.setLast(70);
  m.setLast(20);  // before the first: the first follows
  EXPECT_EQ(m.first(), 20);
  EXPECT_EQ(m.last(), 20);
  m.setFirst(500);
  EXPECT_EQ(m.first(), 99);
}

TEST(AnswersModel, FlatRangesAreWidened) {
  AnswersModel m(5, 1);
  auto [bottom, top] = m.yRange(flatData(5, 3.0));
  EXPECT_DOUBLE_EQ(bottom, 3.0);
  EXPECT_DOUBLE_EQ(top, 3.0 + 1e-10);
  // Where 1e-10 vanishes beside the value the widening is relative, so the range never collapses.
  std::tie(bottom, top) = m.yRange(flatData(5, 1e12));
  EXPECT_GT(top, bottom);
  const AnswersGeometry g = m.layout(flatData(5, 1e12), 200, 100);
  for (const GraphPoint& p : g.targetLine) EXPECT_EQ(p.y, g.plot.bottom());
}

TEST(AnswersModel, RangeAndLinesOverTheSelection) {
  AnswersData d = flatData(6, 0.0);
  d.targets = {9.0, 1.0, 2.0, 3.0, 4.0, -9.0};
  d.answers = {0.0, 1.5, std::numeric_limits<double>::quiet_NaN(), 2.5, 3.0, 0.0};
  d.isTest = {false, false, true, false, true, false};
  AnswersModel m(6, 1);
  m.setLast(4);
  m.setFirst(1);
  auto [bottom, top] = m.yRange(d);  // rows 1 … 4 only, the NaN left out
  EXPECT_DOUBLE_EQ(bottom, 1.0);
  EXPECT_DOUBLE_EQ(top, 4.0);
  m.setColoring(true);
  const AnswersGeometry g = m.layout(d, 1000, 200);
  EXPECT_EQ(g.plot, (GraphRect{150, 10, 800, 170}));
  ASSERT_EQ(g.targetLine.size(), 4u);
  EXPECT_EQ(g.targetLine.front(), (GraphPoint{150, 180}));  // first example, lowest value
  EXPECT_EQ(g.targetLine.back(), (GraphPoint{950, 10}));    // last example, highest value
  EXPECT_EQ(g.firstLabel, "1");
  EXPECT_EQ(g.lastLabel, "4");
  EXPECT_EQ(g.topLabel, "      4");
  ASSERT_EQ(g.dots.size(), 4u);
  EXPECT_TRUE(g.dots[1].test);
  EXPECT_FALSE(g.dots[2].test);
  m.setRealScale(true);  // the real-scale copies are all 0 here
  EXPECT_DOUBLE_EQ(m.yRange(d).first, 0.0);
}

SignificanceChartModel chartWith(int inputs, std::vector<double> row) {
  std::vector<std::string> names;
  for (int i = 0; i < inputs; ++i) names.push_back("in" + std::to_string(i + 1));
  return SignificanceChartModel({std::move(row)}, {1.25}, {0.125}, names, {"out"});
}

TEST(SignificanceChartModel, TwentyFiveInputsScrollSevenFillTheWidth) {
  std::vector<double> row(25);
  for (int i = 0; i < 25; ++i) row[static_cast<std::size_t>(i)] = 0.01 * (i + 1);
  SignificanceChartModel many = chartWith(25, row);
  EXPECT_TRUE(many.sliderEnabled());
  EXPECT_EQ(many.sliderMaximum(), 5);
  many.setSliderPosition(9);
  EXPECT_EQ(many.sliderPosition(), 5);
  const auto g = many.layout(500, 200);
  ASSERT_EQ(g.bars.size(), 20u);
  EXPECT_EQ(g.bars.front().input, 5);
  EXPECT_EQ(g.bars.front().label, "6");
  EXPECT_EQ(g.bars.back().input, 24);
  EXPECT_EQ(g.bars.back().top, 0);  // the row's largest reaches full height

  SignificanceChartModel few = chartWith(7, {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7});
  EXPECT_FALSE(few.sliderEnabled());
  EXPECT_EQ(few.sliderMaximum(), 0);
  const auto f = few.layout(500, 200);
  ASSERT_EQ(f.bars.size(), 7u);
  EXPECT_EQ(f.strip, 50);
  EXPECT_EQ(f.bars.front().left, 50);
  EXPECT_EQ(f.bars.back().right, 500);
  EXPECT_EQ(f.bars[3].left, 50 + 3 * 450 / 7);
}

TEST(SignificanceChartModel, BarsRiseToTheirNormalisedSignificance) {
  SignificanceChartModel m = chartWith(3, {0.25, 0.5, 0.125});
  const auto g = m.layout(300, 200);
  EXPECT_EQ(g.maximumLabel, "0.500");
  EXPECT_EQ(g.bars[0].top, 100);  // (1 − 0.5) · 200
  EXPECT_EQ(g.bars[1].top, 0);
  EXPECT_EQ(g.bars[2].top, 150);
  EXPECT_EQ(m.predictabilityText(), "Mean predictability: 1.250 bits");
  EXPECT_EQ(m.varianceText(), "Variance: 0.125 bits");
}

TEST(SignificanceChartModel, AllZeroRowDrawsEmptyBars) {
  SignificanceChartModel m = chartWith(4, {0.0, 0.0, 0.0, 0.0});
  const auto g = m.layout(300, 200);
  EXPECT_EQ(g.maximumLabel, "0.000");
  ASSERT_EQ(g.bars.size(), 4u);
  for (const auto& bar : g.bars) EXPECT_EQ(bar.top, 200);
  EXPECT_EQ(m.hoverText(299, 300), "in4: 0.000");
}

TEST(SignificanceChartModel, HoverNeverNamesAnInputBeyondTheLast) {
  SignificanceChartModel m = chartWith(7, {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7});
  EXPECT_EQ(m.inputAt(499, 500), 6);
  EXPECT_EQ(m.hoverText(499, 500), "in7: 0.700");  // the value as computed, not normalised
  EXPECT_EQ(m.inputAt(51, 500), 0);
  EXPECT_EQ(m.hoverText(50, 500), "");  // on the strip's edge
  EXPECT_EQ(m.hoverText(500, 500), "");
  std::vector<double> row(25, 0.5);
  SignificanceChartModel many = chartWith(25, row);
  many.setSliderPosition(5);
  EXPECT_EQ(many.inputAt(499, 500), 24);
  EXPECT_EQ(many.inputAt(51, 500), 5);
  many.setSliderPosition(0);
  EXPECT_EQ(many.inputAt(499, 500), 19);
}

TEST(SignificanceChartModel, MissingRowsReadAsZero) {
  // Fewer rows and figures than outputs: every lookup still finds a value.
  SignificanceChartModel m({}, {}, {}, {"a", "b"}, {"x", "y"});
  m.setOutput(1);
  EXPECT_EQ(m.layout(100, 50).bars.size(), 2u);
  EXPECT_EQ(m.predictabilityText(), "Mean predictability: 0.000 bits");
}

}  // namespace
