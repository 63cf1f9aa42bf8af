#include "kohonen/workbench/qt/maps/map_renderer.h"

#include <QBuffer>
#include <QPaintEngine>
#include <QPainter>
#include <QSvgGenerator>
#include <algorithm>
#include <cstring>
#include <new>

#include "kohonen/engine/cell_index.h"
#include "kohonen/workbench/qt/maps/map_layout.h"
#include "kohonen/workbench/qt/maps/map_raster.h"
#include "shared/exceptions.h"

namespace {

constexpr char kNamesFontFamily[] = "Arial";
constexpr char kLegendFontFamily[] = "Courier New";
constexpr int kLegendFontSize = 12;
constexpr char kInternalError[] = "Internal Windows Error";
constexpr char kOutOfMemory[] = "Out of memory";

constexpr int kInfoHeaderSize = 40;
constexpr int kFileHeaderSize = 14;
constexpr int kBitsPerPixel = 24;

QRect toQRect(const PixelRect& r) {
  return QRect(r.left, r.top, r.width(), r.height());
}

// Fills the rectangle's pixels and outlines them with the 1-pixel black pen, as a filled
// rectangle of the picture's convention (right and bottom edges exclusive).
void outline(QPainter& p, const PixelRect& r) {
  if (r.width() <= 0 || r.height() <= 0) return;
  p.drawRect(QRect(r.left, r.top, r.width() - 1, r.height() - 1));
}

void putLE16(char* at, std::uint16_t v) {
  at[0] = static_cast<char>(v & 0xFF);
  at[1] = static_cast<char>(v >> 8);
}
void putLE32(char* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

QByteArray allocate(qsizetype size) {
  try {
    return QByteArray(size, '\0');
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kOutOfMemory);
  }
}

}  // namespace

MapScene::MapScene(MapPicture picture) : picture_(std::move(picture)) {
  maxHits_ = ::maxHits(picture_);
  maxDistance_ = ::maxDistance(picture_);
  colours_.reserve(picture_.colours.size());
  for (const MapColour& c : picture_.colours) colours_.emplace_back(c.red, c.green, c.blue);
  const std::size_t cells = static_cast<std::size_t>(rows()) * static_cast<std::size_t>(columns());
  names_.resize(cells);
  laidOut_.resize(cells);
}

const QString& MapScene::nameText(std::int32_t r, std::int32_t c) const {
  QString& text =
      names_[static_cast<std::size_t>(r) * static_cast<std::size_t>(columns()) + static_cast<std::size_t>(c)];
  if (text.isEmpty()) text = QString::fromStdString(kohonen::cellName(r, c));
  return text;
}

const QStaticText& MapScene::name(std::int32_t r, std::int32_t c) const {
  QStaticText& text = laidOut_[static_cast<std::size_t>(r) * static_cast<std::size_t>(columns()) +
                               static_cast<std::size_t>(c)];
  if (text.text().isEmpty()) {
    text.setText(nameText(r, c));
    text.setTextFormat(Qt::PlainText);
    text.setPerformanceHint(QStaticText::AggressiveCaching);
  }
  return text;
}

QFont mapNamesFont(int size) {
  QFont font(QString::fromLatin1(kNamesFontFamily));
  font.setPixelSize(size);
  return font;
}

QFont mapLegendFont() {
  QFont font(QString::fromLatin1(kLegendFontFamily));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(kLegendFontSize);
  return font;
}

