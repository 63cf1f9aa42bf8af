// The error viewer's axis rules without a window: layout, the moving linear window, the y
// mappings, the range growth of the incremental update, reading the edits, the reduced curve.

#include "mlp/workbench/graphs/error_viewer_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace {

const GraphRect kGraph{100, 50, 800, 400};

TEST(ErrorViewerLayout, UnitsOfTheScreenAndPerCentsOfTheClientArea) {
  const ErrorViewerLayout l = ErrorViewerLayout::compute(1280, 800, 1100, 300);
  EXPECT_EQ(l.unitX, 12);
  EXPECT_EQ(l.unitY, 8);
  EXPECT_EQ(l.headerHeight, 64);
  EXPECT_EQ(l.leftMargin, 128);
  EXPECT_EQ(l.bottomMargin, 48);
  // Frame: 1 % of w left, 1 % of h below the header, 98 % wide, down to the bottom.
  EXPECT_EQ(l.frame, (GraphRect{11, 67, 1078, 233}));
  // Graph: margin + 1 % of w, 5 % of h below the header, w − 5·(1 % of w) − margin wide.
  EXPECT_EQ(l.graph, (GraphRect{139, 79, 917, 173}));
  EXPECT_EQ(l.minimumWidth(), 1032);
}

TEST(ErrorViewerModel, LinearWindowMovesInStepsOfTwoWindows) {
  ErrorViewerModel m;
  ASSERT_EQ(m.window(), 500);
  m.beginFullPaint(2000);  // not yet beyond 4W
  EXPECT_EQ(m.windowStart(), 0);
  EXPECT_EQ(m.firstCurveEpoch(), 1);
  m.beginFullPaint(2001);
  EXPECT_EQ(m.windowStart(), 1000);
  m.beginFullPaint(2100);  // 500 per quarter and 2100 epochs: the axis spans 1000 … 3000
  EXPECT_EQ(m.windowStart(), 1000);
  EXPECT_EQ(m.firstCurveEpoch(), 1000);
  EXPECT_EQ(m.xOf(1000, kGraph), kGraph.left);
  EXPECT_EQ(m.xOf(3000, kGraph), kGraph.right());
  EXPECT_EQ(m.xOf(2000, kGraph), kGraph.left + kGraph.width / 2);
  std::vector<std::string> labels;
  for (const AxisMark& mark : m.xMarks(kGraph)) labels.push_back(mark.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"1000", "1500", "2000", "2500", "3000"}));
  m.beginFullPaint(3001);
  EXPECT_EQ(m.windowStart(), 2000);
}

TEST(ErrorViewerModel, LogarithmicXAxisRunsToTheWindowWithDecadeLabels) {
  ErrorViewerModel m;
  m.setScales(true, false, 500);
  EXPECT_EQ(m.xOf(1, kGraph), kGraph.left);
  EXPECT_EQ(m.xOf(500, kGraph), kGraph.right());
  EXPECT_GT(m.xOf(600, kGraph), kGraph.right());
  const auto marks = m.xMarks(kGraph);
  EXPECT_EQ(marks.size(), 9u + 9u + 5u);  // 1…9, 10…90, 100…500
  std::vector<std::string> labels;
  for (const AxisMark& mark : marks)
    if (!mark.label.empty()) labels.push_back(mark.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"10", "100"}));
  EXPECT_FALSE(marks.front().grid);  // epoch 1 is the left edge
}

TEST(ErrorViewerModel, YMappingsClampToTheGraph) {
  ErrorViewerModel m;  // linear 0 … 2
  EXPECT_EQ(m.yOf(2.0, kGraph), kGraph.top);
  EXPECT_EQ(m.yOf(0.0, kGraph), kGraph.bottom());
  EXPECT_EQ(m.yOf(0.5, kGraph), kGraph.top + 300);
  EXPECT_EQ(m.yOf(7.0, kGraph), kGraph.top);
  EXPECT_EQ(m.yOf(std::nan(""), kGraph), kGraph.bottom());
  m.setScales(false, true, 500);  // log 0.01 … 10: three decades
  EXPECT_EQ(m.yOf(0.1, kGraph), kGraph.top + 266);
  EXPECT_EQ(m.yOf(0.0, kGraph), kGraph.bottom());  // 1e-20 lies far below
  const auto marks = m.yMarks(kGraph);
  ASSERT_EQ(marks.size(), 4u);
  EXPECT_EQ(marks[0].position, kGraph.bottom());
  EXPECT_EQ(marks[0].label, "1e-02");
  EXPECT_EQ(marks[3].position, kGraph.top);
  EXPECT_EQ(marks[3].label, "1e+01");
  EXPECT_TRUE(marks[1].grid && marks[2].grid && !marks[0].grid && !marks[3].grid);
}

