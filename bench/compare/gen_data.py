#!/usr/bin/python3
"""Writes the comparison data set: a mixture of Gaussian clusters, every continuous column
rescaled to [-1, 1] by its min and max, optional categorical columns (4, 6 and 10 codes)
that follow the cluster with some noise.

File layout (little endian): int64 n, int32 continuous, int32 categorical, int32 codes per
categorical column, then n rows of float64 values (continuous first, then codes).

Usage: gen_data.py N CONTINUOUS CATEGORICAL SEED OUT
"""
import sys

import numpy as np

CATEGORY_COUNTS = [4, 6, 10]


def main():
    n, cont, cat, seed = (int(v) for v in sys.argv[1:5])
    out = sys.argv[5]
    rng = np.random.default_rng(seed)
    clusters = 12
    centres = rng.uniform(-10.0, 10.0, size=(clusters, cont))
    widths = rng.uniform(0.3, 2.0, size=clusters)
    label = rng.integers(0, clusters, size=n)
    x = centres[label] + widths[label, None] * rng.standard_normal((n, cont))
    lo = x.min(axis=0)
    hi = x.max(axis=0)
    x = (x - lo) / (hi - lo) * 2.0 - 1.0
    codes = []
    for g in range(cat):
        count = CATEGORY_COUNTS[g]
        noisy = rng.uniform(size=n) >= 0.8
        c = (label + g) % count
        c[noisy] = rng.integers(0, count, size=int(noisy.sum()))
        codes.append(c.astype(np.float64))
    rows = np.column_stack([x] + codes) if codes else x
    with open(out, "wb") as f:
        np.array([n], dtype="<i8").tofile(f)
        np.array([cont, cat] + CATEGORY_COUNTS[:cat], dtype="<i4").tofile(f)
        np.ascontiguousarray(rows, dtype="<f8").tofile(f)


if __name__ == "__main__":
    main()
