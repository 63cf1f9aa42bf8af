#include "mlp/workbench/qt/graphs/graph_renderers.h"

#include <QFont>
#include <QFontMetrics>
#include <QLine>
#include <QList>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QString>
#include <algorithm>
#include <vector>

namespace {

QFont courier(int pixelHeight, bool bold = false) {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(pixelHeight);
  font.setBold(bold);
  return font;
}

QPen pen(const QColor& colour, int width, Qt::PenStyle style = Qt::SolidLine) {
  QPen p(colour, width, style, Qt::FlatCap, Qt::MiterJoin);
  // One-pixel lines step from pixel to pixel like the bitmaps' lines, whatever the device.
  p.setCosmetic(width <= 1);
  return p;
}

QString text(const std::string& s) {
  return QString::fromStdString(s);
}

QPolygon polygon(const std::vector<GraphPoint>& points) {
  QPolygon poly;
  poly.reserve(static_cast<int>(points.size()));
  for (const GraphPoint& p : points) poly.append(QPoint(p.x, p.y));
  return poly;
}

QRect rect(const GraphRect& r) {
  return QRect(r.left, r.top, r.width, r.height);
}

// Starts a picture: plain pixels, white background.
void begin(QPainter& painter, const QSize& size) {
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.fillRect(QRect(QPoint(0, 0), size), graph_colours::kBackground);
}

// A polyline with its last point: lines leave out their final pixel, as the off-screen bitmaps'
// lines did, so the newest epoch would otherwise be missing.
void drawCurve(QPainter& painter, const std::vector<GraphPoint>& points) {
  if (points.empty()) return;
  painter.drawPolyline(polygon(points));
  painter.drawPoint(points.back().x, points.back().y);
}

// Text whose top-left corner is at (x, y).
void drawTextAt(QPainter& painter, int x, int y, const QString& s) {
  const QFontMetrics metrics(painter.font());
  painter.drawText(QPoint(x, y + metrics.ascent()), s);
}

}  // namespace

void renderErrorViewer(QPainter& painter, const ErrorViewerModel& model, const ErrorViewerLayout& layout,
                       const float* trainingErrors, const float* testErrors, int entries) {
  begin(painter, QSize(layout.width, layout.height));
  painter.setFont(courier(12));
  const QFontMetrics metrics(painter.font());
  const int ux = layout.unitX;
  const int uy = layout.unitY;

  // Header texts and legends.
  painter.setPen(Qt::black);
  drawTextAt(painter, ux, uy, QString::fromLatin1(kYScaleText));
  drawTextAt(painter, 24 * ux, 5 * uy, QString::fromLatin1(kMinCaption));
  drawTextAt(painter, 35 * ux, 5 * uy, QString::fromLatin1(kMaxCaption));
  drawTextAt(painter, 45 * ux, uy, QString::fromLatin1(kXScaleText));
  painter.setPen(graph_colours::kTraining);
  drawTextAt(painter, 78 * ux, uy * 8 / 10, QString::fromLatin1(kTrainingLegend));
  painter.setPen(graph_colours::kTest);
  drawTextAt(painter, 78 * ux, uy * 35 / 10, QString::fromLatin1(kTestLegend));

  // The thick frame and the graph rectangle.
  painter.setBrush(Qt::NoBrush);
  painter.setPen(pen(graph_colours::kFrame, 5));
  painter.drawRect(rect(layout.frame));
  const GraphRect& g = layout.graph;
  painter.setPen(pen(Qt::black, 2));
  painter.drawRect(rect(g));

  // The x axis: ticks 5 pixels below the graph, labels centred one unit below it.
  for (const AxisMark& mark : model.xMarks(g)) {
    painter.setPen(pen(Qt::black, 2));
    painter.drawLine(mark.position, g.bottom(), mark.position, g.bottom() + 5);
    if (!mark.label.empty()) {
      const QString label = text(mark.label);
      const int w = metrics.horizontalAdvance(label);
      painter.setPen(Qt::black);
      drawTextAt(painter, mark.position - w / 2, g.bottom() + uy, label);
    }
    if (mark.grid) {
      painter.setPen(pen(Qt::black, 1, Qt::DotLine));
      painter.drawLine(mark.position, g.top, mark.position, g.bottom());
    }
  }
  // The y axis: ticks 5 pixels left of the graph, labels right-aligned before them.
  for (const AxisMark& mark : model.yMarks(g)) {
    painter.setPen(pen(Qt::black, 2));
    painter.drawLine(g.left - 5, mark.position, g.left, mark.position);
    const QString label = text(mark.label);
    const int w = metrics.horizontalAdvance(label);
    painter.setPen(Qt::black);
    drawTextAt(painter, g.left - 7 - w, mark.position - metrics.height() / 2, label);
    if (mark.grid) {
      painter.setPen(pen(Qt::black, 1, Qt::DotLine));
      painter.drawLine(g.left, mark.position, g.right(), mark.position);
    }
  }

  // The curves, test first so the training curve stays on top where they meet.
  painter.save();
  painter.setClipRect(rect(g).adjusted(0, 0, 1, 1));
  painter.setPen(pen(graph_colours::kTest, 1));
  drawCurve(painter, model.curve(testErrors, entries, g));
  painter.setPen(pen(graph_colours::kTraining, 1));
  drawCurve(painter, model.curve(trainingErrors, entries, g));
  painter.restore();
}

