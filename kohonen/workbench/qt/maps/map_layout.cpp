#include "kohonen/workbench/qt/maps/map_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Share of a cell's size that the band of the largest neighbour distance takes.
constexpr double kBandShare = 0.2;

int scaled(std::int64_t offset, std::int64_t extent, std::int64_t parts) {
  return static_cast<int>(offset * extent / parts);
}

}  // namespace

int minimumMapHeight(bool legend, int colours) {
  return legend ? kMinimumLegendMapHeight + kLegendLineHeight * colours : kMinimumMapHeight;
}

MapLayout::MapLayout(int width, int height, std::int32_t rows, std::int32_t columns, bool legend, int colours)
    : width_(width),
      height_(height),
      rows_(std::max(rows, 1)),
      columns_(std::max(columns, 1)),
      colours_(colours) {
  grid_.left = kMapMargin;
  grid_.top = kMapMargin;
  grid_.right = width - kMapMargin;
  grid_.bottom = legend ? height - 2 * kMapMargin - kLegendLineHeight * colours : height - kMapMargin;
}

PixelRect MapLayout::cell(std::int32_t r, std::int32_t c) const {
  const int w = grid_.width();
  const int h = grid_.height();
  return {grid_.left + scaled(c, w, columns_), grid_.top + scaled(r, h, rows_),
          grid_.left + scaled(c + 1, w, columns_), grid_.top + scaled(r + 1, h, rows_)};
}

std::optional<CellPos> MapLayout::cellAt(int x, int y) const {
  if (x < grid_.left || x >= grid_.right || y < grid_.top || y >= grid_.bottom) return std::nullopt;
  const auto r = static_cast<std::int32_t>(static_cast<std::int64_t>(y - grid_.top) * rows_ / grid_.height());
  const auto c =
      static_cast<std::int32_t>(static_cast<std::int64_t>(x - grid_.left) * columns_ / grid_.width());
  return CellPos{r, c};
}

PixelRect MapLayout::legendBox(int i) const {
  const int top = height_ + (i - colours_) * kLegendLineHeight - kMapMargin;
  return {kMapMargin, top, 40, top + kLegendLineHeight};
}

PixelRect MapLayout::legendText(int i) const {
  const PixelRect box = legendBox(i);
  return {60, box.top, width_, box.bottom};
}

PixelRect hitSquare(const PixelRect& cell, double hits, double maxHits) {
  const int s = std::min(cell.width(), cell.height());
  const double share = maxHits > 0 ? std::sqrt(hits / maxHits) : 0.0;
  const int g = static_cast<int>(std::floor(share * s * 0.5));
  const int cx = (cell.left + cell.right) / 2;
  const int cy = (cell.top + cell.bottom) / 2;
  return {cx - g, cy - g, cx + g, cy + g};
}

CellBands uMatrixBands(const MapPicture& picture, double maxDistance, std::int32_t r, std::int32_t c,
                       const PixelRect& cell) {
  CellBands bands;
  if (!(maxDistance > 0)) return bands;
  const std::int32_t rows = picture.classes.rows;
  const std::int32_t columns = picture.classes.columns;
  const double ch = cell.height();
  const double cw = cell.width();
  const auto band = [&](double distance, double extent) {
    const double thickness =
        std::isinf(distance) ? extent * kBandShare : distance * extent * kBandShare / maxDistance;
    // A distance that is not a finite number (or exceeds the largest) draws nothing or the
    // widest band rather than an undefined one.
    if (!(thickness > 0)) return 0;
    return static_cast<int>(std::min(thickness, extent * kBandShare));
  };
  if (r > 0) bands.top = band(picture.vertical(r - 1, c), ch);
  if (r < rows - 1) bands.bottom = band(picture.vertical(r, c), ch);
  if (c < columns - 1) bands.right = band(picture.horizontal(r, c), cw);
  if (c > 0) bands.left = band(picture.horizontal(r, c - 1), cw);
  return bands;
}

double maxHits(const MapPicture& picture) {
  double m = 0;
  for (double v : picture.hits.values) m = std::max(m, v);
  return m;
}

double maxDistance(const MapPicture& picture) {
  double m = 0;
  for (double v : picture.horizontal.values) m = std::max(m, v);
  for (double v : picture.vertical.values) m = std::max(m, v);
  return m;
}

std::string legendLine(const MapPicture& picture, int i) {
  if (picture.mode == MapMode::Existence) return i == 0 ? "Feature doesn't exist." : "Feature exists.";
  const auto k = static_cast<std::size_t>(i);
  if (k >= picture.lower.size() || k >= picture.upper.size()) return {};
  char text[64];
  std::snprintf(text, sizeof text, "% 5.3g ... % 5.3g", picture.lower[k], picture.upper[k]);
  return text;
}
