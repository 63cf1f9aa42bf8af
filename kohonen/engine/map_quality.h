#pragma once

#include <cstdint>

#include "kohonen/engine/kohonen_net.h"
#include "shared/real_matrix.h"

// How well a trained map fits its data.
struct MapQuality {
  // Mean over the rows of the distance (KohonenNet::cellDistance) to the row's winner.
  double quantisationError = 0.0;
  // Share of the rows whose best and second-best cells do not share an edge of the grid
  // (rows or columns one apart, not both). 0 on a map of one cell.
  double topographicError = 0.0;
  std::int32_t rows = 0;  // rows measured
};

// Measures net on data (n × dimension); winners are taken as findWinner takes them (the first
// cell of the smallest distance in row-major order), the second best likewise among the other
// cells. No rows give zeros. Throws IllegalMatrixSizeException when the columns differ from the
// net's dimension.
MapQuality measureMapQuality(const KohonenNet& net, const RealMatrix& data);
