#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kohonen/engine/kohonen_net.h"

// Quantities derived from a trained map and the data it was trained on. In every function
// data is the working matrix (n × dimension of the net) and f a feature: one raw column of
// the table, n values. Every function recomputes the winners with the current net.

// A rows × columns grid of values, row-major; either extent may be 0 (the horizontal
// distances of a one-column map have no columns).
struct MapGrid {
  std::int32_t rows = 0;
  std::int32_t columns = 0;
  std::vector<double> values;

  MapGrid() = default;
  MapGrid(std::int32_t r, std::int32_t c, double fill);
  double operator()(std::int32_t r, std::int32_t c) const {
    return values[static_cast<std::size_t>(r) * static_cast<std::size_t>(columns) +
                  static_cast<std::size_t>(c)];
  }
  double& operator()(std::int32_t r, std::int32_t c) {
    return values[static_cast<std::size_t>(r) * static_cast<std::size_t>(columns) +
                  static_cast<std::size_t>(c)];
  }
};

// Class of a cell without data rows.
inline constexpr double kNoDataClass = -1.0;

// Per cell the mean of f over the rows whose winner it is; NaN for cells without rows.
MapGrid featureAverages(const KohonenNet& net, const RealMatrix& data, std::span<const double> f);

struct ColourClasses {
  MapGrid classes;            // 0 … k − 1 per cell, kNoDataClass without data
  std::vector<double> lower;  // k lower class bounds
  std::vector<double> upper;  // k upper class bounds
};

// Splits the range [min, max] of the cell averages into k (≥ 1) equal classes; the maximum
// belongs to the top class, and when all averages are equal every cell with data is class 0.
ColourClasses colourByAverage(const KohonenNet& net, const RealMatrix& data, std::span<const double> f,
                              std::int32_t k);

// Per cell 1 when the feature's average is positive, 0 when it is not, kNoDataClass without data.
MapGrid colourByExistence(const KohonenNet& net, const RealMatrix& data, std::span<const double> f);

// U-matrix data: root-mean-square distance of each cell to its right neighbour
// (rows × (columns − 1)) and to the neighbour below (rows − 1) × columns.
struct NeighbourDistances {
  MapGrid horizontal;
  MapGrid vertical;
};
NeighbourDistances neighbourDistances(const KohonenNet& net);

// Number of data rows whose winner each cell is; the counts sum to n.
MapGrid hitCounts(const KohonenNet& net, const RealMatrix& data);

// How a map window colours its cells.
enum class MapMode { Average, Existence };

struct MapColour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const MapColour&, const MapColour&) = default;
};

// Everything a map window draws, copied so that later changes of net or palette leave the
// window as it was.
struct MapPicture {
  std::string title;
  MapMode mode = MapMode::Average;
  MapGrid classes;
  std::vector<double> lower;  // class bounds (average mode only; empty in existence mode)
  std::vector<double> upper;
  MapGrid averages;
  MapGrid hits;
  MapGrid horizontal;  // neighbour distances
  MapGrid vertical;
  std::vector<MapColour> colours;  // one per class
};

// The window title for feature column `name`: the name, "existence " in existence mode, " map".
std::string mapTitle(const std::string& name, MapMode mode);

// Builds the picture of "Create New Map...". In existence mode two colours are used whatever
// colourCount says. colours must hold the palette entries for that count (IllegalSizeException
// otherwise).
MapPicture buildMapPicture(const KohonenNet& net, const RealMatrix& data, std::span<const double> f,
                           const std::string& featureName, MapMode mode, std::int32_t colourCount,
                           const std::vector<MapColour>& colours);
