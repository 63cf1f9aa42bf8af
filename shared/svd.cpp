#include "shared/svd.h"

#include <cmath>
#include <new>

#include "shared/simd.h"

namespace {

// The published method runs at most this many QR sweeps for one singular value.
constexpr int kMaxSweeps = 100;
// Back-substitution threshold used when thresh × wmax is not positive.
constexpr double kTinyThreshold = 1e-30;

double withSignOf(double magnitude, double sign) {
  return sign >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude);
}

bool negligible(double value, double anorm) {
  return std::fabs(value) + anorm == anorm;
}

}  // namespace

double Pythag(double a, double b) {
  const double absa = std::fabs(a);
  const double absb = std::fabs(b);
  if (absa > absb) {
    const double r = absb / absa;
    return absa * std::sqrt(1.0 + r * r);
  }
  if (absb > 0.0) {
    const double r = absa / absb;
    return absb * std::sqrt(1.0 + r * r);
  }
  return 0.0;
}

SvdDecomposition::SvdDecomposition(std::int32_t m, std::int32_t n, bool keepCopy) : keepCopy_(keepCopy) {
  if (m < n || n <= 0) return;
  try {
    const std::size_t mn = static_cast<std::size_t>(m) * n;
    a_.resize(mn);
    if (keepCopy) u_.resize(mn);
    w_.resize(n);
    v_.resize(static_cast<std::size_t>(n) * n);
    b_.resize(m);
    rv1_.resize(n);
    ut_.resize(mn);
    vt_.resize(static_cast<std::size_t>(n) * n);
    scratch_.resize(m);
  } catch (const std::bad_alloc&) {
    return;  // the vectors free what was obtained; ready stays clear
  }
  m_ = m;
  n_ = n;
  ready_ = true;
}

void SvdDecomposition::decompose() {
  if (!ready_) return;
  const std::int32_t m = m_, n = n_;
  double* ut = ut_.data();
  // Work on Uᵀ: row j of ut is column j of A.
  for (std::int32_t r = 0; r < m; ++r)
    for (std::int32_t j = 0; j < n; ++j)
      ut[static_cast<std::size_t>(j) * m + r] = a_[static_cast<std::size_t>(r) * n + j];

  double anorm = 0.0;
  bidiagonalise(ut, anorm);
  accumulateRight(ut);
  accumulateLeft(ut);
  diagonalise(ut, anorm);

  double* u = keepCopy_ ? u_.data() : a_.data();
  for (std::int32_t r = 0; r < m; ++r)
    for (std::int32_t j = 0; j < n; ++j)
      u[static_cast<std::size_t>(r) * n + j] = ut[static_cast<std::size_t>(j) * m + r];
  for (std::int32_t r = 0; r < n; ++r)
    for (std::int32_t j = 0; j < n; ++j)
      v_[static_cast<std::size_t>(r) * n + j] = vt_[static_cast<std::size_t>(j) * n + r];
}

