#include <cstdio>

#include "shared/real_matrix.h"

// Placeholder start-up: decomposes a small covariance so a fresh build shows its numerics work.
int main() {
  const double values[] = {2, 1, 0, 1, 3, 1, 0, 1, 4, 1, 1, 1};
  RealMatrix x(4, 3, values);
  RealMatrix lambda, vectors, projections;
  PrincipalComponents(lambda, vectors, projections, x, false);
  std::printf("Lumivane %s\nprincipal variances of a 4 x 3 sample:", "0.1");
  for (int i = 0; i < lambda.Rows(); ++i) std::printf(" %.6g", lambda(i, 0));
  std::printf("\n");
  return 0;
}
