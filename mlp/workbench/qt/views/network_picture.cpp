#include "mlp/workbench/qt/views/network_picture.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <algorithm>

namespace {

const QColor kNeuronFill(230, 0, 0);
constexpr int kOutlineWidth = 3;
constexpr double kInputDotRadius = 3.0;

QFont pictureFont(int pixelHeight) {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(pixelHeight);
  return font;
}

void drawText(QPainter& painter, const NetworkPictureModel::Text& text) {
  const QFont font = pictureFont(text.fontHeight);
  painter.setFont(font);
  const QFontMetricsF metrics(font);
  const QString string = QString::fromStdString(text.text);
  const double width = metrics.horizontalAdvance(string);
  double left = text.x;
  if (text.align == NetworkPictureModel::Align::Centre) left -= width / 2;
  if (text.align == NetworkPictureModel::Align::Right) left -= width;
  // A label too long for its place keeps its start inside the picture.
  left = std::max(left, 2.0);
  // The anchor is the text's vertical centre.
  const double baseline = text.y + (metrics.ascent() - metrics.descent()) / 2;
  painter.drawText(QPointF(left, baseline), string);
}

}  // namespace

void renderNetworkPicture(QPainter& painter, const NetworkPictureModel& model) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.fillRect(QRectF(0, 0, model.width, model.height), Qt::white);
  // Text is drawn without a background.
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.setPen(QPen(Qt::black, 1));
  for (const NetworkPictureModel::Line& line : model.lines)
    painter.drawLine(QPointF(line.x1, line.y1), QPointF(line.x2, line.y2));

  if (model.hasNetwork) {
    painter.setBrush(Qt::black);
    painter.drawEllipse(QPointF(model.inputX, model.inputY), kInputDotRadius, kInputDotRadius);
  }

  painter.setBrush(kNeuronFill);
  painter.setPen(QPen(Qt::black, kOutlineWidth));
  for (const NetworkPictureModel::Circle& circle : model.circles)
    painter.drawEllipse(QPointF(circle.x, circle.y), circle.radius, circle.radius);

  painter.setPen(Qt::black);
  painter.setBrush(Qt::NoBrush);
  for (const NetworkPictureModel::Circle& circle : model.circles)
    drawText(painter, {circle.x, circle.y, circle.label, NetworkPictureModel::kSmallFontHeight,
                       NetworkPictureModel::Align::Centre});
  for (const NetworkPictureModel::Text& text : model.texts) drawText(painter, text);
  painter.restore();
}

QImage networkPictureImage(const NetworkPictureModel& model, qreal pixelRatio) {
  const qreal ratio = std::max<qreal>(pixelRatio, 1.0);
  QImage image(std::max(1, qRound(model.width * ratio)), std::max(1, qRound(model.height * ratio)),
               QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::white);
  QPainter painter(&image);
  renderNetworkPicture(painter, model);
  return image;
}

NetworkPicture::NetworkPicture(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setMinimumSize(160, 120);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  rebuild();
}

void NetworkPicture::setShape(std::optional<NetworkShape> shape) {
  if (shape == shape_ && !image_.isNull()) return;
  shape_ = std::move(shape);
  rebuild();
}

void NetworkPicture::rebuild() {
  const QRect area = contentsRect();
  model_ = layoutNetworkPicture(shape_ ? &*shape_ : nullptr, area.width(), area.height());
  image_ = networkPictureImage(model_, devicePixelRatioF());
  ++renderCount_;
  update();
}

void NetworkPicture::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  rebuild();
}

void NetworkPicture::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);  // the sunken frame
  QPainter painter(this);
  painter.drawImage(contentsRect().topLeft(), image_);
}
