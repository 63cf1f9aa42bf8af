#pragma once

#include <array>
#include <string>
#include <vector>

#include "mlp/workbench/graphs/graph_geometry.h"

// The error viewer's layout in screen units: everything is measured in per cents of the screen
// (the header strip, the margins) or of the client area (the frame and the graph).
struct ErrorViewerLayout {
  int unitX = 0;         // 1 % of the screen width
  int unitY = 0;         // 1 % of the screen height
  int headerHeight = 0;  // 8 % of the screen height
  int leftMargin = 0;    // 10 % of the screen width
  int bottomMargin = 0;  // 6 % of the screen height
  int width = 0;         // client area
  int height = 0;
  GraphRect frame;  // the thick green frame
  GraphRect graph;  // the plotting rectangle

  // For a screen of screenWidth × screenHeight and a client area of width × height; every value
  // truncated to an integer.
  static ErrorViewerLayout compute(int screenWidth, int screenHeight, int width, int height);
  // The smallest client size the window may be dragged to: 86 units wide, 300 pixels high.
  int minimumWidth() const { return 86 * unitX; }
  static constexpr int kMinimumHeight = 300;
};

// What the incremental update asks of the window after new epochs.
struct ErrorViewerUpdate {
  // The y range changed on the shown scale, or the newest epoch lies right of the graph:
  // the graph must be painted afresh.
  bool fullRepaint = false;
  // Otherwise the segments to draw, epoch k − 1 to k for every new epoch k.
  std::vector<std::array<GraphPoint, 2>> trainingSegments;
  std::vector<std::array<GraphPoint, 2>> testSegments;
};

// The error viewer's state and every rule of its axes: the scales, the window W (epochs per
// quarter of a linear x axis), the linear and logarithmic y ranges, and the epoch count of the
// last full paint, which fixes where a linear x axis starts. The histories are arrays of
// epochCount + 1 errors (entry 0 is measured before the first epoch). No Qt; the window and
// the batch mode draw what it computes.
class ErrorViewerModel {
 public:
  // The window list, in its order.
  static constexpr std::array<int, 15> kWindowChoices = {
      10, 25, 50, 100, 250, 500, 1000, 2500, 5000, 10000, 25000, 50000, 100000, 250000, 500000};
  static constexpr int kDefaultWindow = 500;
  // What the logarithmic y mapping puts in place of an error that is not positive.
  static constexpr double kLogFloor = 1e-20;
  // What "Reading the edits" puts in place of a logarithmic bottom that is not positive.
  static constexpr double kLogDefaultBottom = 1e-6;

  bool xLog() const { return xLog_; }
  bool yLog() const { return yLog_; }
  int window() const { return window_; }
  double linearBottom() const { return linearBottom_; }
  double linearTop() const { return linearTop_; }
  double logBottom() const { return logBottom_; }
  double logTop() const { return logTop_; }
  // The y range on the shown scale.
  double bottom() const { return yLog_ ? logBottom_ : linearBottom_; }
  double top() const { return yLog_ ? logTop_ : linearTop_; }

  // The three lists' choices (a list closed its drop-down); a window not in kWindowChoices is
  // taken as it is if positive, else ignored.
  void setScales(bool xLog, bool yLog, int window);
  void setLinearRange(double bottom, double top);
  void setLogRange(double bottom, double top);

  // The two edits' texts for the shown scale: "%8.3f" linear, "%3.0e" logarithmic.
  std::string bottomText() const;
  std::string topText() const;
  // Reading the edits (one lost the focus) into the shown scale's range. Linear: a negative
  // bottom becomes 0, a top not above the bottom becomes bottom + 1. Logarithmic: a bottom that
  // is not positive becomes 1e-6, a top below the bottom is raised to it, then the bottom is
  // rounded down to its decade and the top up to the next decade. Text that is not a number
  // reads as 0, as atof reads it.
  void readEdits(const std::string& bottomText, const std::string& topText);

  // Starts a full paint over epochCount epochs: records the count that fixes the x axis.
  void beginFullPaint(int epochCount) { paintedCount_ = epochCount; }
  int paintedCount() const { return paintedCount_; }

  // First epoch of a linear x axis: 0 until the painted count exceeds 4W, then
  // 2W · (⌊N / 2W⌋ − 1), so the newest epochs stay in the right half.
  long long windowStart() const;
  // The first epoch the curves start at: 1 until N exceeds 4W, then the window start.
  long long firstCurveEpoch() const;

  // x of epoch i and y of error e in `graph` (truncated; y clamped to the graph, x not, so a
  // caller can tell a point right of the graph).
  int xOf(long long epoch, const GraphRect& graph) const;
  int yOf(double error, const GraphRect& graph) const;

  // The axes' ticks and grid levels for the current state.
  std::vector<AxisMark> xMarks(const GraphRect& graph) const;
  std::vector<AxisMark> yMarks(const GraphRect& graph) const;

  // The polyline of one history from the first curve epoch to the painted count, stopping at
  // the first point right of the graph. Runs of points in one pixel column are reduced to their
  // first, lowest, highest and last point, which covers the same pixels.
  std::vector<GraphPoint> curve(const float* errors, int count, const GraphRect& graph) const;

  // The incremental update for epochs from + 1 … to (to ≤ the histories' last index): grows the
  // y ranges for each epoch's larger and smaller error and either asks for a full repaint or
  // lists the new segments. `from` is the last epoch already drawn.
  ErrorViewerUpdate advance(const float* trainingErrors, const float* testErrors, int from, int to,
                            const GraphRect& graph);

 private:
  // The first epoch after `epoch` (at x) whose x differs, or last + 1.
  long long nextColumnEpoch(long long epoch, int x, long long last, const GraphRect& graph) const;
  // Grows both ranges for one epoch; returns whether the shown scale's range changed.
  bool growRanges(double larger, double smaller);

  bool xLog_ = false;
  bool yLog_ = false;
  int window_ = kDefaultWindow;
  double linearBottom_ = 0.0;
  double linearTop_ = 2.0;
  double logBottom_ = 0.01;
  double logTop_ = 10.0;
  int paintedCount_ = 0;
};
