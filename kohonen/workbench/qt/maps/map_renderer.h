#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QSize>
#include <QStaticText>
#include <QString>
#include <vector>

#include "kohonen/engine/map_views.h"

class QPainter;

// What a map window shows of its picture, changed by its menu.
struct MapViewOptions {
  static constexpr int kDefaultNamesFontSize = 14;

  bool showNames = false;
  bool cellSize = true;  // cell size mode and U-matrix mode exclude each other
  bool uMatrix = false;
  bool extraInfo = false;  // the legend
  QColor background{128, 128, 128};
  int namesFontSize = kDefaultNamesFontSize;  // pixels, 8 … 20
};

// A map picture with what every rendering needs derived once: the largest hit count and
// neighbour distance, the class colours and the cells' names.
class MapScene {
 public:
  explicit MapScene(MapPicture picture);

  const MapPicture& picture() const { return picture_; }
  std::int32_t rows() const { return picture_.classes.rows; }
  std::int32_t columns() const { return picture_.classes.columns; }
  int colourCount() const { return static_cast<int>(colours_.size()); }
  double maxHits() const { return maxHits_; }
  double maxDistance() const { return maxDistance_; }
  const QColor& colour(int i) const { return colours_[static_cast<std::size_t>(i)]; }
  // The name of cell (r, c), made once; and laid out once for painters.
  const QString& nameText(std::int32_t r, std::int32_t c) const;
  const QStaticText& name(std::int32_t r, std::int32_t c) const;

 private:
  MapPicture picture_;
  double maxHits_ = 0;
  double maxDistance_ = 0;
  std::vector<QColor> colours_;
  mutable std::vector<QString> names_;
  mutable std::vector<QStaticText> laidOut_;
};

// "Arial" with a height of size pixels (names) and "Courier New" of 12 pixels (legend).
QFont mapNamesFont(int size);
QFont mapLegendFont();

// Draws the whole picture for a client of the given size onto any paint device: background,
// every cell row by row, then the legend. The one drawing code of the window, the clipboard
// and the files. On a 32-bit image painted without transformation or clipping the cells are
// written straight into its pixels (the same figures, far fewer calls).
void renderMap(QPainter& painter, const MapScene& scene, const MapViewOptions& options, QSize size);

// The picture rendered into a new image of that size (null when the size is empty).
QImage renderMapImage(const MapScene& scene, const MapViewOptions& options, QSize size);
// The picture as an SVG document of that size; empty when it could not be generated.
QByteArray renderMapSvg(const MapScene& scene, const MapViewOptions& options, QSize size,
                        const QString& title);

// The device-independent bitmap of an image: the 40-byte information header (size 40, width,
// height, 1 plane, 24 bits, no compression, image size ((width·24 + 31) / 32)·4·height, zero
// resolutions and colour counts) followed by the pixel rows bottom row first, each row blue,
// green, red per pixel and padded with zeros to a multiple of 4 bytes. Throws MyException
// ("Internal Windows Error") for a null image and OutOfMemoryException ("Out of memory") when
// the block cannot be had.
QByteArray deviceIndependentBitmap(const QImage& image);
// The same bitmap as a .bmp file: the 14-byte file header in front of it.
QByteArray bitmapFile(const QByteArray& dib);
