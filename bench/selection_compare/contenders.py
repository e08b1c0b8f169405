#!/usr/bin/python3
"""The contenders of the selection comparison, one task per run, single-threaded.

  ckdtree-fs  forward selection of 8 of 20 features, K = 5: for every step and candidate a
              SciPy cKDTree over the candidate set and one (K + 1)-neighbour query per case,
              dropping the case itself (leave-self-out); the error is the sum of squared
              errors of the neighbours' mean, as `knn build` computes it.
  ckdtree-ks  K from 3..30 by 10-fold cross-validation: per fold a cKDTree without the fold
              and one 30-neighbour query per held-out case; every K from prefix means.
  sklearn-fs  scikit-learn SequentialFeatureSelector(KNeighborsRegressor(5), 8, cv=5).
  sklearn-ks  scikit-learn GridSearchCV(KNeighborsRegressor, K = 3..30) over the same folds.

Prints one line: "seconds=<wall seconds of the selection> result=<chosen features or K>".
Inputs are rescaled to [-1, 1] from the declared range [0, 10], as the component does.
"""

import os
import sys
import time

for _name in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_name, "1")

import numpy as np  # noqa: E402
from scipy.spatial import cKDTree  # noqa: E402


def load(path):
    with open(path) as handle:
        header = handle.readline().strip().split(",")
    table = np.loadtxt(path, delimiter=",", skiprows=1)
    features = [i for i, name in enumerate(header) if name.startswith("x")]
    x = 2.0 * table[:, features] / 10.0 - 1.0
    y = table[:, header.index("y")]
    fold = table[:, header.index("fold")].astype(int) if "fold" in header else None
    return x, y, fold


def ckdtree_fs(x, y, k=5, select=8):
    selected, remaining = [], list(range(x.shape[1]))
    for _ in range(select):
        best, best_error = None, np.inf
        for candidate in remaining:
            columns = x[:, selected + [candidate]]
            _, index = cKDTree(columns).query(columns, k=k + 1)
            # Leave-self-out: the case is its own nearest neighbour (distance 0); drop it.
            others = np.where(index[:, :1] == np.arange(len(y))[:, None], index[:, 1:],
                              index[:, :k])
            error = float(np.sum((y[others].mean(axis=1) - y) ** 2))
            if error < best_error:
                best, best_error = candidate, error
        selected.append(best)
        remaining.remove(best)
    return "features=" + ",".join(f"x{j}" for j in selected)


def ckdtree_ks(x, y, fold, min_k=3, max_k=30):
    folds = int(fold.max()) + 1
    errors = np.zeros(max_k - min_k + 1)
    for f in range(folds):
        train, test = fold != f, fold == f
        _, index = cKDTree(x[train]).query(x[test], k=max_k)
        means = np.cumsum(y[train][index], axis=1) / np.arange(1, max_k + 1)
        sse = np.sum((means[:, min_k - 1:] - y[test][:, None]) ** 2, axis=0)
        errors += sse / folds
    return f"K={min_k + int(np.argmin(errors))}"


def sklearn_fs(x, y, k=5, select=8):
    from sklearn.feature_selection import SequentialFeatureSelector
    from sklearn.neighbors import KNeighborsRegressor
    selector = SequentialFeatureSelector(KNeighborsRegressor(n_neighbors=k),
                                         n_features_to_select=select, direction="forward", cv=5)
    selector.fit(x, y)
    return "features=" + ",".join(f"x{j}" for j in np.flatnonzero(selector.get_support()))


def sklearn_ks(x, y, fold, min_k=3, max_k=30):
    from sklearn.model_selection import GridSearchCV, PredefinedSplit
    from sklearn.neighbors import KNeighborsRegressor
    search = GridSearchCV(KNeighborsRegressor(), {"n_neighbors": list(range(min_k, max_k + 1))},
                          cv=PredefinedSplit(fold), scoring="neg_mean_squared_error")
    search.fit(x, y)
    return f"K={search.best_params_['n_neighbors']}"


def main():
    task, path = sys.argv[1], sys.argv[2]
    x, y, fold = load(path)
    start = time.perf_counter()
    if task == "ckdtree-fs":
        result = ckdtree_fs(x, y)
    elif task == "ckdtree-ks":
        result = ckdtree_ks(x, y, fold)
    elif task == "sklearn-fs":
        result = sklearn_fs(x, y)
    elif task == "sklearn-ks":
        result = sklearn_ks(x, y, fold)
    else:
        sys.exit(f"unknown task {task}")
    print(f"seconds={time.perf_counter() - start:.3f} result={result}")


if __name__ == "__main__":
    main()
