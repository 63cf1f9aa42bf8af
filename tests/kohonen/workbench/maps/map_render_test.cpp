// The map picture as rendered: cell colours, cell-size squares, empty cells, U-matrix bands,
// names, the legend, the layout's cell lookup and the clipboard's bitmap and vector forms.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFontMetrics>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>
#include <limits>

#include "kohonen/workbench/qt/maps/map_layout.h"
#include "kohonen/workbench/qt/maps/map_renderer.h"
#include "map_test_helpers.h"
#include "shared/exceptions.h"

namespace maps_test {
namespace {

const QColor kGrey(128, 128, 128);

MapViewOptions plainOptions() {
  MapViewOptions o;
  o.cellSize = false;
  return o;
}

TEST(MapLayoutTest, CellsSplitTheGridByIntegerDivisionAndDoubleClicksFindThem) {
  // 320 × 220 client: grid 300 × 200 from (10, 10); 2 × 3 cells of 100 × 100.
  const MapLayout layout(320, 220, 2, 3, false, 4);
  EXPECT_EQ(layout.cell(0, 0), (PixelRect{10, 10, 110, 110}));
  EXPECT_EQ(layout.cell(1, 2), (PixelRect{210, 110, 310, 210}));
  EXPECT_EQ(layout.cellAt(10, 10), (CellPos{0, 0}));
  EXPECT_EQ(layout.cellAt(109, 109), (CellPos{0, 0}));
  EXPECT_EQ(layout.cellAt(110, 110), (CellPos{1, 1}));
  EXPECT_EQ(layout.cellAt(309, 209), (CellPos{1, 2}));
  // The margins belong to no cell.
  EXPECT_FALSE(layout.cellAt(9, 50));
  EXPECT_FALSE(layout.cellAt(310, 50));
  EXPECT_FALSE(layout.cellAt(50, 210));
  EXPECT_FALSE(layout.cellAt(50, 9));

  // Uneven splits: 3 columns over 200 pixels end at 76, 143 and 210.
  const MapLayout uneven(220, 220, 1, 3, false, 2);
  EXPECT_EQ(uneven.cell(0, 0).right, 76);
  EXPECT_EQ(uneven.cell(0, 1).right, 143);
  EXPECT_EQ(uneven.cell(0, 2).right, 210);

  // The legend of k lines takes 10 + 18·k pixels off the grid's height.
  const MapLayout legend(320, 400, 2, 3, true, 4);
  EXPECT_EQ(legend.grid().bottom, 400 - 20 - 72);
  EXPECT_EQ(legend.cellAt(50, 400 - 20 - 72), std::nullopt);
  EXPECT_EQ(legend.cellAt(50, 400 - 21 - 72), (CellPos{1, 0}));
  EXPECT_EQ(legend.legendBox(0), (PixelRect{10, 400 - 72 - 10, 40, 400 - 72 + 8}));
  EXPECT_EQ(legend.legendBox(3), (PixelRect{10, 400 - 18 - 10, 40, 400 + 8 - 18}));

  EXPECT_EQ(minimumMapHeight(false, 7), 220);
  EXPECT_EQ(minimumMapHeight(true, 2), 266);
  EXPECT_EQ(minimumMapHeight(true, 10), 410);
}

TEST(MapRenderTest, CellsAreFilledWithTheirClassColourOutlinedAndEmptyCellsCrossed) {
  MapPicture p = makePicture(2, 3);
  p.classes(0, 1) = kNoDataClass;
  p.hits(0, 1) = 0;
  const MapScene scene(p);
  const QImage image = renderMapImage(scene, plainOptions(), QSize(320, 220));
  ASSERT_EQ(image.size(), QSize(320, 220));

  EXPECT_EQ(pixel(image, 3, 3), kGrey);
  EXPECT_EQ(pixel(image, 315, 215), kGrey);
  for (std::int32_t r = 0; r < 2; ++r)
    for (std::int32_t c = 0; c < 3; ++c) {
      if (r == 0 && c == 1) continue;
      const int cx = 60 + 100 * c;
      const int cy = 60 + 100 * r;
      const QColor expected = colourOf(kColours[static_cast<std::size_t>((r + c) % 3)]);
      EXPECT_EQ(pixel(image, cx, cy), expected) << r << "," << c;
      // A one-pixel black outline on the cell's own first and last pixels.
      EXPECT_EQ(pixel(image, 10 + 100 * c, cy), QColor(Qt::black));
      EXPECT_EQ(pixel(image, 11 + 100 * c, cy), expected);
      EXPECT_EQ(pixel(image, 109 + 100 * c, cy), QColor(Qt::black));
      EXPECT_EQ(pixel(image, 108 + 100 * c, cy), expected);
    }
  // The empty cell (110 … 209 × 10 … 109) shows the background crossed by its diagonals.
  EXPECT_EQ(pixel(image, 160, 60), QColor(Qt::black));  // on the falling diagonal
  EXPECT_EQ(pixel(image, 160, 59), QColor(Qt::black));  // on the rising one
  EXPECT_EQ(pixel(image, 125, 60), kGrey);
  EXPECT_EQ(pixel(image, 190, 100), kGrey);
}

TEST(MapRenderTest, CellSizeModeScalesSquaresByTheSquareRootOfTheHits) {
  // 2 × 2 cells of 100 × 120 pixels: the smaller side is 100.
  MapPicture p = makePicture(2, 2);
  p.hits(0, 0) = 16;
  p.hits(0, 1) = 4;
  p.hits(1, 0) = 0;
  p.classes(1, 0) = kNoDataClass;
  p.hits(1, 1) = 1;
  const MapScene scene(p);
  MapViewOptions options;  // cell size mode is the window's first setting
  ASSERT_TRUE(options.cellSize);
  const QImage image = renderMapImage(scene, options, QSize(220, 260));

  // Extent of the drawn square along the cell's middle row and column.
  const auto extent = [&](std::int32_t r, std::int32_t c) {
    const int left = 10 + 100 * c, top = 10 + 120 * r;
    const int cx = left + 50, cy = top + 60;
    int across = 0, down = 0;
    for (int x = left; x < left + 100; ++x) across += pixel(image, x, cy) != kGrey;
    for (int y = top; y < top + 120; ++y) down += pixel(image, cx, y) != kGrey;
    return std::make_pair(across, down);
  };
  // The fullest cell spans the whole smaller side; √(4/16) gives half of it, √(1/16) a quarter
  // (2·⌊0.25·100·0.5⌋ = 24).
  EXPECT_EQ(extent(0, 0), std::make_pair(100, 100));
  EXPECT_EQ(extent(0, 1), std::make_pair(50, 50));
  EXPECT_EQ(extent(1, 1), std::make_pair(24, 24));
  // An empty cell draws nothing in cell size mode.
  EXPECT_EQ(extent(1, 0), std::make_pair(0, 0));
  // The squares are centred: the half-full one runs from 135 to 184 in its cell 110 … 209.
  EXPECT_EQ(pixel(image, 134, 70), kGrey);
  EXPECT_EQ(pixel(image, 135, 70), QColor(Qt::black));
  EXPECT_EQ(pixel(image, 184, 70), QColor(Qt::black));
  EXPECT_EQ(pixel(image, 185, 70), kGrey);
}

TEST(MapRenderTest, UMatrixBandsGrowWithTheDistanceUpToAFifthOfTheCell) {
  // 3 × 3 cells of 100 × 100; the largest distance lies between (1, 0) and (1, 1).
  MapPicture p = makePicture(3, 3);
  for (double& d : p.horizontal.values) d = 0.5;
  for (double& d : p.vertical.values) d = 0.5;
  p.horizontal(1, 0) = 2.0;
  p.vertical(0, 1) = 1.0;
  const MapScene scene(p);
  MapViewOptions options = plainOptions();
  options.uMatrix = true;
  const QImage image = renderMapImage(scene, options, QSize(320, 320));
  const QColor black(Qt::black);

  // Both neighbours draw a band on their common edge: 20 + 20 pixels for the largest distance.
  EXPECT_EQ(run(image, 109, 160, -1, 0, black), 20);
  EXPECT_EQ(run(image, 110, 160, +1, 0, black), 20);
  // Half the largest distance: 10 on each side of the edge between (0, 1) and (1, 1).
  EXPECT_EQ(run(image, 160, 109, 0, -1, black), 10);
  EXPECT_EQ(run(image, 160, 110, 0, +1, black), 10);
  // A quarter: 5 pixels.
  EXPECT_EQ(run(image, 60, 109, 0, -1, black), 5);
  // The map's outer edges carry only the outline.
  EXPECT_EQ(run(image, 60, 10, 0, +1, black), 1);
  EXPECT_EQ(run(image, 10, 60, +1, 0, black), 1);
  // No band is wider than 20 % of its cell anywhere: every cell's middle still shows its colour
  // over at least the inner 60 %.
  for (std::int32_t r = 0; r < 3; ++r)
    for (std::int32_t c = 0; c < 3; ++c) {
      const QColor colour = colourOf(kColours[static_cast<std::size_t>((r + c) % 3)]);
      EXPECT_GE(run(image, 30 + 100 * c, 60 + 100 * r, 1, 0, colour), 60) << r << "," << c;
      EXPECT_GE(run(image, 60 + 100 * c, 30 + 100 * r, 0, 1, colour), 60) << r << "," << c;
    }
}

TEST(MapLayoutTest, BandsOfDistancesThatAreNoFiniteNumberStayWithinTheCell) {
  MapPicture p = makePicture(2, 2);
  p.horizontal(0, 0) = std::numeric_limits<double>::infinity();
  p.horizontal(1, 0) = std::numeric_limits<double>::quiet_NaN();
  const PixelRect cell{10, 10, 110, 110};
  // An infinite largest distance: the infinite band is the widest, the others vanish.
  EXPECT_EQ(uMatrixBands(p, std::numeric_limits<double>::infinity(), 0, 0, cell).right, 20);
  EXPECT_EQ(uMatrixBands(p, std::numeric_limits<double>::infinity(), 0, 0, cell).bottom, 0);
  EXPECT_EQ(uMatrixBands(p, 2.0, 1, 0, cell).right, 0);
  EXPECT_EQ(uMatrixBands(p, 2.0, 0, 1, cell).left, 20);
}

TEST(MapRenderTest, OneCellMapDrawsNoBandsAndOneRowMapsOnlySideBands) {
  MapViewOptions options = plainOptions();
  options.uMatrix = true;
  {
    const MapScene scene(makePicture(1, 1));
    EXPECT_EQ(scene.maxDistance(), 0.0);
    const QImage image = renderMapImage(scene, options, QSize(220, 220));
    int off = 0;
    for (int y = 11; y < 209; ++y)
      for (int x = 11; x < 209; ++x) off += pixel(image, x, y) != colourOf(kColours[0]);
    EXPECT_EQ(off, 0);
  }
  {
    // One row of two cells of 100 × 200: a vertical matrix with no rows, bands only sideways.
    const MapScene scene(makePicture(1, 2));
    ASSERT_EQ(scene.picture().vertical.rows, 0);
    const QImage image = renderMapImage(scene, options, QSize(220, 220));
    EXPECT_EQ(run(image, 109, 110, -1, 0, QColor(Qt::black)), 20);
    EXPECT_EQ(run(image, 60, 10, 0, 1, QColor(Qt::black)), 1);
  }
}

TEST(MapRenderTest, LegendShowsEachColourWithItsBoundsOrTheExistenceTexts) {
  MapPicture p = makePicture(2, 2, 3);
  p.lower = {-0.25, 0.5, 1234.5};
  p.upper = {0.5, 1.0, 1e-7};
  EXPECT_EQ(legendLine(p, 0), "-0.25 ...   0.5");
  EXPECT_EQ(legendLine(p, 1), "  0.5 ...     1");
  EXPECT_EQ(legendLine(p, 2), " 1.23e+03 ...  1e-07");

  MapPicture e = makePicture(2, 2, 2);
  e.mode = MapMode::Existence;
  e.lower.clear();
  e.upper.clear();
  EXPECT_EQ(legendLine(e, 0), "Feature doesn't exist.");
  EXPECT_EQ(legendLine(e, 1), "Feature exists.");

  // Drawn: k boxes of 30 × 18 above the bottom margin, text from x = 60, the grid above them.
  const MapScene scene(p);
  MapViewOptions options = plainOptions();
  options.extraInfo = true;
  const QImage image = renderMapImage(scene, options, QSize(300, 300));
  for (int i = 0; i < 3; ++i) {
    const int top = 300 + (i - 3) * 18 - 10;
    EXPECT_EQ(pixel(image, 25, top + 9), colourOf(kColours[static_cast<std::size_t>(i)])) << i;
    EXPECT_EQ(pixel(image, 10, top + 9), QColor(Qt::black));
    EXPECT_EQ(pixel(image, 25, top), QColor(Qt::black));
    EXPECT_EQ(pixel(image, 25, top + 17), QColor(Qt::black));
    // The text's ink stays within its line, right of x = 60.
    const QRect ink = inkBox(image, QRect(41, top + 1, 259, 16));
    ASSERT_FALSE(ink.isNull()) << i;
    EXPECT_GE(ink.left(), 60) << i;
  }
  // The grid ends 10 pixels above the first legend line.
  EXPECT_EQ(pixel(image, 100, 225), QColor(Qt::black));  // last grid row's bottom outline
  EXPECT_EQ(pixel(image, 100, 230), kGrey);
  // Longer lines of the monospaced legend font reach further right.
  const QRect first = inkBox(image, QRect(60, 300 - 54 - 10, 240, 18));
  const QRect third = inkBox(image, QRect(60, 300 - 18 - 10, 240, 18));
  EXPECT_GT(third.right(), first.right());
}

TEST(MapRenderTest, NamesAreWrittenCentredInTheChosenPixelHeight) {
  MapPicture p = makePicture(1, 1);
  p.colours = {kColours[3]};  // a light yellow under black text
  const MapScene scene(p);
  MapViewOptions options = plainOptions();
  options.showNames = true;
  const QRect inner(11, 11, 198, 198);

  QRect inkAt[21];
  for (int size : {14, 20}) {
    options.namesFontSize = size;
    const QImage image = renderMapImage(scene, options, QSize(220, 220));
    inkAt[size] = inkBox(image, inner);
    ASSERT_FALSE(inkAt[size].isNull()) << size;
    // The ink of "A1" is as tall as the font's own glyphs of that size say.
    const QRect glyphs = QFontMetrics(mapNamesFont(size)).tightBoundingRect(QStringLiteral("A1"));
    EXPECT_NEAR(inkAt[size].height(), glyphs.height(), 1) << size;
    EXPECT_NEAR(inkAt[size].center().x(), 110, 2) << size;
    EXPECT_NEAR(inkAt[size].center().y(), 110, 4) << size;
  }
  EXPECT_EQ(mapNamesFont(20).pixelSize(), 20);
  EXPECT_EQ(mapNamesFont(20).family(), QStringLiteral("Arial"));
  EXPECT_NEAR(static_cast<double>(inkAt[20].height()) / inkAt[14].height(), 20.0 / 14.0, 0.12);

  // A name wider than its cell is clipped to the cell: nothing dark leaks onto the neighbour.
  MapPicture wide = makePicture(1, 12, 1);
  wide.colours = {kColours[3]};
  const MapScene many(wide);
  options.namesFontSize = 20;
  const QImage image = renderMapImage(many, options, QSize(140, 220));  // 10-pixel cells
  EXPECT_TRUE(inkBox(image, QRect(0, 0, 10, 220)).isNull());
  EXPECT_TRUE(inkBox(image, QRect(130, 0, 10, 220)).isNull());
}

TEST(MapBitmapTest, HeaderAndBottomUpPaddedRowsOfTheDeviceIndependentBitmap) {
  // 3 × 2 pixels: rows of 9 bytes padded to 12.
  QImage image(3, 2, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(1, 2, 3));
  image.setPixel(1, 0, qRgb(4, 5, 6));
  image.setPixel(2, 0, qRgb(7, 8, 9));
  image.setPixel(0, 1, qRgb(10, 11, 12));
  image.setPixel(1, 1, qRgb(13, 14, 15));
  image.setPixel(2, 1, qRgb(16, 17, 18));
  const QByteArray dib = deviceIndependentBitmap(image);
  ASSERT_EQ(dib.size(), 40 + 2 * 12);
  const auto u8 = [&](int i) { return static_cast<unsigned>(static_cast<unsigned char>(dib[i])); };
  const auto u32 = [&](int i) { return u8(i) | u8(i + 1) << 8 | u8(i + 2) << 16 | u8(i + 3) << 24; };
  EXPECT_EQ(u32(0), 40u);                // header size
  EXPECT_EQ(u32(4), 3u);                 // width
  EXPECT_EQ(u32(8), 2u);                 // height (positive: bottom row first)
  EXPECT_EQ(u8(12) | u8(13) << 8, 1u);   // planes
  EXPECT_EQ(u8(14) | u8(15) << 8, 24u);  // bits per pixel
  EXPECT_EQ(u32(16), 0u);                // no compression
  EXPECT_EQ(u32(20), 24u);               // ((3·24 + 31) / 32)·4·2
  for (int i = 24; i < 40; ++i) EXPECT_EQ(u8(i), 0u) << i;
  // The bottom row comes first, blue-green-red, then three zero bytes of padding.
  const unsigned bottom[] = {12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0};
  const unsigned top[] = {3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0};
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(u8(40 + i), bottom[i]) << i;
    EXPECT_EQ(u8(52 + i), top[i]) << i;
  }

