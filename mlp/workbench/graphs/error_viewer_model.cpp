#include "mlp/workbench/graphs/error_viewer_model.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// The most decades a logarithmic axis is drawn with; the range rules keep far fewer.
constexpr int kMaxDecades = 400;
// Edits are read into this magnitude at most, so a range and its widening stay finite.
constexpr double kLargestEditValue = 1e300;

// atof's reading: the longest number at the start of the text, 0 when there is none; a value
// that is not finite reads as 0 too.
double readNumber(const std::string& text) {
  const double value = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(value)) return 0.0;
  return std::clamp(value, -kLargestEditValue, kLargestEditValue);
}

// The exponent of the decade at or below a positive value: 10^k ≤ value < 10^(k+1), with the
// rounding of log10 near exact powers corrected.
int decadeBelow(double value) {
  int k = static_cast<int>(std::floor(std::log10(value)));
  if (std::pow(10.0, k + 1) <= value) ++k;
  if (std::pow(10.0, k) > value) --k;
  return k;
}

}  // namespace

ErrorViewerLayout ErrorViewerLayout::compute(int screenWidth, int screenHeight, int width, int height) {
  ErrorViewerLayout l;
  l.unitX = screenWidth / 100;
  l.unitY = screenHeight / 100;
  l.headerHeight = screenHeight * 8 / 100;
  l.leftMargin = screenWidth * 10 / 100;
  l.bottomMargin = screenHeight * 6 / 100;
  l.width = width;
  l.height = height;
  const int frameLeft = width / 100;
  l.frame.left = frameLeft;
  l.frame.top = height / 100 + l.headerHeight;
  l.frame.width = std::max(0, 98 * width / 100);
  l.frame.height = std::max(0, height - l.frame.top);
  l.graph.left = l.leftMargin + frameLeft;
  l.graph.top = 5 * height / 100 + l.headerHeight;
  l.graph.width = std::max(0, width - 5 * frameLeft - l.leftMargin);
  l.graph.height = std::max(0, height - l.bottomMargin - l.graph.top);
  return l;
}

void ErrorViewerModel::setScales(bool xLog, bool yLog, int window) {
  xLog_ = xLog;
  yLog_ = yLog;
  if (window > 0) window_ = window;
}

void ErrorViewerModel::setLinearRange(double bottom, double top) {
  linearBottom_ = bottom;
  linearTop_ = top > bottom ? top : bottom + 1.0;
}

void ErrorViewerModel::setLogRange(double bottom, double top) {
  if (bottom > 0.0 && top > bottom) {
    logBottom_ = bottom;
    logTop_ = top;
  }
}

std::string ErrorViewerModel::bottomText() const {
  return yLog_ ? formatNumber("%3.0e", logBottom_) : formatNumber("%8.3f", linearBottom_);
}

std::string ErrorViewerModel::topText() const {
  return yLog_ ? formatNumber("%3.0e", logTop_) : formatNumber("%8.3f", linearTop_);
}

void ErrorViewerModel::readEdits(const std::string& bottomText, const std::string& topText) {
  const double first = readNumber(bottomText);
  const double second = readNumber(topText);
  if (!yLog_) {
    double bottom = first < 0.0 ? 0.0 : first;
    double top = second;
    if (!(top > bottom)) {
      top = bottom + 1.0;
      // A bottom so large that adding 1 changes nothing still gets a range.
      if (!(top > bottom)) top = bottom + std::abs(bottom) * 1e-6;
    }
    linearBottom_ = bottom;
    linearTop_ = top;
    return;
  }
  double a = first > 0.0 ? first : kLogDefaultBottom;
  a = std::max(a, 1.0 / kLargestEditValue);
  double b = std::max(second, a);
  logBottom_ = std::pow(10.0, decadeBelow(a));
  logTop_ = std::pow(10.0, decadeBelow(b) + 1);
}

long long ErrorViewerModel::windowStart() const {
  const long long w = window_;
  const long long n = paintedCount_;
  if (n <= 4 * w) return 0;
  return 2 * w * (n / (2 * w) - 1);
}

long long ErrorViewerModel::firstCurveEpoch() const {
  if (xLog_) return 1;
  return static_cast<long long>(paintedCount_) > 4LL * window_ ? windowStart() : 1;
}