TEST(ErrorViewerModel, LinearLevelsAreLabelledFromTopToBottom) {
  ErrorViewerModel m;
  m.setLinearRange(1.0, 3.0);
  const auto marks = m.yMarks(kGraph);
  ASSERT_EQ(marks.size(), 5u);
  EXPECT_EQ(marks[0].label, "   3.000");
  EXPECT_EQ(marks[2].label, "   2.000");
  EXPECT_EQ(marks[4].label, "   1.000");
  EXPECT_EQ(marks[4].position, kGraph.bottom());
}

TEST(ErrorViewerModel, ErrorsBeyondTheLogarithmicRangeGrowItTenfold) {
  ErrorViewerModel m;
  m.setScales(false, true, 500);
  m.beginFullPaint(1);
  std::vector<float> train = {0.5f, 0.5f, 20.0f, 0.5f};
  std::vector<float> test = {0.5f, 0.5f, 0.5f, 0.005f};
  EXPECT_FALSE(m.advance(train.data(), test.data(), 0, 1, kGraph).fullRepaint);
  EXPECT_TRUE(m.advance(train.data(), test.data(), 1, 2, kGraph).fullRepaint);
  EXPECT_DOUBLE_EQ(m.logTop(), 100.0);
  EXPECT_DOUBLE_EQ(m.logBottom(), 0.01);
  EXPECT_TRUE(m.advance(train.data(), test.data(), 2, 3, kGraph).fullRepaint);
  EXPECT_DOUBLE_EQ(m.logBottom(), 0.001);
  // The linear range grew too (top = a + (a − top)), but it is not the one shown.
  EXPECT_DOUBLE_EQ(m.linearTop(), 38.0);
}

TEST(ErrorViewerModel, LinearRangeGrowthRepaintsOnlyWhenShown) {
  ErrorViewerModel m;  // linear 0 … 2
  m.beginFullPaint(1);
  std::vector<float> train = {1.0f, 1.0f, 3.0f};
  std::vector<float> test = {1.0f, 1.0f, 1.0f};
  EXPECT_TRUE(m.advance(train.data(), test.data(), 1, 2, kGraph).fullRepaint);
  EXPECT_DOUBLE_EQ(m.linearTop(), 4.0);
  EXPECT_DOUBLE_EQ(m.linearBottom(), 0.0);
}

TEST(ErrorViewerModel, ZeroErrorsOfAnEmptyTestSetLeaveTheLogarithmicBottom) {
  ErrorViewerModel m;
  m.setScales(false, true, 500);
  m.beginFullPaint(0);
  std::vector<float> train(400, 0.5f);
  std::vector<float> test(400, 0.0f);
  const ErrorViewerUpdate u = m.advance(train.data(), test.data(), 0, 399, kGraph);
  EXPECT_FALSE(u.fullRepaint);
  EXPECT_DOUBLE_EQ(m.logBottom(), 0.01);
  // The zero curve sits on the bottom line.
  EXPECT_EQ(u.testSegments.back()[1].y, kGraph.bottom());
}

TEST(ErrorViewerModel, IncrementalSegmentsUntilTheRightEnd) {
  ErrorViewerModel m;
  m.setScales(false, false, 10);  // 40 epochs across
  m.beginFullPaint(5);
  std::vector<float> train(60, 1.0f), test(60, 0.5f);
  ErrorViewerUpdate u = m.advance(train.data(), test.data(), 5, 8, kGraph);
  ASSERT_FALSE(u.fullRepaint);
  ASSERT_EQ(u.trainingSegments.size(), 3u);
  EXPECT_EQ(u.trainingSegments[0][0], (GraphPoint{m.xOf(5, kGraph), kGraph.top + 200}));
  EXPECT_EQ(u.trainingSegments[2][1], (GraphPoint{m.xOf(8, kGraph), kGraph.top + 200}));
  EXPECT_EQ(u.testSegments[0][0].y, kGraph.top + 300);
  EXPECT_FALSE(m.advance(train.data(), test.data(), 8, 40, kGraph).fullRepaint);
  // Epoch 41 lies right of the graph: the window moves on.
  EXPECT_TRUE(m.advance(train.data(), test.data(), 40, 41, kGraph).fullRepaint);
  m.beginFullPaint(41);
  EXPECT_EQ(m.windowStart(), 20);
}

TEST(ErrorViewerModel, LogarithmicXAxisStopsDrawingBeyondTheWindow) {
  ErrorViewerModel m;
  m.setScales(true, false, 10);
  m.beginFullPaint(5);
  std::vector<float> train(30, 1.0f), test(30, 0.5f);
  ErrorViewerUpdate u = m.advance(train.data(), test.data(), 5, 20, kGraph);
  EXPECT_FALSE(u.fullRepaint);
  // Segments up to the first point right of the graph (epoch 11), none after it.
  ASSERT_FALSE(u.trainingSegments.empty());
  EXPECT_EQ(u.trainingSegments.back()[1].x, m.xOf(11, kGraph));
  EXPECT_TRUE(m.advance(train.data(), test.data(), 20, 25, kGraph).trainingSegments.empty());
}

