#include "kohonen/workbench/qt/maps/map_raster.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>

namespace {

constexpr QRgb kBlack = 0xFF000000u;

// Characters of cell names: row letters and column digits.
constexpr char kNameCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// One character of the names font as coverage values, with its pen advance.
struct Glyph {
  QImage coverage;  // Format_Alpha8, the glyph's line height tall
  int left = 0;     // the coverage starts this many pixels left of the pen position
  double advance = 0;
};

// The name characters of one names-font size, rendered once. GUI thread only.
class NameGlyphs {
 public:
  explicit NameGlyphs(int size) {
    const QFont font = mapNamesFont(size);
    const QFontMetricsF metrics(font);
    lineHeight_ = metrics.height();
    const int height = static_cast<int>(std::ceil(lineHeight_));
    for (const char* p = kNameCharacters; *p; ++p) {
      const QString text{QLatin1Char(*p)};
      Glyph& g = glyphs_[static_cast<unsigned char>(*p)];
      g.advance = metrics.horizontalAdvance(text);
      g.left = 2 + static_cast<int>(std::ceil(std::max(0.0, -metrics.leftBearing(QLatin1Char(*p)))));
      const int width = g.left + static_cast<int>(std::ceil(g.advance)) + 4;
      QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
      canvas.fill(Qt::transparent);
      {
        QPainter painter(&canvas);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(g.left, metrics.ascent()), text);
      }
      g.coverage = canvas.convertToFormat(QImage::Format_Alpha8);
    }
  }
  double lineHeight() const { return lineHeight_; }
  const Glyph* glyph(char c) const {
    const Glyph& g = glyphs_[static_cast<unsigned char>(c)];
    return g.coverage.isNull() ? nullptr : &g;
  }

 private:
  double lineHeight_ = 0;
  std::array<Glyph, 128> glyphs_{};
};

const NameGlyphs& nameGlyphs(int size) {
  static std::map<int, std::unique_ptr<NameGlyphs>> cache;
  auto& entry = cache[size];
  if (!entry) entry = std::make_unique<NameGlyphs>(size);
  return *entry;
}

// Pixel access with every figure clipped to the image.
class Pixels {
 public:
  explicit Pixels(QImage& image)
      : bits_(image.bits()), stride_(image.bytesPerLine()), width_(image.width()), height_(image.height()) {}

  QRgb* row(int y) const { return reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(y) * stride_); }

  // Pixels left … right − 1 of rows top … bottom − 1.
  void fill(int left, int top, int right, int bottom, QRgb colour) const {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width_);
    bottom = std::min(bottom, height_);
    for (int y = top; y < bottom; ++y) std::fill(row(y) + left, row(y) + std::max(left, right), colour);
  }
  void fill(const PixelRect& r, QRgb colour) const { fill(r.left, r.top, r.right, r.bottom, colour); }

  // The one-pixel outline on the rectangle's own first and last rows and columns.
  void outline(const PixelRect& r) const {
    if (r.width() <= 0 || r.height() <= 0) return;
    fill(r.left, r.top, r.right, r.top + 1, kBlack);
    fill(r.left, r.bottom - 1, r.right, r.bottom, kBlack);
    fill(r.left, r.top, r.left + 1, r.bottom, kBlack);
    fill(r.right - 1, r.top, r.right, r.bottom, kBlack);
  }

  void plot(int x, int y) const {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) row(y)[x] = kBlack;
  }
  // Both end points included.
  void line(int x0, int y0, int x1, int y1) const {
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
      plot(x0, y0);
      if (x0 == x1 && y0 == y1) break;
      const int e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        x0 += sx;
      }
      if (e2 <= dx) {
        err += dx;
        y0 += sy;
      }
    }
  }

  // Black text coverage blended over the pixels, clipped to clip.
  void blendGlyph(const Glyph& g, int x, int y, const PixelRect& clip) const {
    const int left = std::max({x, clip.left, 0});
    const int top = std::max({y, clip.top, 0});
    const int right = std::min({x + g.coverage.width(), clip.right, width_});
    const int bottom = std::min({y + g.coverage.height(), clip.bottom, height_});
    for (int py = top; py < bottom; ++py) {
      const uchar* cover = g.coverage.constScanLine(py - y) + (left - x);
      QRgb* out = row(py) + left;
      for (int px = left; px < right; ++px, ++cover, ++out) {
        const int keep = 255 - *cover;
        if (keep == 255) continue;
        const QRgb p = *out;
        *out = qRgba(qRed(p) * keep / 255, qGreen(p) * keep / 255, qBlue(p) * keep / 255, qAlpha(p));
      }
    }
  }

 private:
  uchar* bits_;
  qsizetype stride_;
  int width_;
  int height_;
};

