// The network picture: positions checked against the documented layout at known pixels of the
// rendered image, the more-than-8-neurons rule, the legend, the empty picture and the cache.
#include "mlp/workbench/qt/views/network_picture.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QImage>

#include "mlp/engine/perceptron.h"
#include "mlp/workbench/qt/views/network_picture_model.h"

namespace lumivane::test {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 450;
const QColor kRed(230, 0, 0);

NetworkShape shapeOf(int inputs, std::vector<NetworkShape::Layer> layers) {
  NetworkShape shape;
  shape.inputs = inputs;
  shape.layers = std::move(layers);
  return shape;
}

// The documented centre of layer i of L in a picture whose network part is 3/4 of the width.
double layerX(int i, int layers) {
  return (i + 2) * (kWidth * 0.75) / (layers + 2);
}

QColor pixel(const QImage& image, double x, double y) {
  return image.pixelColor(static_cast<int>(x + 0.5), static_cast<int>(y + 0.5));
}

bool hasText(const NetworkPictureModel& model, const std::string& text) {
  for (const auto& t : model.texts)
    if (t.text == text) return true;
  return false;
}

int circlesInLayer(const NetworkPictureModel& model, int layer) {
  int count = 0;
  for (const auto& c : model.circles) count += c.layer == layer;
  return count;
}

TEST(NetworkPictureTest, NeuronsAreRedCirclesAtTheDocumentedCentres) {
  const NetworkShape shape = shapeOf(4, {{3, 2, 't'}, {1, 1, 'l'}});
  const NetworkPictureModel model = layoutNetworkPicture(&shape, kWidth, kHeight);
  const QImage image = networkPictureImage(model);
  ASSERT_EQ(image.size(), QSize(kWidth, kHeight));
  ASSERT_FALSE(model.circles.empty());
  const double r = model.circles.front().radius;
  ASSERT_GT(r, 8.0);

  for (int j = 0; j < 3; ++j) {
    const double x = layerX(0, 2), y = (j + 1) * kHeight / 4.0;
    // The order is written over the centre; beside it the fill shows.
    EXPECT_EQ(pixel(image, x - r / 2, y), kRed) << j;
    EXPECT_EQ(pixel(image, x + r / 2, y), kRed) << j;
    EXPECT_NE(pixel(image, x, y + r - 1.5), QColor(Qt::white)) << j;  // the black outline
    EXPECT_EQ(pixel(image, x, y - r - 4), QColor(Qt::white)) << j;    // just above the circle
  }
  EXPECT_EQ(pixel(image, layerX(1, 2) - r / 2, kHeight / 2.0), kRed);
  // Between two neurons of the first layer there is no circle.
  EXPECT_NE(pixel(image, layerX(0, 2) - r / 2, kHeight * 3 / 8.0), kRed);
  // The circles show the order, and the legend names each layer's function.
  EXPECT_EQ(model.circleFor(0, 2)->label, "2");
  EXPECT_EQ(model.circleFor(1, 0)->label, "1");
  EXPECT_TRUE(hasText(model, "4 inputs"));
  EXPECT_TRUE(hasText(model, "Functions:"));
  EXPECT_TRUE(hasText(model, "1: tanh"));
  EXPECT_TRUE(hasText(model, "2: linear"));
  // Nothing of the network reaches into the legend's quarter.
  for (const auto& c : model.circles) EXPECT_LT(c.x + c.radius, kWidth * 0.75);
}

TEST(NetworkPictureTest, ALayerOfNineShowsTwoCirclesAndItsCountWhileEightShowAll) {
  const NetworkShape shape = shapeOf(2, {{9, 1, 't'}, {8, 1, 't'}, {1, 1, 'l'}});
  const NetworkPictureModel model = layoutNetworkPicture(&shape, kWidth, kHeight);
  const QImage image = networkPictureImage(model);
  const double r = model.circles.front().radius;

  EXPECT_EQ(circlesInLayer(model, 0), 2);
  EXPECT_TRUE(hasText(model, "9 neurons"));
  EXPECT_FALSE(hasText(model, "8 neurons"));
  EXPECT_EQ(pixel(image, layerX(0, 3) - r / 2, kHeight / 9.0), kRed);
  EXPECT_EQ(pixel(image, layerX(0, 3) - r / 2, 8 * kHeight / 9.0), kRed);
  // Where the third of nine evenly spaced neurons would sit, nothing red is drawn.
  EXPECT_NE(pixel(image, layerX(0, 3) - r / 2, 3 * kHeight / 10.0), kRed);

  EXPECT_EQ(circlesInLayer(model, 1), 8);
  for (int j = 0; j < 8; ++j)
    EXPECT_EQ(pixel(image, layerX(1, 3) - r / 2, (j + 1) * kHeight / 9.0), kRed) << j;
  // The lines join every drawn circle to every drawn circle of the layer before.
  int fromStack = 0;
  for (const auto& line : model.lines)
    fromStack += std::abs(line.x1 - layerX(0, 3)) < 0.5 && std::abs(line.x2 - layerX(1, 3)) < 0.5;
  EXPECT_EQ(fromStack, 2 * 8);
}

TEST(NetworkPictureTest, WithoutANetworkThePictureAsksForOne) {
  const NetworkPictureModel model = layoutNetworkPicture(nullptr, kWidth, kHeight);
  EXPECT_FALSE(model.hasNetwork);
  EXPECT_TRUE(model.circles.empty());
  ASSERT_EQ(model.texts.size(), 1u);
  EXPECT_EQ(model.texts[0].text, "Create Network.");
  EXPECT_EQ(model.texts[0].fontHeight, 20);

  const QImage image = networkPictureImage(model);
  int dark = 0, red = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.lightness() < 128) {
        ++dark;
        // All the ink lies in a band around the centre line, in the middle of the picture.
        EXPECT_LT(std::abs(y - kHeight / 2), 20) << x << "," << y;
        EXPECT_LT(std::abs(x - kWidth / 2), kWidth / 4) << x << "," << y;
      }
      red += c == kRed;
    }
  EXPECT_GT(dark, 50);
  EXPECT_EQ(red, 0);
}

