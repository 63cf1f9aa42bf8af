#include "kohonen/workbench/qt/dialogs/pc_curve_renderer.h"

#include <QFont>
#include <QPainter>
#include <QPen>
#include <QPolygon>

#include "kohonen/workbench/pc_analyzer_request.h"

namespace {

const QColor kBackground(255, 255, 255);
const QColor kPlotFill(220, 220, 220);
const QColor kCurveColour(0, 0, 200);
const QColor kMarkerColour(255, 0, 0);
const QColor kFrameColour(0, 0, 0);
constexpr int kCurvePenWidth = 3;
constexpr int kFramePenWidth = 3;
constexpr int kLabelPixels = 14;
// Room for a label: it is placed by its top-left corner and never clipped.
constexpr int kLabelExtent = 1000;

QPoint point(PixelPoint p) {
  return {p.x, p.y};
}

QFont labelFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(kLabelPixels);
  return font;
}

// Text whose top-left corner is at p.
void horizontalLabel(QPainter& painter, PixelPoint p, const QString& text) {
  painter.drawText(QRect(p.x, p.y, kLabelExtent, kLabelExtent), Qt::AlignLeft | Qt::AlignTop, text);
}

// Text turned by 90° so that it reads upwards from p, its top towards the left edge.
void verticalLabel(QPainter& painter, PixelPoint p, const QString& text) {
  painter.save();
  painter.translate(p.x, p.y);
  painter.rotate(-90.0);
  painter.drawText(QRect(0, 0, kLabelExtent, kLabelExtent), Qt::AlignLeft | Qt::AlignTop, text);
  painter.restore();
}

QPen pen(const QColor& colour, int width) {
  return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

}  // namespace

void renderPcCurve(QPaintDevice& device, const std::vector<double>& cumulative,
                   std::optional<std::int32_t> selected) {
  const int w = device.width();
  const int h = device.height();
  const PcCurveGeometry g = pcCurveGeometry(cumulative, selected, w, h);
  QPainter painter(&device);
  // Whole pixels throughout, as the positions are computed.
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.fillRect(QRect(0, 0, w, h), kBackground);

  painter.setFont(labelFont());
  painter.setPen(kFrameColour);
  horizontalLabel(painter, g.componentsLabel, QStringLiteral("Number of PC's"));
  horizontalLabel(painter, g.countLabel, QString::number(cumulative.size()));
  verticalLabel(painter, g.informationLabel, QStringLiteral("Information"));
  verticalLabel(painter, g.fullLabel, QStringLiteral("100%"));

  const QRect plot(QPoint(g.left, g.top), QPoint(g.right - 1, g.bottom - 1));
  painter.fillRect(plot, kPlotFill);

  if (!g.curve.empty()) {
    QPolygon curve;
    for (const PixelPoint& p : g.curve) curve << point(p);
    painter.setPen(pen(kCurveColour, kCurvePenWidth));
    painter.drawPolyline(curve);
  }
  if (g.marker) {
    painter.setPen(QPen(kMarkerColour, 1));
    painter.drawLine(point(g.markerPath[0]), point(g.markerPath[1]));
    painter.drawLine(point(g.markerPath[1]), point(g.markerPath[2]));
  }

  painter.setBrush(Qt::NoBrush);
  painter.setPen(pen(kFrameColour, kFramePenWidth));
  painter.drawPolygon(QPolygon(
      {QPoint(g.left, g.top), QPoint(g.right, g.top), QPoint(g.right, g.bottom), QPoint(g.left, g.bottom)}));
  painter.setPen(QPen(kFrameColour, 1));
  for (int x : g.gridX) painter.drawLine(x, g.top, x, g.bottom);
  for (int y : g.gridY) painter.drawLine(g.left, y, g.right, y);
}

QImage pcCurveImage(QSize size, const std::vector<double>& cumulative, std::optional<std::int32_t> selected) {
  QImage image(size, QImage::Format_RGB32);
  if (!image.isNull()) renderPcCurve(image, cumulative, selected);
  return image;
}