void drawName(const Pixels& pixels, const NameGlyphs& glyphs, const QString& name, const PixelRect& cell) {
  double width = 0;
  for (QChar ch : name)
    if (const Glyph* g = glyphs.glyph(static_cast<char>(ch.unicode()))) width += g->advance;
  // Centred on one line, as the painter places the same text.
  double pen = cell.left + (cell.width() - width) / 2.0;
  const int top = static_cast<int>(std::lround(cell.top + (cell.height() - glyphs.lineHeight()) / 2.0));
  for (QChar ch : name) {
    const Glyph* g = glyphs.glyph(static_cast<char>(ch.unicode()));
    if (!g) continue;
    const int x = static_cast<int>(std::lround(pen)) - g->left;
    // Only glyphs that reach into the cell cost anything.
    if (x < cell.right && x + g->coverage.width() > cell.left) pixels.blendGlyph(*g, x, top, cell);
    pen += g->advance;
  }
}

}  // namespace

bool rasterisable(const QImage& image) {
  const QImage::Format f = image.format();
  return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

void rasteriseCells(QImage& image, const MapScene& scene, const MapViewOptions& options,
                    const MapLayout& layout) {
  const Pixels pixels(image);
  const MapPicture& picture = scene.picture();
  const int k = scene.colourCount();
  std::vector<QRgb> colours;
  for (int i = 0; i < k; ++i) colours.push_back(scene.colour(i).rgb());
  pixels.fill(0, 0, layout.width(), layout.height(), options.background.rgb());
  const bool bands = options.uMatrix && scene.maxDistance() > 0;
  const NameGlyphs* glyphs = options.showNames ? &nameGlyphs(options.namesFontSize) : nullptr;

  for (std::int32_t r = 0; r < scene.rows(); ++r) {
    for (std::int32_t c = 0; c < scene.columns(); ++c) {
      PixelRect rect = layout.cell(r, c);
      if (options.cellSize) rect = hitSquare(rect, picture.hits(r, c), scene.maxHits());
      const double cls = picture.classes(r, c);
      if (!(cls >= 0) || cls >= k) {     // no data (a class outside the palette counts as none)
        if (options.cellSize) continue;  // an empty cell in cell size mode is not drawn
        pixels.line(rect.left, rect.top, rect.right - 1, rect.bottom - 1);
        pixels.line(rect.left, rect.bottom - 1, rect.right - 1, rect.top);
      } else {
        pixels.fill(rect, colours[static_cast<std::size_t>(cls)]);
        if (glyphs && rect.width() > 0 && rect.height() > 0)
          drawName(pixels, *glyphs, scene.nameText(r, c), rect);
      }
      if (bands) {
        const CellBands b = uMatrixBands(picture, scene.maxDistance(), r, c, rect);
        pixels.fill(rect.left, rect.top, rect.right, rect.top + b.top, kBlack);
        pixels.fill(rect.left, rect.bottom - b.bottom, rect.right, rect.bottom, kBlack);
        pixels.fill(rect.right - b.right, rect.top, rect.right, rect.bottom, kBlack);
        pixels.fill(rect.left, rect.top, rect.left + b.left, rect.bottom, kBlack);
      }
      pixels.outline(rect);
    }
  }
}