TEST(NetworkPictureTest, AHighDensityImageHoldsTheSamePictureInMorePixels) {
  const NetworkShape shape = shapeOf(2, {{2, 1, 't'}, {1, 1, 'l'}});
  const NetworkPictureModel model = layoutNetworkPicture(&shape, kWidth, kHeight);
  const QImage image = networkPictureImage(model, 2.0);
  ASSERT_EQ(image.size(), QSize(2 * kWidth, 2 * kHeight));
  const double r = model.circles.front().radius;
  const double x = layerX(0, 2), y = kHeight / 3.0;
  EXPECT_EQ(image.pixelColor(static_cast<int>(2 * (x - r / 2)), static_cast<int>(2 * y)), kRed);
  EXPECT_EQ(image.pixelColor(static_cast<int>(2 * x), static_cast<int>(2 * (y - r - 4))), QColor(Qt::white));
}

TEST(NetworkPictureTest, ShapeIsReadFromTheNetwork) {
  const int counts[] = {5, 2};
  const int orders[] = {3, 1};
  const char codes[] = {'t', 'l'};
  Perceptron network(7, 2, counts, orders, codes);
  const NetworkShape shape = networkShape(network);
  EXPECT_EQ(shape, shapeOf(7, {{5, 3, 't'}, {2, 1, 'l'}}));
}

TEST(NetworkPictureTest, WidgetDrawsOnShapeOrSizeChangeAndPaintOnlyCopies) {
  NetworkPicture picture;
  picture.resize(500, 300);
  picture.show();
  QCoreApplication::processEvents();
  const NetworkShape shape = shapeOf(3, {{4, 1, 't'}, {1, 1, 'l'}});
  picture.setShape(shape);
  const int drawn = picture.renderCount();
  EXPECT_TRUE(picture.model().hasNetwork);
  EXPECT_EQ(picture.image().deviceIndependentSize().toSize(), picture.contentsRect().size());

  picture.setShape(shape);  // the same structure: the cache stays
  picture.repaint();
  (void)picture.grab();
  EXPECT_EQ(picture.renderCount(), drawn);

  picture.resize(640, 360);
  QCoreApplication::processEvents();
  EXPECT_GT(picture.renderCount(), drawn);
  EXPECT_EQ(picture.image().deviceIndependentSize().toSize(), picture.contentsRect().size());
  EXPECT_EQ(picture.model().width, picture.contentsRect().width());

  const int resized = picture.renderCount();
  picture.setShape(std::nullopt);
  EXPECT_EQ(picture.renderCount(), resized + 1);
  EXPECT_FALSE(picture.model().hasNetwork);
}

}  // namespace
}  // namespace lumivane::test