void drawErrorSegments(QPainter& painter, const ErrorViewerUpdate& update, const GraphRect& graph) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setClipRect(rect(graph).adjusted(0, 0, 1, 1));
  painter.setPen(pen(graph_colours::kTest, 1));
  for (const auto& s : update.testSegments) {
    painter.drawLine(s[0].x, s[0].y, s[1].x, s[1].y);
    painter.drawPoint(s[1].x, s[1].y);
  }
  painter.setPen(pen(graph_colours::kTraining, 1));
  for (const auto& s : update.trainingSegments) {
    painter.drawLine(s[0].x, s[0].y, s[1].x, s[1].y);
    painter.drawPoint(s[1].x, s[1].y);
  }
  painter.restore();
}

void renderScatter(QPainter& painter, const ScatterGeometry& g) {
  begin(painter, QSize(g.width, g.height));
  painter.setPen(pen(Qt::black, 1));
  const int left = g.gridX.front(), right = g.gridX.back();
  const int top = g.gridY.front(), bottom = g.gridY.back();
  for (int x : g.gridX) painter.drawLine(x, top, x, bottom);
  for (int y : g.gridY) painter.drawLine(left, y, right, y);
  painter.setPen(pen(graph_colours::kDiagonal, 1));
  painter.drawLine(g.diagonalFrom.x, g.diagonalFrom.y, g.diagonalTo.x, g.diagonalTo.y);

  // Each diagonal covers 4 pixels, from (−2, −2) to (1, 1) and from (−2, 2) to (1, −1) around
  // the centre: a line leaves out its final pixel.
  const int c = ScatterGeometry::kCrossHalf;
  auto* image = dynamic_cast<QImage*>(painter.device());
  if (image != nullptr && image->format() == QImage::Format_RGB32 && painter.transform().isIdentity() &&
      !painter.hasClipping()) {
    // Into a plain image the pixels are set directly (thousands of examples would otherwise take
    // thousands of line calls), the same pixels the two lines would draw.
    const QRgb blue = graph_colours::kTraining.rgb();
    const int w = image->width(), h = image->height();
    for (const GraphPoint& p : g.crosses)
      for (int k = -c; k < c; ++k)
        for (const int y : {p.y + k, p.y - k}) {
          const int x = p.x + k;
          if (x >= 0 && y >= 0 && x < w && y < h) reinterpret_cast<QRgb*>(image->scanLine(y))[x] = blue;
        }
  } else {
    QList<QLine> lines;
    lines.reserve(static_cast<qsizetype>(2 * g.crosses.size()));
    for (const GraphPoint& p : g.crosses) {
      lines.append(QLine(p.x - c, p.y - c, p.x + c, p.y + c));
      lines.append(QLine(p.x - c, p.y + c, p.x + c, p.y - c));
    }
    painter.setPen(pen(graph_colours::kTraining, 1));
    painter.drawLines(lines);
  }
  painter.setPen(pen(graph_colours::kTest, 1));
  painter.setBrush(graph_colours::kTest);
  const int r = ScatterGeometry::kDotRadius;
  for (const GraphPoint& p : g.dots) painter.drawEllipse(QPoint(p.x, p.y), r, r);
  painter.setBrush(Qt::NoBrush);
}