// Householder reduction to bidiagonal form: the diagonal goes to w, the superdiagonal to rv1.
// Each reflection is scaled by the sum of absolute values of the vector it annihilates.
void SvdDecomposition::bidiagonalise(double* ut, double& anorm) {
  const std::int32_t m = m_, n = n_;
  double* w = w_.data();
  double* rv1 = rv1_.data();
  double* s = scratch_.data();
  double g = 0.0, scale = 0.0;
  anorm = 0.0;
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int32_t l = i + 1;
    rv1[i] = scale * g;
    g = scale = 0.0;
    double sum = 0.0;
    double* coli = ut + static_cast<std::size_t>(i) * m;
    // Left reflection: annihilate column i below the diagonal.
    for (std::int32_t k = i; k < m; ++k) scale += std::fabs(coli[k]);
    if (scale != 0.0) {
      for (std::int32_t k = i; k < m; ++k) {
        coli[k] /= scale;
        sum += coli[k] * coli[k];
      }
      const double f = coli[i];
      g = -withSignOf(std::sqrt(sum), f);
      const double h = f * g - sum;
      coli[i] = f - g;
      for (std::int32_t j = l; j < n; ++j) {
        double* colj = ut + static_cast<std::size_t>(j) * m;
        const double fj = simd::dot(coli + i, colj + i, m - i) / h;
        simd::axpy(colj + i, fj, coli + i, m - i);
      }
      for (std::int32_t k = i; k < m; ++k) coli[k] *= scale;
    }
    w[i] = scale * g;
    // Right reflection: annihilate row i right of the superdiagonal.
    g = scale = sum = 0.0;
    if (i != n - 1) {
      for (std::int32_t k = l; k < n; ++k) scale += std::fabs(ut[static_cast<std::size_t>(k) * m + i]);
      if (scale != 0.0) {
        for (std::int32_t k = l; k < n; ++k) {
          double& aik = ut[static_cast<std::size_t>(k) * m + i];
          aik /= scale;
          sum += aik * aik;
        }
        const double f = ut[static_cast<std::size_t>(l) * m + i];
        g = -withSignOf(std::sqrt(sum), f);
        const double h = f * g - sum;
        ut[static_cast<std::size_t>(l) * m + i] = f - g;
        for (std::int32_t k = l; k < n; ++k) rv1[k] = ut[static_cast<std::size_t>(k) * m + i] / h;
        // s[j] = Σk A[j][k]·A[i][k] for the rows below i, accumulated over k in order so each
        // pass runs along a contiguous column.
        for (std::int32_t j = l; j < m; ++j) s[j] = 0.0;
        for (std::int32_t k = l; k < n; ++k) {
          const double* colk = ut + static_cast<std::size_t>(k) * m;
          simd::axpy(s + l, colk[i], colk + l, m - l);
        }
        for (std::int32_t k = l; k < n; ++k) {
          double* colk = ut + static_cast<std::size_t>(k) * m;
          simd::axpy(colk + l, rv1[k], s + l, m - l);
        }
        for (std::int32_t k = l; k < n; ++k) ut[static_cast<std::size_t>(k) * m + i] *= scale;
      }
    }
    anorm = std::fmax(anorm, std::fabs(w[i]) + std::fabs(rv1[i]));
  }
}

// Accumulates the right-hand transformations into V (kept as Vᵀ: row j of vt is column j of V).
void SvdDecomposition::accumulateRight(const double* ut) {
  const std::int32_t m = m_, n = n_;
  const double* rv1 = rv1_.data();
  double* vt = vt_.data();
  double* ai = scratch_.data();  // row i of A, gathered once
  double g = 0.0;
  std::int32_t l = n;
  for (std::int32_t i = n - 1; i >= 0; --i) {
    double* vti = vt + static_cast<std::size_t>(i) * n;  // column i of V
    if (i < n - 1) {
      if (g != 0.0) {
        for (std::int32_t k = l; k < n; ++k) ai[k] = ut[static_cast<std::size_t>(k) * m + i];
        // Double division avoids a possible underflow.
        for (std::int32_t j = l; j < n; ++j) vti[j] = (ai[j] / ai[l]) / g;
        for (std::int32_t j = l; j < n; ++j) {
          double* vtj = vt + static_cast<std::size_t>(j) * n;
          const double s = simd::dot(ai + l, vtj + l, n - l);
          simd::axpy(vtj + l, s, vti + l, n - l);
        }
      }
      for (std::int32_t j = l; j < n; ++j) {
        vti[j] = 0.0;
        vt[static_cast<std::size_t>(j) * n + i] = 0.0;
      }
    }
    vti[i] = 1.0;
    g = rv1[i];
    l = i;
  }
}

// Accumulates the left-hand transformations, turning the stored reflectors into U.
void SvdDecomposition::accumulateLeft(double* ut) {
  const std::int32_t m = m_, n = n_;
  const double* w = w_.data();
  for (std::int32_t i = n - 1; i >= 0; --i) {
    const std::int32_t l = i + 1;
    double* coli = ut + static_cast<std::size_t>(i) * m;
    double g = w[i];
    for (std::int32_t j = l; j < n; ++j) ut[static_cast<std::size_t>(j) * m + i] = 0.0;
    if (g != 0.0) {
      g = 1.0 / g;
      for (std::int32_t j = l; j < n; ++j) {
        double* colj = ut + static_cast<std::size_t>(j) * m;
        const double s = simd::dot(coli + l, colj + l, m - l);
        const double f = (s / coli[i]) * g;
        simd::axpy(colj + i, f, coli + i, m - i);
      }
      for (std::int32_t j = i; j < m; ++j) coli[j] *= g;
    } else {
      for (std::int32_t j = i; j < m; ++j) coli[j] = 0.0;
    }
    coli[i] += 1.0;
  }
}

