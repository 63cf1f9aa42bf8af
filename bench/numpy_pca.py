#!/usr/bin/python3
"""Peer for PrincipalComponents: the principal components of a 2000 x 200 data matrix of
standard normal values (the size matrix_bench uses) as a numpy user computes them: the
covariance of the columns, its decomposition through LAPACK, the values sorted descending.
Two variants: symmetric eigen-decomposition (eigh) and SVD (our method).
usage: numpy_pca.py REPS   (run with OMP_NUM_THREADS / OPENBLAS_NUM_THREADS set to 1)"""
import statistics
import sys
import time

import numpy as np

ROWS, COLS = 2000, 200


def pca_eigh(x):
    c = np.cov(x, rowvar=False)
    values, vectors = np.linalg.eigh(c)
    order = np.argsort(values)[::-1]
    return values[order], vectors[:, order]


def pca_svd(x):
    c = np.cov(x, rowvar=False)
    u, s, _ = np.linalg.svd(c)
    return s, u  # already descending


def main():
    reps = int(sys.argv[1]) if len(sys.argv) > 1 else 11
    x = np.random.default_rng(3).standard_normal((ROWS, COLS))
    for name, f in (("pca_eigh", pca_eigh), ("pca_svd", pca_svd)):
        f(x)  # warm-up: first call loads and initialises the LAPACK code paths
        times = []
        for _ in range(reps):
            t0 = time.perf_counter()
            f(x)
            times.append(time.perf_counter() - t0)
        print(f"{name} numpy={np.__version__} median_ms={1e3 * statistics.median(times):.3f} "
              f"min_ms={1e3 * min(times):.3f}", flush=True)
    a, _ = pca_eigh(x)
    b, _ = pca_svd(x)
    print(f"check: max|eigh - svd| = {np.max(np.abs(a - b)):.2e}")


if __name__ == "__main__":
    main()
