#!/usr/bin/python3
"""Compares leave-self-out KNN predictions written by the C++ tests with scikit-learn.

Input CSV (header row): feature columns x0..x{m-1}, the response y, then pred1..predK
(the component's prediction with k = 1..K neighbours) and dist1..distK (the distance of
the k-th neighbour). Every case i is predicted from all other cases with
KNeighborsClassifier / KNeighborsRegressor (uniform weights, brute force, Euclidean).

A (case, k) pair is skipped when the k-th and (k+1)-th nearest other cases are equally
far away: the neighbour set is then not unique and both answers are right. Skips are
counted and printed.

Exit codes: 0 all compared predictions and distances agree; 1 a mismatch (listed);
2 bad input; 77 scikit-learn is not installed.
"""

import argparse
import csv
import os
import sys

# One thread: thousands of tiny predictions are far slower with a thread pool per call.
for _name in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_name, "1")

try:
    import numpy as np
    from sklearn.neighbors import KNeighborsClassifier, KNeighborsRegressor
except ImportError as error:  # pragma: no cover - depends on the machine
    print(f"scikit-learn not available: {error}")
    sys.exit(77)


def read_table(path):
    with open(path, newline="") as handle:
        rows = list(csv.reader(handle))
    header, body = rows[0], np.array(rows[1:], dtype=float)
    features = [i for i, name in enumerate(header) if name.startswith("x")]
    y_col = header.index("y")
    preds = [i for i, name in enumerate(header) if name.startswith("pred")]
    dists = [i for i, name in enumerate(header) if name.startswith("dist")]
    return body[:, features], body[:, y_col], body[:, preds], body[:, dists]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--task", choices=["classification", "regression"], required=True)
    parser.add_argument("csv")
    args = parser.parse_args()

    X, y, component_preds, component_dists = read_table(args.csv)
    n, K = component_preds.shape
    if n < K + 2 or component_dists.shape[1] != K:
        print("bad input shape")
        return 2
    classify = args.task == "classification"
    if classify:
        y = y.astype(int)

    compared = skipped = 0
    mismatches = []
    for i in range(n):
        others = np.delete(np.arange(n), i)
        X_train, y_train = X[others], y[others]
        distances = np.sort(np.sqrt(((X_train - X[i]) ** 2).sum(axis=1)))
        for k in range(1, K + 1):
            if not np.isclose(component_dists[i, k - 1], distances[k - 1], rtol=1e-9, atol=1e-12):
                mismatches.append(
                    f"case {i} k {k}: distance {component_dists[i, k - 1]!r} "
                    f"vs {distances[k - 1]!r}")
        model = (KNeighborsClassifier if classify else KNeighborsRegressor)(
            n_neighbors=1, weights="uniform", algorithm="brute")
        model.fit(X_train, y_train)
        for k in range(1, K + 1):
            if k < len(distances) and np.isclose(distances[k - 1], distances[k], rtol=1e-12,
                                                 atol=1e-12):
                skipped += 1
                continue
            model.set_params(n_neighbors=k)
            expected = model.predict(X[i:i + 1])[0]
            got = component_preds[i, k - 1]
            same = int(got) == int(expected) if classify else np.isclose(
                got, expected, rtol=1e-9, atol=1e-12)
            compared += 1
            if not same:
                mismatches.append(f"case {i} k {k}: component {got!r} vs sklearn {expected!r}")

    print(f"{args.task}: {n} cases, K = {K}: {compared} predictions compared, "
          f"{skipped} skipped for a distance tie at the k-th place, "
          f"{len(mismatches)} mismatches")
    for line in mismatches[:20]:
        print("  " + line)
    if compared == 0:
        print("nothing was compared")
        return 1
    return 1 if mismatches else 0


if __name__ == "__main__":
    sys.exit(main())