// Diagonalises the bidiagonal form by implicit-shift QR sweeps, k = n−1 down to 0.
void SvdDecomposition::diagonalise(double* ut, double anorm) {
  const std::int32_t m = m_, n = n_;
  double* w = w_.data();
  double* rv1 = rv1_.data();
  double* vt = vt_.data();
  auto ucol = [&](std::int32_t j) { return ut + static_cast<std::size_t>(j) * m; };
  auto vcol = [&](std::int32_t j) { return vt + static_cast<std::size_t>(j) * n; };

  for (std::int32_t k = n - 1; k >= 0; --k) {
    for (int sweep = 1; sweep <= kMaxSweeps; ++sweep) {
      // Find the top l of the unreduced block ending at k; rv1[0] is always zero.
      bool cancel = true;
      std::int32_t l = k;
      for (; l >= 1; --l) {
        if (negligible(rv1[l], anorm)) {
          cancel = false;
          break;
        }
        if (negligible(w[l - 1], anorm)) break;
      }
      if (l == 0) cancel = false;
      if (cancel) {
        // w[l−1] is negligible: chase rv1[l] out with rotations against row l−1.
        const std::int32_t nm = l - 1;
        double c = 0.0, s = 1.0;
        for (std::int32_t i = l; i <= k; ++i) {
          const double f = s * rv1[i];
          rv1[i] = c * rv1[i];
          if (negligible(f, anorm)) break;
          const double g = w[i];
          const double h = Pythag(f, g);
          w[i] = h;
          c = g / h;
          s = -f / h;
          simd::rotate(ucol(nm), ucol(i), m, c, s);
        }
      }
      const double z = w[k];
      if (l == k) {
        if (z < 0.0) {
          w[k] = -z;
          double* vk = vcol(k);
          for (std::int32_t j = 0; j < n; ++j) vk[j] = -vk[j];
        }
        break;
      }
      if (sweep == kMaxSweeps) break;  // no convergence: w[k] keeps its estimate

      // Shift from the bottom 2 × 2 minor.
      double x = w[l];
      const std::int32_t nm = k - 1;
      double y = w[nm];
      double g = rv1[nm];
      double h = rv1[k];
      double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
      g = Pythag(f, 1.0);
      f = ((x - z) * (x + z) + h * ((y / (f + withSignOf(g, f))) - h)) / x;
      // Next QR transformation.
      double c = 1.0, s = 1.0;
      for (std::int32_t j = l; j <= nm; ++j) {
        const std::int32_t i = j + 1;
        g = rv1[i];
        y = w[i];
        h = s * g;
        g = c * g;
        double zz = Pythag(f, h);
        rv1[j] = zz;
        c = f / zz;
        s = h / zz;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        simd::rotate(vcol(j), vcol(i), n, c, s);
        zz = Pythag(f, h);
        w[j] = zz;
        if (zz != 0.0) {
          c = f / zz;
          s = h / zz;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        simd::rotate(ucol(j), ucol(i), m, c, s);
      }
      rv1[l] = 0.0;
      rv1[k] = f;
      w[k] = x;
    }
  }
}

void SvdDecomposition::backSubstitute(double thresh, double* x) {
  if (!ready_) return;
  const std::int32_t m = m_, n = n_;
  const double* u = this->u();
  const double* w = w_.data();
  double wmax = 0.0;
  for (std::int32_t j = 0; j < n; ++j)
    if (w[j] > wmax) wmax = w[j];
  double tau = thresh * wmax;
  if (!(tau > 0.0)) tau = kTinyThreshold;

  // t = diag(1/w)·Uᵀ·b; the dot products run over i in order, row by row of U.
  double* t = scratch_.data();
  for (std::int32_t j = 0; j < n; ++j) t[j] = 0.0;
  for (std::int32_t i = 0; i < m; ++i) {
    const double bi = b_[i];
    const double* ui = u + static_cast<std::size_t>(i) * n;
    for (std::int32_t j = 0; j < n; ++j) t[j] += ui[j] * bi;
  }
  for (std::int32_t j = 0; j < n; ++j) t[j] = w[j] > tau ? t[j] / w[j] : 0.0;
  for (std::int32_t j = 0; j < n; ++j) {
    const double* vj = v_.data() + static_cast<std::size_t>(j) * n;
    double s = 0.0;
    for (std::int32_t k = 0; k < n; ++k) s += vj[k] * t[k];
    x[j] = s;
  }
}
