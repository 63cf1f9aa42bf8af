// The "PC Analyzer": its picture at known pixels, the labels, the case without variance, and the
// dialog's combo box feeding the request.
#include "kohonen/workbench/qt/dialogs/pc_analyzer_dialog.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QRect>
#include <QSvgGenerator>

#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/qt/dialogs/pc_curve_renderer.h"
#include "tests/kohonen/workbench/dialogs/dialog_test_helpers.h"

namespace {

const QColor kWhite(255, 255, 255);
const QColor kPlot(220, 220, 220);
const QColor kBlue(0, 0, 200);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

RealMatrix column(std::initializer_list<double> values) {
  RealMatrix m(static_cast<std::int32_t>(values.size()), 1);
  std::int32_t i = 0;
  for (double v : values) m(i++, 0) = v;
  return m;
}

// The box around the pixels inside area that are not white.
QRect inkBox(const QImage& image, const QRect& area) {
  QRect box;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (image.pixelColor(x, y) != kWhite) box |= QRect(x, y, 1, 1);
  return box;
}

TEST(PcCurvePictureTest, CurveMarkerFrameAndGridAtKnownPixels) {
  // Eigenvalues 2, 1, 0.5, 0.5 in a 330 × 230 picture: plot (30, 10) – (320, 200), W = 290,
  // H = 190; curve through (30, 105), (126, 58), (223, 34), (320, 10); entry 2 selected.
  const QImage image = pcCurveImage(QSize(330, 230), {2.0, 3.0, 3.5, 4.0}, 2);
  ASSERT_EQ(image.size(), QSize(330, 230));
  EXPECT_EQ(image.pixelColor(327, 3), kWhite);
  EXPECT_EQ(image.pixelColor(327, 215), kWhite);
  EXPECT_EQ(image.pixelColor(60, 190), kPlot);
  EXPECT_EQ(image.pixelColor(300, 120), kPlot);

  // The blue curve, three pixels wide, on the middles of its first and last segments.
  EXPECT_EQ(image.pixelColor(78, 81), kBlue);
  EXPECT_EQ(image.pixelColor(78, 80), kBlue);
  EXPECT_EQ(image.pixelColor(78, 84), kPlot);
  EXPECT_EQ(image.pixelColor(271, 22), kBlue);
  EXPECT_EQ(image.pixelColor(174, 46), kBlue);

  // The red marker, one pixel wide: across at y = 34 from the left edge, then down at x = 223.
  EXPECT_EQ(image.pixelColor(150, 34), kRed);
  EXPECT_EQ(image.pixelColor(50, 34), kRed);
  EXPECT_EQ(image.pixelColor(150, 33), kPlot);
  EXPECT_EQ(image.pixelColor(150, 35), kPlot);
  EXPECT_EQ(image.pixelColor(223, 130), kRed);
  EXPECT_EQ(image.pixelColor(223, 190), kRed);
  EXPECT_EQ(image.pixelColor(224, 130), kPlot);
  // Nothing of the marker beyond its corner.
  EXPECT_EQ(image.pixelColor(260, 34), kPlot);

  // The frame, three pixels wide, and the grid over the curve at ¼, ½, ¾.
  for (int x : {29, 30, 31}) EXPECT_EQ(image.pixelColor(x, 130), kBlack) << x;
  EXPECT_EQ(image.pixelColor(33, 130), kPlot);
  for (int y : {199, 200, 201}) EXPECT_EQ(image.pixelColor(60, y), kBlack) << y;
  for (int x : {102, 175, 247}) {
    EXPECT_EQ(image.pixelColor(x, 190), kBlack) << x;
    EXPECT_EQ(image.pixelColor(x + 1, 190), kPlot) << x;
  }
  for (int y : {57, 105, 152}) {
    EXPECT_EQ(image.pixelColor(300, y), kBlack) << y;
    EXPECT_EQ(image.pixelColor(300, y + 1), kPlot) << y;
  }
  // The grid crosses the curve: black wins where they meet.
  EXPECT_EQ(image.pixelColor(102, 70), kBlack);
}

TEST(PcCurvePictureTest, LabelsSitWhereTheyBelongAndTheLeftOnesReadUpwards) {
  const int w = 330, h = 230;
  const QImage image = pcCurveImage(QSize(w, h), {2.0, 3.0, 3.5, 4.0}, 2);
  // "Number of PC's" from (50, h − 20), the count d = 4 from (w − 40, h − 20): horizontal text.
  const QRect components = inkBox(image, QRect(0, h - 27, w - 50, 27));
  ASSERT_TRUE(components.isValid());
  EXPECT_GE(components.left(), 50);
  EXPECT_GE(components.top(), h - 20);
  EXPECT_GT(components.width(), 4 * components.height());
  const QRect count = inkBox(image, QRect(w - 50, h - 27, 50, 27));
  ASSERT_TRUE(count.isValid());
  EXPECT_GE(count.left(), w - 40);
  EXPECT_LT(count.width(), 14);

  // "Information" runs upwards from (5, h − 50) and "100%" from (5, 50), left of the plot.
  const QRect information = inkBox(image, QRect(0, 60, 27, h - 60));
  ASSERT_TRUE(information.isValid());
  EXPECT_GE(information.left(), 5);
  EXPECT_LE(information.bottom(), h - 50);
  EXPECT_GT(information.height(), 4 * information.width());
  const QRect full = inkBox(image, QRect(0, 0, 27, 60));
  ASSERT_TRUE(full.isValid());
  EXPECT_LE(full.bottom(), 50);
  EXPECT_GT(full.height(), full.width());
}

TEST(PcCurvePictureTest, WithoutVarianceOnlyTheFrameGridAndLabelsAreDrawn) {
  const QImage image = pcCurveImage(QSize(330, 230), {0.0, 0.0, 0.0}, 1);
  EXPECT_FALSE(dialog_test::hasColour(image, kBlue));
  EXPECT_FALSE(dialog_test::hasColour(image, kRed));
  EXPECT_EQ(image.pixelColor(30, 130), kBlack);
  EXPECT_EQ(image.pixelColor(175, 190), kBlack);
  EXPECT_EQ(image.pixelColor(60, 190), kPlot);
  // Too small for a plot rectangle: drawn without failing.
  EXPECT_FALSE(pcCurveImage(QSize(20, 20), {1.0, 2.0}, 0).isNull());
}

TEST(PcCurvePictureTest, TheSameDrawingGoesIntoAVectorDocument) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(QSize(640, 480));
  renderPcCurve(svg, {2.0, 3.0, 3.5, 4.0}, 2);
  const QString text = QString::fromUtf8(bytes);
  EXPECT_TRUE(text.contains("#0000c8", Qt::CaseInsensitive));  // the curve
  EXPECT_TRUE(text.contains("#ff0000", Qt::CaseInsensitive));  // the marker
  EXPECT_TRUE(text.contains("Number of PC&apos;s") || text.contains("Number of PC's"));
  EXPECT_TRUE(text.contains("Information"));
}

