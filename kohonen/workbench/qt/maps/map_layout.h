#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kohonen/engine/kohonen_net.h"
#include "kohonen/engine/map_views.h"

// Where a map window draws what, in client pixels, free of any toolkit. Rectangles follow the
// drawing convention of the picture: left and top inclusive, right and bottom exclusive.

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Margins and legend metrics of a map window's client area.
inline constexpr int kMapMargin = 10;
inline constexpr int kLegendLineHeight = 18;
inline constexpr int kMinimumMapWidth = 220;
inline constexpr int kMinimumMapHeight = 220;
// Height without the legend lines: the grid, its margins and the gap above the legend.
inline constexpr int kMinimumLegendMapHeight = 230;

// The smallest client size: 220 × 220, or 220 × (230 + 18·k) with the legend of k colours.
int minimumMapHeight(bool legend, int colours);

// The grid and its cells for a client of width × height showing rows × columns cells, with or
// without the legend of k colours.
class MapLayout {
 public:
  MapLayout(int width, int height, std::int32_t rows, std::int32_t columns, bool legend, int colours);

  int width() const { return width_; }
  int height() const { return height_; }
  // Left 10, top 10, width w − 20, height h − 20 (h − 30 − 18·k with the legend).
  const PixelRect& grid() const { return grid_; }
  // Cell (r, c): the grid split by integer division of the products.
  PixelRect cell(std::int32_t r, std::int32_t c) const;
  // The cell under a double click at (x, y), or nothing outside the grid.
  std::optional<CellPos> cellAt(int x, int y) const;

  // Legend entry i (0 ≤ i < k): the colour box at x 10 … 40 and the text from x 60 to the right
  // edge, both 18 pixels high and stacked above the bottom margin.
  PixelRect legendBox(int i) const;
  PixelRect legendText(int i) const;

 private:
  int width_;
  int height_;
  std::int32_t rows_;
  std::int32_t columns_;
  int colours_;
  PixelRect grid_;
};

// In cell size mode a cell becomes the square around its centre whose half side is
// ⌊√(hits / maxHits) · s · 0.5⌋ for the smaller side s; a cell without rows becomes a point.
PixelRect hitSquare(const PixelRect& cell, double hits, double maxHits);

// The U-matrix bands of a cell: the thickness of the black band along each edge (0 for none),
// each at most 20 % of the cell's size along that direction.
struct CellBands {
  int top = 0;
  int bottom = 0;
  int left = 0;
  int right = 0;
};
CellBands uMatrixBands(const MapPicture& picture, double maxDistance, std::int32_t r, std::int32_t c,
                       const PixelRect& cell);

// Largest element of the hit counts (0 for an empty grid).
double maxHits(const MapPicture& picture);
// Largest neighbour distance over both distance grids (those that exist); 0 for a 1 × 1 net.
double maxDistance(const MapPicture& picture);

// Text of legend entry i: "Feature doesn't exist." / "Feature exists." in existence mode,
// "% 5.3g ... % 5.3g" of the class bounds in average mode.
std::string legendLine(const MapPicture& picture, int i);