namespace {

// The image under painter when its cells can be written straight into its pixels.
QImage* directTarget(QPainter& painter) {
  QPaintDevice* device = painter.device();
  if (!device || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  if (!rasterisable(*image) || image->devicePixelRatio() != 1.0) return nullptr;
  if (!painter.deviceTransform().isIdentity() || painter.hasClipping()) return nullptr;
  if (!painter.paintEngine() || painter.paintEngine()->type() != QPaintEngine::Raster) return nullptr;
  return image;
}

void paintCells(QPainter& painter, const MapScene& scene, const MapViewOptions& options,
                const MapLayout& layout, QSize size) {
  const MapPicture& picture = scene.picture();
  const int k = scene.colourCount();
  const bool bands = options.uMatrix && scene.maxDistance() > 0;

  // Every figure of a cell stays inside the cell and cells do not overlap, so the figures can
  // be drawn kind by kind over all cells (fills, diagonals, names, bands, outlines) with one
  // call per kind and colour: the same picture as cell by cell, in far fewer elements.
  std::vector<std::vector<QRect>> fills(static_cast<std::size_t>(k));
  std::vector<QLine> diagonals;
  std::vector<std::pair<PixelRect, QPoint>> names;  // cell and its address
  std::vector<QRect> blackBands;
  std::vector<QRect> outlines;
  for (std::int32_t r = 0; r < scene.rows(); ++r) {
    for (std::int32_t c = 0; c < scene.columns(); ++c) {
      PixelRect rect = layout.cell(r, c);
      if (options.cellSize) rect = hitSquare(rect, picture.hits(r, c), scene.maxHits());
      const double cls = picture.classes(r, c);
      if (!(cls >= 0) || cls >= k) {     // no data (a class outside the palette counts as none)
        if (options.cellSize) continue;  // an empty cell in cell size mode is not drawn
        diagonals.emplace_back(rect.left, rect.top, rect.right - 1, rect.bottom - 1);
        diagonals.emplace_back(rect.left, rect.bottom - 1, rect.right - 1, rect.top);
      } else {
        fills[static_cast<std::size_t>(cls)].push_back(toQRect(rect));
        if (options.showNames && rect.width() > 0 && rect.height() > 0) names.push_back({rect, QPoint(c, r)});
      }
      if (bands) {
        const CellBands b = uMatrixBands(picture, scene.maxDistance(), r, c, rect);
        if (b.top > 0) blackBands.emplace_back(rect.left, rect.top, rect.width(), b.top);
        if (b.bottom > 0) blackBands.emplace_back(rect.left, rect.bottom - b.bottom, rect.width(), b.bottom);
        if (b.right > 0) blackBands.emplace_back(rect.right - b.right, rect.top, b.right, rect.height());
        if (b.left > 0) blackBands.emplace_back(rect.left, rect.top, b.left, rect.height());
      }
      // The outline on the rectangle's own first and last pixels.
      if (rect.width() > 0 && rect.height() > 0)
        outlines.emplace_back(rect.left, rect.top, rect.width() - 1, rect.height() - 1);
    }
  }

  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillRect(QRect(QPoint(0, 0), size), options.background);
  painter.setPen(Qt::NoPen);
  for (int i = 0; i < k; ++i) {
    const auto& rects = fills[static_cast<std::size_t>(i)];
    if (rects.empty()) continue;
    painter.setBrush(scene.colour(i));
    painter.drawRects(rects.data(), static_cast<int>(rects.size()));
  }
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::NoBrush);
  if (!diagonals.empty()) painter.drawLines(diagonals.data(), static_cast<int>(diagonals.size()));

  if (!names.empty()) {
    const QFont namesFont = mapNamesFont(options.namesFontSize);
    painter.setFont(namesFont);
    const QFontMetrics metrics(namesFont);
    for (const auto& [rect, at] : names) {
      const QStaticText& name = scene.name(at.y(), at.x());
      const QSizeF textSize = name.size();
      const QPointF topLeft(rect.left + (rect.width() - textSize.width()) / 2.0,
                            rect.top + (rect.height() - metrics.height()) / 2.0);
      // One line centred in the cell and clipped to it, over the cell's colour.
      const bool fits = textSize.width() <= rect.width() && metrics.height() <= rect.height();
      if (!fits) painter.setClipRect(toQRect(rect));
      painter.drawStaticText(topLeft, name);
      if (!fits) painter.setClipping(false);
    }
  }

  if (!blackBands.empty()) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRects(blackBands.data(), static_cast<int>(blackBands.size()));
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
  }
  if (!outlines.empty()) painter.drawRects(outlines.data(), static_cast<int>(outlines.size()));
}

}  // namespace