TEST(PcAnalyzerDialogTest, StartsAtNinetyPercentAndEveryChoiceReachesTheRequest) {
  // Eigenvalues of the four iris measurements under mean / variance normalisation.
  PcAnalyzerRequest request(column({2.9185, 0.9140, 0.1468, 0.0207}));
  ASSERT_EQ(request.selectedEntry, 1);
  PcAnalyzerDialog dialog(request);
  EXPECT_EQ(dialog.windowTitle(), "PC Analyzer");
  EXPECT_TRUE(dialog_test::button(dialog, "OK") || dialog_test::standardButton(dialog, QDialogButtonBox::Ok));
  EXPECT_FALSE(dialog_test::standardButton(dialog, QDialogButtonBox::Cancel));
  auto* combo = dialog.findChild<QComboBox*>();
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->count(), 4);
  EXPECT_EQ(combo->itemText(0), "1");
  EXPECT_EQ(combo->itemText(3), "4");
  EXPECT_EQ(combo->currentIndex(), 1);

  auto* view = dialog.findChild<PcCurveView*>();
  ASSERT_NE(view, nullptr);
  view->resize(330, 230);
  // The marker runs down at x = 30 + 290·s / 3: 126 for entry 1, 223 for entry 2.
  EXPECT_EQ(view->picture().pixelColor(126, 150), kRed);
  combo->setCurrentIndex(2);
  EXPECT_EQ(request.selectedEntry, 2);
  EXPECT_EQ(view->picture().pixelColor(126, 150), kPlot);
  EXPECT_EQ(view->picture().pixelColor(223, 150), kRed);

  // Closing without OK still leaves the choice standing.
  dialog.reject();
  EXPECT_EQ(request.componentsToKeep(), 3);
}

TEST(PcAnalyzerDialogTest, WithoutVarianceNothingIsPreselectedAndAllComponentsAreKept) {
  PcAnalyzerRequest request(column({0.0, 0.0, 0.0}));
  PcAnalyzerDialog dialog(request);
  auto* combo = dialog.findChild<QComboBox*>();
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->currentIndex(), -1);
  auto* view = dialog.findChild<PcCurveView*>();
  view->resize(330, 230);
  EXPECT_FALSE(dialog_test::hasColour(view->picture(), kBlue));
  dialog.accept();
  EXPECT_EQ(request.componentsToKeep(), 3);
}

}  // namespace
