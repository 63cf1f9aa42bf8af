#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <cstdint>
#include <vector>

#include "kohonen/engine/map_views.h"
#include "kohonen/workbench/qt/maps/map_layout.h"

namespace maps_test {

// Distinct class colours, none of them black, grey 128 or white.
inline const std::vector<MapColour> kColours = {
    {200, 30, 30}, {30, 160, 40}, {40, 60, 210}, {220, 200, 20}, {150, 40, 170}};

// A rows × columns average-mode picture: class (r + c) mod k, one hit per cell, all
// neighbour distances 1.
inline MapPicture makePicture(std::int32_t rows, std::int32_t columns, int k = 3) {
  MapPicture p;
  p.title = "feature map";
  p.mode = MapMode::Average;
  p.classes = MapGrid(rows, columns, 0);
  p.averages = MapGrid(rows, columns, 0);
  for (std::int32_t r = 0; r < rows; ++r)
    for (std::int32_t c = 0; c < columns; ++c) {
      p.classes(r, c) = (r + c) % k;
      p.averages(r, c) = r + c;
    }
  for (int i = 0; i < k; ++i) {
    p.lower.push_back(0.5 * i);
    p.upper.push_back(0.5 * (i + 1));
  }
  p.hits = MapGrid(rows, columns, 1);
  p.horizontal = MapGrid(rows, columns - 1, 1);
  p.vertical = MapGrid(rows - 1, columns, 1);
  p.colours.assign(kColours.begin(), kColours.begin() + k);
  return p;
}

inline QColor colourOf(const MapColour& c) {
  return QColor(c.red, c.green, c.blue);
}

inline QColor pixel(const QImage& image, int x, int y) {
  return QColor(image.pixel(x, y));
}

// Number of consecutive pixels of colour starting at (x, y) and stepping by (dx, dy).
inline int run(const QImage& image, int x, int y, int dx, int dy, const QColor& colour) {
  int n = 0;
  while (x >= 0 && y >= 0 && x < image.width() && y < image.height() && pixel(image, x, y) == colour) {
    ++n;
    x += dx;
    y += dy;
  }
  return n;
}

// The bounding box of the pixels inside area that are darker than threshold (grey level).
inline QRect inkBox(const QImage& image, const QRect& area, int threshold = 100) {
  QRect box;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (qGray(image.pixel(x, y)) < threshold) box = box.united(QRect(x, y, 1, 1));
  return box;
}

inline QRect toQRect(const PixelRect& r) {
  return QRect(r.left, r.top, r.width(), r.height());
}

}  // namespace maps_test
