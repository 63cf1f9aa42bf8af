#include "kohonen/workbench/pc_analyzer_request.h"

#include "kohonen/engine/principal_components.h"
#include "kohonen/workbench/dialog_hooks.h"

namespace {

// Margins of the plot rectangle inside the picture, and where the labels sit.
constexpr int kPlotLeft = 30;
constexpr int kPlotTop = 10;
constexpr int kPlotRightMargin = 10;
constexpr int kPlotBottomMargin = 30;
constexpr int kComponentsLabelX = 50;
constexpr int kCountLabelFromRight = 40;
constexpr int kBottomLabelsFromBottom = 20;
constexpr int kVerticalLabelsX = 5;
constexpr int kInformationLabelFromBottom = 50;
constexpr int kFullLabelY = 50;
constexpr int kGridParts = 4;

// bottom − H·S / T, truncated to a whole pixel.
int curveY(int bottom, int height, double s, double total) {
  return bottom - static_cast<int>(static_cast<double>(height) * s / total);
}

// left + W·i / (d − 1) in integers; a single component sits at the left edge.
int curveX(int left, int width, std::int32_t i, std::int32_t d) {
  return d > 1 ? left + width * i / (d - 1) : left;
}

}  // namespace

PcAnalyzerRequest::PcAnalyzerRequest(const RealMatrix& values) : cumulative_(cumulativeInformation(values)) {
  if (const std::optional<std::int32_t> count = defaultComponentCount(values)) selectedEntry = *count - 1;
}

int PcAnalyzerRequest::execModal() {
  return runDialogHook(gridwiseDialogHooks().analyseComponents, *this);
}

std::int32_t PcAnalyzerRequest::componentsToKeep() const {
  const std::int32_t d = componentCount();
  std::optional<std::int32_t> chosen;
  if (selectedEntry && *selectedEntry >= 0 && *selectedEntry < d) chosen = *selectedEntry + 1;
  return ::componentsToKeep(chosen, d);
}

PcCurveGeometry pcCurveGeometry(const std::vector<double>& cumulative, std::optional<std::int32_t> selected,
                                int w, int h) {
  PcCurveGeometry g;
  g.componentsLabel = {kComponentsLabelX, h - kBottomLabelsFromBottom};
  g.countLabel = {w - kCountLabelFromRight, h - kBottomLabelsFromBottom};
  g.informationLabel = {kVerticalLabelsX, h - kInformationLabelFromBottom};
  g.fullLabel = {kVerticalLabelsX, kFullLabelY};
  g.left = kPlotLeft;
  g.top = kPlotTop;
  g.right = w - kPlotRightMargin;
  g.bottom = h - kPlotBottomMargin;
  const int width = g.right - g.left;
  const int height = g.bottom - g.top;
  for (int i = 0; i < 3; ++i) {
    g.gridX[static_cast<std::size_t>(i)] = g.left + width * (i + 1) / kGridParts;
    g.gridY[static_cast<std::size_t>(i)] = g.top + height * (i + 1) / kGridParts;
  }

  const auto d = static_cast<std::int32_t>(cumulative.size());
  const double total = d > 0 ? cumulative.back() : 0.0;
  // Without variance the curve's divisions by the total mean nothing: draw neither curve nor
  // marker.
  if (!(total > 0.0)) return g;
  g.curve.reserve(cumulative.size());
  for (std::int32_t k = 0; k < d; ++k)
    g.curve.push_back({curveX(g.left, width, k, d),
                       curveY(g.bottom, height, cumulative[static_cast<std::size_t>(k)], total)});
  if (selected && *selected >= 0 && *selected < d) {
    const int x = curveX(g.left, width, *selected, d);
    const int y = curveY(g.bottom, height, cumulative[static_cast<std::size_t>(*selected)], total);
    g.marker = true;
    g.markerPath = {PixelPoint{g.left, y}, PixelPoint{x, y}, PixelPoint{x, g.bottom}};
  }
  return g;
}
