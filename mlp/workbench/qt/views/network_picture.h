#pragma once

#include <QFrame>
#include <QImage>
#include <optional>

#include "mlp/workbench/qt/views/network_picture_model.h"

class QPainter;

// Draws a laid-out network picture on any paint device: a white background, then the lines,
// the neurons (filled RGB(230, 0, 0), 3-pixel black outline, the order centred in each), the
// labels and the legend, in "Courier New" of heights 20 and 14.
void renderNetworkPicture(QPainter& painter, const NetworkPictureModel& model);
// The picture as an image of the model's size in device-independent pixels; with a pixel
// ratio above 1 the image holds that many more pixels each way (high-density screens).
QImage networkPictureImage(const NetworkPictureModel& model, qreal pixelRatio = 1.0);

// The network page's picture: a white, sunken frame. The image is laid out and drawn when the
// shape or the size changes; paintEvent only copies it.
class NetworkPicture final : public QFrame {
  Q_OBJECT

 public:
  explicit NetworkPicture(QWidget* parent = nullptr);

  // The network to show; nullopt for none. Redraws only when the shape differs.
  void setShape(std::optional<NetworkShape> shape);
  const NetworkPictureModel& model() const { return model_; }
  const QImage& image() const { return image_; }
  // How many times the image was drawn (a paint alone never draws it).
  int renderCount() const { return renderCount_; }

  QSize sizeHint() const override { return {480, 320}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void rebuild();

  std::optional<NetworkShape> shape_;
  NetworkPictureModel model_;
  QImage image_;
  int renderCount_ = 0;
};