int ErrorViewerModel::xOf(long long epoch, const GraphRect& graph) const {
  if (xLog_) {
    if (epoch < 1) return graph.left;
    const double span = std::log10(std::max(window_, 2));
    return graph.left + truncateToInt(std::log10(static_cast<double>(epoch)) / span * graph.width);
  }
  const long long quarterSpan = 4LL * window_;
  const long long offset = (epoch - windowStart()) * graph.width / quarterSpan;
  return graph.left + static_cast<int>(std::clamp<long long>(offset, -(1LL << 30), 1LL << 30));
}

int ErrorViewerModel::yOf(double error, const GraphRect& graph) const {
  double t;
  if (yLog_) {
    const double e = error > 0.0 ? error : kLogFloor;
    t = std::log10(e / logBottom_) / std::log10(logTop_ / logBottom_);
  } else {
    t = (error - linearBottom_) / (linearTop_ - linearBottom_);
  }
  // An error that is not a number sits on the bottom line.
  double y = std::isnan(t) ? graph.bottom() : graph.top + (1.0 - t) * graph.height;
  y = std::clamp(y, static_cast<double>(graph.top), static_cast<double>(graph.bottom()));
  return truncateToInt(y, graph.bottom());
}

std::vector<AxisMark> ErrorViewerModel::xMarks(const GraphRect& graph) const {
  std::vector<AxisMark> marks;
  if (!xLog_) {
    const long long start = windowStart();
    for (int k = 0; k <= 4; ++k)
      marks.push_back({graph.left + k * graph.width / 4,
                       formatInteger("%i", start + k * static_cast<long long>(window_)), k >= 1 && k <= 3});
    return marks;
  }
  // Every 1 … 9 × 10^d up to W, the decades labelled.
  for (long long decade = 1; decade <= window_; decade *= 10) {
    for (int m = 1; m <= 9; ++m) {
      const long long epoch = m * decade;
      if (epoch > window_) break;
      const int x = xOf(epoch, graph);
      const bool labelled = m == 1 && decade >= 10;
      marks.push_back(
          {x, labelled ? formatInteger("%i", epoch) : std::string(), x > graph.left && x < graph.right()});
    }
  }
  return marks;
}

std::vector<AxisMark> ErrorViewerModel::yMarks(const GraphRect& graph) const {
  std::vector<AxisMark> marks;
  if (!yLog_) {
    for (int k = 0; k <= 4; ++k)
      marks.push_back({graph.top + k * graph.height / 4,
                       formatNumber("%8.3f", linearTop_ + (linearBottom_ - linearTop_) * k / 4.0),
                       k >= 1 && k <= 3});
    return marks;
  }
  const double decades = std::round(std::log10(logTop_ / logBottom_));
  const int d = std::clamp(std::isfinite(decades) ? static_cast<int>(decades) : 1, 1, kMaxDecades);
  for (int k = 0; k <= d; ++k)
    marks.push_back({graph.top + (d - k) * graph.height / d,
                     formatNumber("%3.0e", logBottom_ * std::pow(10.0, k)), k >= 1 && k < d});
  return marks;
}

long long ErrorViewerModel::nextColumnEpoch(long long epoch, int x, long long last,
                                            const GraphRect& graph) const {
  // The first epoch whose x lies beyond x, estimated by inverting the mapping, then corrected
  // against xOf itself so that rounding can never put an epoch in the wrong column.
  const long long column = static_cast<long long>(x) - graph.left + 1;
  long long estimate = epoch + 1;
  if (graph.width > 0) {
    if (xLog_) {
      const double span = std::log10(std::max(window_, 2));
      const double e = std::ceil(std::pow(10.0, static_cast<double>(column) * span / graph.width));
      if (e < static_cast<double>(last) + 1.0)
        estimate = std::max(estimate, static_cast<long long>(e));
      else
        estimate = last + 1;
    } else {
      const long long quarterSpan = 4LL * window_;
      estimate = std::max(estimate, windowStart() + (column * quarterSpan + graph.width - 1) / graph.width);
    }
  } else {
    estimate = last + 1;  // every epoch in one column
  }
  estimate = std::min(estimate, last + 1);
  while (estimate > epoch + 1 && xOf(estimate - 1, graph) > x) --estimate;
  while (estimate <= last && xOf(estimate, graph) <= x) ++estimate;
  return estimate;
}

