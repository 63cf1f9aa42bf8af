#include "kohonen/engine/map_views.h"

#include <cmath>
#include <limits>

namespace {

// The search for the smallest and largest average starts from these.
constexpr double kSearchStartMin = 1e300;
constexpr double kSearchStartMax = -1e300;
// Existence maps always use a two-colour palette.
constexpr std::int32_t kExistenceColours = 2;

void checkShapes(const KohonenNet& net, const RealMatrix& data, std::span<const double> f) {
  if (data.Cols() != net.dimension()) {
    throw IllegalMatrixSizeException("Map view: data columns differ from the net dimension");
  }
  if (f.size() != static_cast<std::size_t>(data.Rows())) {
    throw IllegalMatrixSizeException("Map view: feature length differs from the number of rows");
  }
}

// Calls visit(row index, winner) for every data row.
template <typename Visit>
void forEachWinner(const KohonenNet& net, const RealMatrix& data, Visit visit) {
  const double* values = data.data();
  for (std::int32_t i = 0; i < data.Rows(); ++i) {
    visit(i, net.findWinner(values + static_cast<std::int64_t>(i) * data.Cols()));
  }
}

}  // namespace

MapGrid::MapGrid(std::int32_t r, std::int32_t c, double fill)
    : rows(r), columns(c), values(static_cast<std::size_t>(r) * static_cast<std::size_t>(c), fill) {}

MapGrid featureAverages(const KohonenNet& net, const RealMatrix& data, std::span<const double> f) {
  checkShapes(net, data, f);
  MapGrid sums(net.rows(), net.columns(), 0.0);
  MapGrid counts(net.rows(), net.columns(), 0.0);
  forEachWinner(net, data, [&](std::int32_t i, CellPos w) {
    sums(w.row, w.column) += f[static_cast<std::size_t>(i)];
    counts(w.row, w.column) += 1.0;
  });
  for (std::size_t k = 0; k < sums.values.size(); ++k) {
    sums.values[k] =
        counts.values[k] > 0.0 ? sums.values[k] / counts.values[k] : std::numeric_limits<double>::quiet_NaN();
  }
  return sums;
}

ColourClasses colourByAverage(const KohonenNet& net, const RealMatrix& data, std::span<const double> f,
                              std::int32_t k) {
  if (k < 1) throw IllegalSizeException("colourByAverage: the number of colours must be positive");
  const MapGrid averages = featureAverages(net, data, f);
  double min = kSearchStartMin;
  double max = kSearchStartMax;
  for (double v : averages.values) {
    if (std::isnan(v)) continue;
    if (v < min) min = v;
    if (v > max) max = v;
  }
  ColourClasses result;
  for (std::int32_t i = 0; i < k; ++i) {
    result.lower.push_back(i * (max - min) / k + min);
    result.upper.push_back((i + 1) * (max - min) / k + min);
  }
  result.classes = MapGrid(averages.rows, averages.columns, kNoDataClass);
  for (std::size_t cell = 0; cell < averages.values.size(); ++cell) {
    const double v = averages.values[cell];
    if (std::isnan(v)) continue;
    double cls = max != min ? std::floor((v - min) * k / (max - min)) : 0.0;
    // The maximum itself lands on k: it belongs to the top class.
    if (cls >= k) cls = k - 1;
    result.classes.values[cell] = cls;
  }
  return result;
}

MapGrid colourByExistence(const KohonenNet& net, const RealMatrix& data, std::span<const double> f) {
  MapGrid classes = featureAverages(net, data, f);
  for (double& v : classes.values) v = std::isnan(v) ? kNoDataClass : (v > 0.0 ? 1.0 : 0.0);
  return classes;
}

NeighbourDistances neighbourDistances(const KohonenNet& net) {
  const std::int32_t rows = net.rows();
  const std::int32_t columns = net.columns();
  NeighbourDistances d{MapGrid(rows, columns - 1, 0.0), MapGrid(rows - 1, columns, 0.0)};
  std::vector<double> w(static_cast<std::size_t>(net.dimension()));
  for (std::int32_t r = 0; r < rows; ++r) {
    for (std::int32_t c = 0; c < columns; ++c) {
      net.copyCell(r, c, w.data());
      if (c + 1 < columns) d.horizontal(r, c) = net.cellDistance(r, c + 1, w.data());
      if (r + 1 < rows) d.vertical(r, c) = net.cellDistance(r + 1, c, w.data());
    }
  }
  return d;
}

MapGrid hitCounts(const KohonenNet& net, const RealMatrix& data) {
  if (data.Cols() != net.dimension()) {
    throw IllegalMatrixSizeException("Map view: data columns differ from the net dimension");
  }
  MapGrid counts(net.rows(), net.columns(), 0.0);
  forEachWinner(net, data, [&](std::int32_t, CellPos w) { counts(w.row, w.column) += 1.0; });
  return counts;
}

std::string mapTitle(const std::string& name, MapMode mode) {
  std::string title = name;
  if (mode == MapMode::Existence) title += "existence ";
  title += " map";
  return title;
}

MapPicture buildMapPicture(const KohonenNet& net, const RealMatrix& data, std::span<const double> f,
                           const std::string& featureName, MapMode mode, std::int32_t colourCount,
                           const std::vector<MapColour>& colours) {
  const std::int32_t k = mode == MapMode::Existence ? kExistenceColours : colourCount;
  if (k < 1 || colours.size() != static_cast<std::size_t>(k)) {
    throw IllegalSizeException("buildMapPicture: palette size differs from the number of colours");
  }
  MapPicture picture;
  picture.title = mapTitle(featureName, mode);
  picture.mode = mode;
  picture.averages = featureAverages(net, data, f);
  if (mode == MapMode::Existence) {
    picture.classes = colourByExistence(net, data, f);
  } else {
    ColourClasses cc = colourByAverage(net, data, f, k);
    picture.classes = std::move(cc.classes);
    picture.lower = std::move(cc.lower);
    picture.upper = std::move(cc.upper);
  }
  NeighbourDistances distances = neighbourDistances(net);
  picture.horizontal = std::move(distances.horizontal);
  picture.vertical = std::move(distances.vertical);
  picture.hits = hitCounts(net, data);
  picture.colours = colours;
  return picture;
}