void renderMap(QPainter& painter, const MapScene& scene, const MapViewOptions& options, QSize size) {
  const MapPicture& picture = scene.picture();
  const int k = scene.colourCount();
  const MapLayout layout(size.width(), size.height(), scene.rows(), scene.columns(), options.extraInfo, k);

  painter.save();
  if (QImage* image = directTarget(painter))
    rasteriseCells(*image, scene, options, layout);
  else
    paintCells(painter, scene, options, layout, size);

  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::NoBrush);
  if (options.extraInfo) {
    painter.setFont(mapLegendFont());
    for (int i = 0; i < k; ++i) {
      const PixelRect box = layout.legendBox(i);
      painter.fillRect(toQRect(box), scene.colour(i));
      outline(painter, box);
      painter.drawText(toQRect(layout.legendText(i)), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       QString::fromStdString(legendLine(picture, i)));
    }
  }
  painter.restore();
}

QImage renderMapImage(const MapScene& scene, const MapViewOptions& options, QSize size) {
  if (size.isEmpty()) return {};
  QImage image(size, QImage::Format_RGB32);
  if (image.isNull()) return {};
  QPainter painter(&image);
  renderMap(painter, scene, options, size);
  return image;
}

QByteArray renderMapSvg(const MapScene& scene, const MapViewOptions& options, QSize size,
                        const QString& title) {
  if (size.isEmpty()) return {};
  QByteArray svg;
  QBuffer buffer(&svg);
  if (!buffer.open(QIODevice::WriteOnly)) return {};
  QSvgGenerator generator;
  generator.setOutputDevice(&buffer);
  generator.setSize(size);
  generator.setViewBox(QRect(QPoint(0, 0), size));
  generator.setTitle(title);
  {
    QPainter painter;
    if (!painter.begin(&generator)) return {};
    renderMap(painter, scene, options, size);
    painter.end();
  }
  return svg;
}

QByteArray deviceIndependentBitmap(const QImage& image) {
  if (image.isNull()) throw MyException(kInternalError);
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  if (rgb.isNull()) throw MyException(kInternalError);
  const int width = rgb.width();
  const int height = rgb.height();
  const qsizetype stride = ((static_cast<qsizetype>(width) * kBitsPerPixel + 31) / 32) * 4;
  const qsizetype imageSize = stride * height;
  QByteArray dib = allocate(kInfoHeaderSize + imageSize);
  char* h = dib.data();
  putLE32(h + 0, kInfoHeaderSize);
  putLE32(h + 4, static_cast<std::uint32_t>(width));
  putLE32(h + 8, static_cast<std::uint32_t>(height));
  putLE16(h + 12, 1);  // planes
  putLE16(h + 14, kBitsPerPixel);
  putLE32(h + 16, 0);  // no compression
  putLE32(h + 20, static_cast<std::uint32_t>(imageSize));
  // Resolutions and colour counts (bytes 24 … 39) stay 0.
  for (int y = 0; y < height; ++y) {
    const auto* src = rgb.constScanLine(height - 1 - y);  // bottom row first
    char* dst = h + kInfoHeaderSize + y * stride;
    for (int x = 0; x < width; ++x) {
      dst[3 * x + 0] = static_cast<char>(src[3 * x + 2]);
      dst[3 * x + 1] = static_cast<char>(src[3 * x + 1]);
      dst[3 * x + 2] = static_cast<char>(src[3 * x + 0]);
    }
  }
  return dib;
}

QByteArray bitmapFile(const QByteArray& dib) {
  QByteArray file = allocate(kFileHeaderSize + dib.size());
  char* f = file.data();
  f[0] = 'B';
  f[1] = 'M';
  putLE32(f + 2, static_cast<std::uint32_t>(file.size()));
  // Bytes 6 … 9 are reserved (0); the pixels follow both headers.
  putLE32(f + 10, kFileHeaderSize + kInfoHeaderSize);
  std::memcpy(f + kFileHeaderSize, dib.constData(), static_cast<std::size_t>(dib.size()));
  return file;
}