  // A width of 4 needs no padding; widths 1 and 2 pad to 4 and 8 bytes.
  EXPECT_EQ(deviceIndependentBitmap(QImage(4, 5, QImage::Format_RGB32)).size(), 40 + 5 * 12);
  EXPECT_EQ(deviceIndependentBitmap(QImage(1, 3, QImage::Format_RGB32)).size(), 40 + 3 * 4);
  EXPECT_EQ(deviceIndependentBitmap(QImage(2, 1, QImage::Format_RGB32)).size(), 40 + 8);

  // As a .bmp file any decoder reads it back to the same pixels.
  const QByteArray file = bitmapFile(dib);
  EXPECT_EQ(file.left(2), QByteArray("BM"));
  const QImage decoded = QImage::fromData(file, "BMP");
  ASSERT_EQ(decoded.size(), image.size());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(decoded.pixel(x, y), image.pixel(x, y)) << x << "," << y;

  try {
    deviceIndependentBitmap(QImage());
    ADD_FAILURE() << "a null image must not give a bitmap";
  } catch (const MyException& e) {
    EXPECT_STREQ(e.what(), "Internal Windows Error");
  }
}

TEST(MapBitmapTest, TheVectorFormIsDrawnByTheSameRenderer) {
  MapPicture p = makePicture(2, 3);
  const MapScene scene(p);
  MapViewOptions options = plainOptions();
  options.extraInfo = true;
  options.showNames = true;
  const QByteArray svg = renderMapSvg(scene, options, QSize(320, 300), QStringLiteral("feature map"));
  ASSERT_FALSE(svg.isEmpty());
  EXPECT_TRUE(svg.contains("<svg"));
  EXPECT_TRUE(svg.contains("feature map"));
  EXPECT_TRUE(svg.contains("A1") || svg.contains(">A<"));

  QSvgRenderer renderer(svg);
  ASSERT_TRUE(renderer.isValid());
  QImage drawn(320, 300, QImage::Format_RGB32);
  drawn.fill(Qt::white);
  {
    QPainter painter(&drawn);
    renderer.render(&painter);
  }
  const QImage direct = renderMapImage(scene, options, QSize(320, 300));
  // Cell interiors, the background and a legend box match the raster picture.
  for (const QPoint at : {QPoint(3, 3), QPoint(20, 20), QPoint(290, 150), QPoint(25, 300 - 54 - 1)})
    EXPECT_EQ(pixel(drawn, at.x(), at.y()), pixel(direct, at.x(), at.y())) << at.x() << "," << at.y();
}

}  // namespace
}  // namespace maps_test