TEST(ErrorViewerModel, ReadingLinearEdits) {
  ErrorViewerModel m;
  m.readEdits("5", "3");  // top below bottom: bottom + 1
  EXPECT_DOUBLE_EQ(m.linearBottom(), 5.0);
  EXPECT_DOUBLE_EQ(m.linearTop(), 6.0);
  m.readEdits("-2", "0.5");  // a negative bottom becomes 0
  EXPECT_DOUBLE_EQ(m.linearBottom(), 0.0);
  EXPECT_DOUBLE_EQ(m.linearTop(), 0.5);
  m.readEdits("abc", "");  // as atof reads them
  EXPECT_DOUBLE_EQ(m.linearBottom(), 0.0);
  EXPECT_DOUBLE_EQ(m.linearTop(), 1.0);
  m.readEdits("1e300", "1");  // still a range, however large
  EXPECT_GT(m.linearTop(), m.linearBottom());
  m.readEdits("0.25", "1.5");
  EXPECT_EQ(m.bottomText(), "   0.250");
  EXPECT_EQ(m.topText(), "   1.500");
}

TEST(ErrorViewerModel, ReadingLogarithmicEditsRoundsToDecades) {
  ErrorViewerModel m;
  m.setScales(false, true, 500);
  m.readEdits("0", "0.5");  // not positive: 1e-6, then its decade
  EXPECT_DOUBLE_EQ(m.logBottom(), 1e-6);
  EXPECT_DOUBLE_EQ(m.logTop(), 1.0);
  m.readEdits("-3", "1e-9");  // the top is raised to the bottom
  EXPECT_DOUBLE_EQ(m.logBottom(), 1e-6);
  EXPECT_DOUBLE_EQ(m.logTop(), 1e-5);
  m.readEdits("0.05", "3");
  EXPECT_DOUBLE_EQ(m.logBottom(), 0.01);
  EXPECT_DOUBLE_EQ(m.logTop(), 10.0);
  m.readEdits("0.001", "1000");  // exact decades stay where they are
  EXPECT_DOUBLE_EQ(m.logBottom(), 0.001);
  EXPECT_DOUBLE_EQ(m.logTop(), 10000.0);
  EXPECT_EQ(m.bottomText(), "1e-03");
  EXPECT_EQ(m.topText(), "1e+04");
}

// For every pixel column: the lowest and highest y a polyline covers there, counting the
// columns of each segment's ends (a segment between two columns covers both of them).
std::map<int, std::pair<int, int>> columnExtents(const std::vector<GraphPoint>& points) {
  std::map<int, std::pair<int, int>> extents;
  for (const GraphPoint& p : points) {
    auto [it, fresh] = extents.try_emplace(p.x, p.y, p.y);
    if (!fresh) it->second = {std::min(it->second.first, p.y), std::max(it->second.second, p.y)};
  }
  return extents;
}

TEST(ErrorViewerModel, ReducedCurveCoversTheSamePixelsAsEveryPoint) {
  std::vector<float> errors(100001);
  for (std::size_t i = 0; i < errors.size(); ++i)
    errors[i] = static_cast<float>(0.5 + 0.4 * std::sin(i * 0.37) * std::exp(-1e-5 * i));
  errors[777] = std::nanf("");  // an error that is not a number sits on the bottom line
  struct Mode {
    bool xLog, yLog;
    int window;
  };
  // All 100,000 epochs across 800 pixels, linear and logarithmic; a window that moved on.
  for (const Mode mode : {Mode{false, false, 25000}, Mode{true, true, 100000}, Mode{false, true, 500}}) {
    ErrorViewerModel m;
    m.setScales(mode.xLog, mode.yLog, mode.window);
    m.beginFullPaint(100000);
    const std::vector<GraphPoint> reduced = m.curve(errors.data(), 100001, kGraph);
    std::vector<GraphPoint> every;
    for (long long i = m.firstCurveEpoch(); i <= 100000; ++i) {
      every.push_back({m.xOf(i, kGraph), m.yOf(errors[static_cast<std::size_t>(i)], kGraph)});
      if (every.back().x > kGraph.right()) break;
    }
    SCOPED_TRACE(mode.xLog ? "log x" : "linear x");
    EXPECT_LE(reduced.size(), 5u * (kGraph.width + 2));
    EXPECT_EQ(reduced.front(), every.front());
    EXPECT_EQ(reduced.back(), every.back());
    EXPECT_EQ(columnExtents(reduced), columnExtents(every));
  }
}

TEST(ErrorViewerModel, CurveStopsAtTheFirstPointRightOfTheGraph) {
  ErrorViewerModel m;
  m.setScales(true, false, 10);
  std::vector<float> errors(50, 1.0f);
  m.beginFullPaint(49);
  const auto points = m.curve(errors.data(), 50, kGraph);
  ASSERT_FALSE(points.empty());
  EXPECT_EQ(points.back().x, m.xOf(11, kGraph));
  // A painted count beyond the history reads no further than the history.
  m.beginFullPaint(500);
  m.setScales(false, false, 500);
  EXPECT_EQ(m.curve(errors.data(), 50, kGraph).back().x, m.xOf(49, kGraph));
}

}  // namespace