std::vector<GraphPoint> ErrorViewerModel::curve(const float* errors, int count,
                                                const GraphRect& graph) const {
  std::vector<GraphPoint> points;
  if (errors == nullptr || count <= 0) return points;
  const long long last = std::min<long long>(paintedCount_, count - 1);
  auto push = [&](GraphPoint p) {
    if (points.empty() || !(points.back() == p)) points.push_back(p);
  };
  // Each pixel column's run of epochs becomes its first, highest, lowest and last point, which
  // cover the same pixels as every point would; the y mapping falls as the error rises, so the
  // run's largest error gives its highest point.
  long long i = firstCurveEpoch();
  while (i <= last) {
    const int x = xOf(i, graph);
    const long long end = x > graph.right() ? i + 1 : nextColumnEpoch(i, x, last, graph);
    float largest = errors[i], smallest = errors[i];
    bool unknown = false;
    for (long long k = i; k < end; ++k) {
      const float e = errors[k];
      if (std::isnan(e)) {
        unknown = true;
        continue;
      }
      if (!(e <= largest)) largest = e;
      if (!(e >= smallest)) smallest = e;
    }
    push({x, yOf(errors[i], graph)});
    if (!std::isnan(largest)) push({x, yOf(largest, graph)});
    if (!std::isnan(smallest)) push({x, yOf(smallest, graph)});
    if (unknown) push({x, graph.bottom()});
    push({x, yOf(errors[end - 1], graph)});
    // The curve stops at the first point right of the graph.
    if (x > graph.right()) break;
    i = end;
  }
  return points;
}

bool ErrorViewerModel::growRanges(double larger, double smaller) {
  bool logChanged = false;
  bool linearChanged = false;
  // The logarithmic range follows positive errors only: a zero error (an empty test set) sits
  // on the bottom line instead of lowering the bottom every epoch until it underflows.
  double smallestPositive = std::numeric_limits<double>::infinity();
  for (double e : {larger, smaller})
    if (e > 0.0 && std::isfinite(e)) smallestPositive = std::min(smallestPositive, e);
  if (smallestPositive < logBottom_) {
    logBottom_ /= 10.0;
    logChanged = true;
  }
  if (std::isfinite(larger) && larger > logTop_ && logTop_ * 10.0 < std::numeric_limits<double>::max()) {
    logTop_ *= 10.0;
    logChanged = true;
  }
  if (std::isfinite(larger) && larger > linearTop_) {
    linearTop_ = larger + (larger - linearTop_);
    linearChanged = true;
  }
  if (std::isfinite(smaller) && smaller < linearBottom_) {
    linearBottom_ = smaller - (linearBottom_ - smaller);
    linearChanged = true;
  }
  if (linearBottom_ < 0.0) linearBottom_ = 0.0;
  return yLog_ ? logChanged : linearChanged;
}

ErrorViewerUpdate ErrorViewerModel::advance(const float* trainingErrors, const float* testErrors, int from,
                                            int to, const GraphRect& graph) {
  ErrorViewerUpdate update;
  if (trainingErrors == nullptr || testErrors == nullptr || to <= from) return update;
  bool rangeChanged = false;
  for (int k = std::max(from + 1, 0); k <= to; ++k) {
    const double train = trainingErrors[k];
    const double test = testErrors[k];
    rangeChanged |= growRanges(std::max(train, test), std::min(train, test));
  }
  if (rangeChanged) {
    update.fullRepaint = true;
    return update;
  }
  // A linear axis moves on by 2W once the newest epoch passes its right end; a logarithmic one
  // ends at W, and the curve simply stops at the first point right of it.
  if (!xLog_ && xOf(to, graph) > graph.right()) {
    update.fullRepaint = true;
    return update;
  }
  const long long first = std::max<long long>(from + 1, firstCurveEpoch() + 1);
  for (long long k = first; k <= to; ++k) {
    const int x0 = xOf(k - 1, graph);
    if (x0 > graph.right()) break;
    const int x1 = xOf(k, graph);
    update.trainingSegments.push_back(
        {GraphPoint{x0, yOf(trainingErrors[k - 1], graph)}, GraphPoint{x1, yOf(trainingErrors[k], graph)}});
    update.testSegments.push_back(
        {GraphPoint{x0, yOf(testErrors[k - 1], graph)}, GraphPoint{x1, yOf(testErrors[k], graph)}});
  }
  return update;
}