void renderAnswers(QPainter& painter, const AnswersGeometry& g) {
  begin(painter, QSize(g.width, g.height));
  const QRect plot = rect(g.plot);
  painter.setPen(pen(Qt::black, 1, Qt::DotLine));
  for (int k = 1; k <= 3; ++k) {
    const int x = g.plot.left + k * g.plot.width / 4;
    const int y = g.plot.top + k * g.plot.height / 4;
    painter.drawLine(x, g.plot.top, x, g.plot.bottom());
    painter.drawLine(g.plot.left, y, g.plot.right(), y);
  }
  painter.setPen(pen(Qt::black, 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(plot);

  painter.setFont(courier(12));
  const QFontMetrics metrics(painter.font());
  painter.setPen(Qt::black);
  const int below = g.plot.bottom() + 4;
  drawTextAt(painter, g.plot.left, below, text(g.firstLabel));
  const QString last = text(g.lastLabel);
  drawTextAt(painter, g.plot.right() - metrics.horizontalAdvance(last), below, last);
  const QString top = text(g.topLabel);
  const QString bottom = text(g.bottomLabel);
  drawTextAt(painter, g.plot.left - 6 - metrics.horizontalAdvance(top), g.plot.top - metrics.height() / 2,
             top);
  drawTextAt(painter, g.plot.left - 6 - metrics.horizontalAdvance(bottom),
             g.plot.bottom() - metrics.height() / 2, bottom);

  painter.save();
  painter.setClipRect(plot.adjusted(0, 0, 1, 1));
  painter.setPen(pen(graph_colours::kRealData, 1));
  drawCurve(painter, g.targetLine);
  painter.setPen(pen(graph_colours::kAnswer, 1));
  drawCurve(painter, g.answerLine);
  for (const AnswersGeometry::Dot& dot : g.dots) {
    const QColor& colour = dot.test ? graph_colours::kTest : graph_colours::kTraining;
    painter.setPen(pen(colour, 1));
    painter.setBrush(colour);
    painter.drawEllipse(QPoint(dot.at.x, dot.at.y), 2, 2);
  }
  painter.restore();
}

void renderSignificanceChart(QPainter& painter, const SignificanceChartGeometry& g) {
  begin(painter, QSize(g.width, g.height));
  painter.fillRect(QRect(0, 0, g.strip, g.height), graph_colours::kStrip);
  painter.setFont(courier(14, true));
  const QFontMetrics metrics(painter.font());
  painter.setPen(Qt::black);
  painter.drawText(QRect(0, 0, g.strip, 50), Qt::AlignCenter, text(g.maximumLabel));

  for (const SignificanceBar& bar : g.bars) {
    const int width = bar.right - bar.left;
    if (bar.top < g.height) {
      const QRect body(bar.left, bar.top, width, g.height - bar.top);
      painter.fillRect(body, graph_colours::kBar);
      painter.setPen(pen(Qt::black, 1));
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(body.adjusted(0, 0, -1, -1));
    }
    // The input number at the foot of its bar: white on the bar, black where the bar is too low.
    const QRect label(bar.left, g.height - metrics.height() - 2, width, metrics.height());
    painter.setPen(bar.top <= label.top() ? Qt::white : Qt::black);
    painter.drawText(label, Qt::AlignCenter, text(bar.label));
  }
}
