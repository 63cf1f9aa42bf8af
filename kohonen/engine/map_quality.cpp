#include "kohonen/engine/map_quality.h"

#include <cstdlib>
#include <limits>

#include "shared/exceptions.h"

MapQuality measureMapQuality(const KohonenNet& net, const RealMatrix& data) {
  if (data.Cols() != net.dimension())
    throw IllegalMatrixSizeException("measureMapQuality: data columns differ from the net dimension");
  MapQuality quality;
  quality.rows = data.Rows();
  if (data.Rows() == 0) return quality;
  const std::int32_t columns = net.columns();
  const std::int32_t cells = net.cellCount();
  double distanceSum = 0.0;
  std::int32_t broken = 0;
  for (std::int32_t row = 0; row < data.Rows(); ++row) {
    const double* x = data.data() + static_cast<std::size_t>(row) * data.Cols();
    // Strict improvement in row-major order: ties go to the earlier cell, and a distance that is
    // not a number never wins.
    constexpr double kNone = std::numeric_limits<double>::infinity();
    double best = kNone, second = kNone;
    std::int32_t bestCell = -1, secondCell = -1;
    for (std::int32_t cell = 0; cell < cells; ++cell) {
      const double d = net.cellDistance(cell / columns, cell % columns, x);
      if (bestCell < 0 || d < best) {
        second = best;
        secondCell = bestCell;
        best = d;
        bestCell = cell;
      } else if (secondCell < 0 || d < second) {
        second = d;
        secondCell = cell;
      }
    }
    distanceSum += best;
    if (secondCell >= 0) {
      const int rowStep = std::abs(bestCell / columns - secondCell / columns);
      const int columnStep = std::abs(bestCell % columns - secondCell % columns);
      if (rowStep + columnStep != 1) ++broken;
    }
  }
  quality.quantisationError = distanceSum / data.Rows();
  quality.topographicError = static_cast<double>(broken) / data.Rows();
  return quality;
}
