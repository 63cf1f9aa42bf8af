#pragma once

#include <string>
#include <vector>

class Perceptron;

// The structure a network picture shows: the input count and, per layer, its neurons, their
// order and the activation's code ('l' linear, 't' tanh).
struct NetworkShape {
  struct Layer {
    int neurons = 0;
    int order = 1;
    char functionCode = 't';
    friend bool operator==(const Layer&, const Layer&) = default;
  };
  int inputs = 0;
  std::vector<Layer> layers;
  friend bool operator==(const NetworkShape&, const NetworkShape&) = default;
};

// The shape of a network. Reads only the structure, which never changes while the network
// lives (training writes weights only), so it may be called while training runs.
NetworkShape networkShape(const Perceptron& network);

// What the network picture draws, in pixels of a width × height picture, without Qt. The left
// three quarters (X wide) hold the network, the right quarter the "Functions:" legend. Layer i
// (0-based) is centred at x = (i + 2)·X / (L + 2), the inputs at X / (L + 2). In a layer of at
// most 8 neurons neuron j sits at y = (j + 1)·H / (n + 1); a larger layer shows its first
// neuron at H / 9 and the others stacked into one circle at 8·H / 9, labelled "%i neurons".
struct NetworkPictureModel {
  static constexpr int kMaxShownNeurons = 8;
  static constexpr int kLargeFontHeight = 20;  // "Create Network."
  static constexpr int kSmallFontHeight = 14;  // orders, labels, legend
  static constexpr const char* kEmptyText = "Create Network.";
  static constexpr const char* kLegendTitle = "Functions:";

  struct Circle {
    double x = 0, y = 0, radius = 0;
    int layer = 0;
    int neuron = 0;     // index of the neuron it stands for (the first of a stack)
    std::string label;  // the order, "%i"
  };
  struct Line {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  };
  enum class Align { Left, Centre, Right };
  struct Text {
    double x = 0, y = 0;  // the anchor: left, centre or right end of the text, vertical centre
    std::string text;
    int fontHeight = kSmallFontHeight;
    Align align = Align::Centre;
  };

  int width = 0;
  int height = 0;
  bool hasNetwork = false;
  double networkWidth = 0;  // X
  // The point the first layer's lines start from; the "%i inputs" label ends left of it.
  double inputX = 0, inputY = 0;
  std::vector<Circle> circles;
  std::vector<Line> lines;
  std::vector<Text> texts;

  // The circle drawn for neuron `neuron` of layer `layer`, or null (a stacked neuron).
  const Circle* circleFor(int layer, int neuron) const;
};

// Lays out the picture of `shape` (null: no network) in a width × height picture.
NetworkPictureModel layoutNetworkPicture(const NetworkShape* shape, int width, int height);
