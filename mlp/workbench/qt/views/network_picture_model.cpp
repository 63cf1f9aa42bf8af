#include "mlp/workbench/qt/views/network_picture_model.h"

#include <algorithm>
#include <cstdio>

#include "mlp/engine/network_description.h"
#include "mlp/engine/perceptron.h"

namespace {

std::string formatted(const char* format, int value) {
  char text[48];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Radius of the neuron circles: small enough that neighbouring circles of the fullest column
// and neighbouring columns keep apart, large enough for the order text.
constexpr double kMaxRadius = 18.0;
constexpr double kMinRadius = 3.0;
// Space between the inputs' label and the point the lines start from.
constexpr double kInputLabelGap = 6.0;

}  // namespace

NetworkShape networkShape(const Perceptron& network) {
  NetworkShape shape;
  shape.inputs = network.inputs;
  for (int l = 0; l < network.layerCount; ++l) {
    NetworkShape::Layer layer;
    layer.neurons = network.neuronCounts[l];
    layer.order = layer.neurons > 0 ? network.neurons[l][0]->Order() : 1;
    layer.functionCode = network.functionCodes[l] == 'l' ? 'l' : 't';
    shape.layers.push_back(layer);
  }
  return shape;
}

const NetworkPictureModel::Circle* NetworkPictureModel::circleFor(int layer, int neuron) const {
  for (const Circle& circle : circles)
    if (circle.layer == layer && circle.neuron == neuron) return &circle;
  return nullptr;
}

NetworkPictureModel layoutNetworkPicture(const NetworkShape* shape, int width, int height) {
  using Model = NetworkPictureModel;
  Model model;
  model.width = std::max(width, 0);
  model.height = std::max(height, 0);
  const double w = model.width, h = model.height;
  if (!shape || shape->layers.empty()) {
    model.texts.push_back({w / 2, h / 2, Model::kEmptyText, Model::kLargeFontHeight, Model::Align::Centre});
    return model;
  }
  model.hasNetwork = true;
  const double x = w * 3 / 4;
  model.networkWidth = x;
  const int layerCount = static_cast<int>(shape->layers.size());
  const double column = x / (layerCount + 2);

  // Vertical positions of the circles each layer shows.
  auto shownRows = [h](int neurons) {
    std::vector<double> ys;
    if (neurons <= Model::kMaxShownNeurons) {
      for (int j = 0; j < neurons; ++j) ys.push_back((j + 1) * h / (neurons + 1));
    } else {
      ys = {h / 9, 8 * h / 9};
    }
    return ys;
  };
  int fullest = 1;
  for (const NetworkShape::Layer& layer : shape->layers)
    fullest = std::max(fullest, std::min(layer.neurons, Model::kMaxShownNeurons));
  const double radius = std::clamp(std::min(column * 0.3, h / (fullest + 1) * 0.4), kMinRadius, kMaxRadius);

  // The inputs: one point that the first layer's lines start from, labelled on its left.
  const double inputX = column;
  const double inputY = h / 2;
  model.inputX = inputX;
  model.inputY = inputY;
  model.texts.push_back({inputX - kInputLabelGap, inputY, formatted("%i inputs", shape->inputs),
                         Model::kSmallFontHeight, Model::Align::Right});

  std::vector<double> previous;  // the fed-from layer's circle centres
  for (int i = 0; i < layerCount; ++i) {
    const NetworkShape::Layer& layer = shape->layers[static_cast<std::size_t>(i)];
    const double cx = (i + 2) * x / (layerCount + 2);
    const std::vector<double> ys = shownRows(layer.neurons);
    for (double y : ys) {
      if (i == 0) {
        model.lines.push_back({inputX, inputY, cx, y});
      } else {
        const double px = (i + 1) * x / (layerCount + 2);
        for (double py : previous) model.lines.push_back({px, py, cx, y});
      }
    }
    for (std::size_t j = 0; j < ys.size(); ++j) {
      Model::Circle circle;
      circle.x = cx;
      circle.y = ys[j];
      circle.radius = radius;
      circle.layer = i;
      circle.neuron = static_cast<int>(j);  // the stack stands for neurons 1..n−1
      circle.label = formatted("%i", layer.order);
      model.circles.push_back(circle);
    }
    if (layer.neurons > Model::kMaxShownNeurons)
      model.texts.push_back(
          {cx, h / 2, formatted("%i neurons", layer.neurons), Model::kSmallFontHeight, Model::Align::Centre});
    previous = ys;
  }

  // The legend: its title, then one line per layer.
  const double legendX = x + 4;
  const double lineHeight = Model::kSmallFontHeight + 4;
  double y = lineHeight;
  model.texts.push_back({legendX, y, Model::kLegendTitle, Model::kSmallFontHeight, Model::Align::Left});
  for (int i = 0; i < layerCount; ++i) {
    y += lineHeight;
    const char code = shape->layers[static_cast<std::size_t>(i)].functionCode;
    model.texts.push_back({legendX, y, formatted("%i: ", i + 1) + functionNameForCode(code),
                           Model::kSmallFontHeight, Model::Align::Left});
  }
  return model;
}
