#pragma once

#include <string>

// Small pieces every graph model uses: integer rectangles and points in device pixels (the
// pictures are drawn with whole-pixel coordinates, as the off-screen bitmaps were), and the
// printf-style formatting of the numbers the pictures show.

struct GraphPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const GraphPoint&, const GraphPoint&) = default;
};

struct GraphRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int right() const { return left + width; }
  int bottom() const { return top + height; }
  bool contains(int x, int y) const { return x >= left && x <= right() && y >= top && y <= bottom(); }
  friend bool operator==(const GraphRect&, const GraphRect&) = default;
};

// A tick or grid level of an axis: its pixel position along the axis and its label (empty for an
// unlabelled tick); grid marks whether a dotted grid line runs across the graph there.
struct AxisMark {
  int position = 0;
  std::string label;
  bool grid = false;
};

// snprintf with one double or int argument into a std::string ("%8.3f", "%3.0e", "%i", …).
std::string formatNumber(const char* format, double value);
std::string formatInteger(const char* format, long long value);

// Truncates toward zero into an int, saturating at the int range; NaN gives `ifNaN`.
int truncateToInt(double value, int ifNaN = 0);
