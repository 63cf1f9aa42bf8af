#include "shared/vector_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(LUMIVANE_NO_FUNCTION_CLONES)
#define LUMIVANE_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define LUMIVANE_VECTOR_CLONES
#endif

namespace kernels {

LUMIVANE_VECTOR_CLONES
double dot(const double* x, const double* y, std::int32_t len) {
  // Four interleaved partial sums break the chain of dependent additions.
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  std::int32_t k = 0;
  for (; k + 4 <= len; k += 4) {
    s0 += x[k] * y[k];
    s1 += x[k + 1] * y[k + 1];
    s2 += x[k + 2] * y[k + 2];
    s3 += x[k + 3] * y[k + 3];
  }
  for (; k < len; ++k) s0 += x[k] * y[k];
  return (s0 + s1) + (s2 + s3);
}

LUMIVANE_VECTOR_CLONES
void axpy(double* y, double a, const double* x, std::int32_t len) {
  for (std::int32_t k = 0; k < len; ++k) y[k] += a * x[k];
}

LUMIVANE_VECTOR_CLONES
void rotate(double* x, double* y, std::int32_t len, double c, double s) {
  for (std::int32_t r = 0; r < len; ++r) {
    const double xr = x[r];
    const double yr = y[r];
    x[r] = xr * c + yr * s;
    y[r] = yr * c - xr * s;
  }
}

}  // namespace kernels