namespace maps_test {
namespace {

// The pixels written straight into a 32-bit image are those the painter draws on any other
// device (here a 24-bit image, which takes the painter's path).
TEST(MapRenderTest, DirectPixelsMatchThePaintersFigures) {
  MapPicture p = makePicture(4, 5, 4);
  p.classes(1, 2) = kNoDataClass;
  p.hits(1, 2) = 0;
  p.classes(3, 0) = kNoDataClass;
  p.hits(3, 0) = 0;
  for (std::size_t i = 0; i < p.hits.values.size(); ++i) p.hits.values[i] += static_cast<double>(i % 7);
  for (std::size_t i = 0; i < p.horizontal.values.size(); ++i)
    p.horizontal.values[i] = 0.1 * static_cast<double>(i % 9);
  for (std::size_t i = 0; i < p.vertical.values.size(); ++i)
    p.vertical.values[i] = 0.1 * static_cast<double>(i % 5);
  const MapScene scene(p);
  for (int mode = 0; mode < 3; ++mode) {
    MapViewOptions options;
    options.cellSize = mode == 0;
    options.uMatrix = mode == 1;
    options.extraInfo = mode == 2;
    options.background = QColor(10, 200, 250);
    // Square cells of 100 × 100 (the two ways of stepping a diagonal agree on squares only).
    const QSize size(520, mode == 2 ? 400 + 30 + 18 * 4 : 420);
    const QImage direct = renderMapImage(scene, options, size);
    QImage painted(size, QImage::Format_RGB888);
    {
      QPainter painter(&painted);
      renderMap(painter, scene, options, size);
    }
    const QImage other = painted.convertToFormat(QImage::Format_RGB32);
    int differing = 0;
    QRect where;
    for (int y = 0; y < size.height(); ++y)
      for (int x = 0; x < size.width(); ++x)
        if (direct.pixel(x, y) != other.pixel(x, y)) {
          ++differing;
          where = where.united(QRect(x, y, 1, 1));
        }
    EXPECT_EQ(differing, 0) << "mode " << mode << " in " << where.x() << "," << where.y() << " "
                            << where.width() << "x" << where.height();
  }
}

}  // namespace
}  // namespace maps_test
