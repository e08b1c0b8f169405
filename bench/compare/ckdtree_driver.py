#!/usr/bin/python3
"""SciPy cKDTree on a data file of gen_data.py: every case searched for its 5 nearest other
cases (6 with itself), one worker. Categorical columns are expanded to indicator columns,
which gives the same distances as a category mismatch term of 2.

Usage: ckdtree_driver.py DATA [LEAFSIZE]
Prints: build_s search_s cases_per_s
"""
import sys
import time

import numpy as np
from scipy.spatial import cKDTree


def load(path):
    with open(path, "rb") as f:
        n = int(np.fromfile(f, dtype="<i8", count=1)[0])
        cont, cat = (int(v) for v in np.fromfile(f, dtype="<i4", count=2))
        counts = [int(v) for v in np.fromfile(f, dtype="<i4", count=cat)]
        rows = np.fromfile(f, dtype="<f8", count=n * (cont + cat)).reshape(n, cont + cat)
    parts = [rows[:, :cont]]
    for g, count in enumerate(counts):
        codes = rows[:, cont + g].astype(np.int64)
        parts.append(np.eye(count)[codes])
    return np.ascontiguousarray(np.column_stack(parts))


def main():
    data = load(sys.argv[1])
    leafsize = int(sys.argv[2]) if len(sys.argv) > 2 else 16
    start = time.process_time()
    tree = cKDTree(data, leafsize=leafsize)
    built = time.process_time()
    dist, idx = tree.query(data, k=6, workers=1)
    done = time.process_time()
    n = data.shape[0]
    print(f"{built - start:.3f} {done - built:.3f} {n / (done - built):.0f} "
          f"checksum {float(np.sum(dist[:, 1])):.6f}")


if __name__ == "__main__":
    main()
