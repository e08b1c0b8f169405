#!/usr/bin/python3
"""Writes the data sets and settings documents of the selection comparison (fixed seeds).

fs:  20,000 cases, 20 continuous features x0..x19 in [0, 10] (x0..x9 drive y, x10..x19 are
     noise), continuous y; forward selection of 8 features with K = 5.
ks:  100,000 cases, 8 features (x0..x4 drive y, x5..x7 noise), y, fold = case number mod 10;
     K chosen from 3..30 by 10-fold cross-validation.
big: 1,000,000 cases, 8 features, a categorical target c with three classes; a fixed K = 5
     (the memory run).
"""

import argparse
import os

import numpy as np

SETS = {
    "fs": dict(n=20_000, informative=10, noise=10, seed=771),
    "ks": dict(n=100_000, informative=5, noise=3, seed=772),
    "big": dict(n=1_000_000, informative=5, noise=3, seed=773),
}


def make(n, informative, noise, seed):
    rng = np.random.default_rng(seed)
    x = rng.uniform(0.0, 10.0, size=(n, informative + noise))
    weights = 1.0 / np.arange(1, informative + 1)
    y = x[:, :informative] @ weights + rng.normal(0.0, 0.5, size=n)
    return x, y


def write_csv(path, x, target_name, target, fold=None):
    n, m = x.shape
    columns = [np.arange(1, n + 1).reshape(-1, 1), x, target.reshape(-1, 1)]
    header = ["id"] + [f"x{j}" for j in range(m)] + [target_name]
    formats = ["%d"] + ["%.6f"] * m + (["%d"] if target.dtype.kind == "i" else ["%.6f"])
    if fold is not None:
        columns.append(fold.reshape(-1, 1))
        header.append("fold")
        formats.append("%d")
    table = np.hstack([c.astype(float) for c in columns])
    np.savetxt(path, table, fmt=formats, delimiter=",", header=",".join(header), comments="")


def settings(features, target_xml, params, fold_count=0):
    fields = ['    <field name="id" optype="continuous" dataType="integer" min="1" max="1e9"/>']
    fields += [
        f'    <field name="x{j}" optype="continuous" dataType="double" min="0" max="10"/>'
        for j in range(features)
    ]
    fields.append(target_xml)
    if fold_count:
        values = "".join(f'<value value="{f}"/>' for f in range(fold_count))
        fields.append(f'    <field name="fold" optype="categorical" dataType="integer">{values}</field>')
    fields.append('    <field name="focal" optype="categorical" dataType="integer" default="0">'
                  '<value value="0"/><value value="1"/></field>')
    inputs = "".join(f'<field name="x{j}"/>' for j in range(features))
    target_name = target_xml.split('"')[1]
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<settings>", "  <fields>", *fields,
             "  </fields>", f'  <targets><field name="{target_name}"/></targets>',
             f"  <inputs>{inputs}</inputs>", '  <param name="CaseIDVar">id</param>',
             '  <param name="FocalVar">focal</param>', '  <param name="TempFileDir"></param>']
    lines += [f'  <param name="{k}">{v}</param>' for k, v in params.items()]
    lines.append("</settings>")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--sets", default="fs,ks,big")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for name in args.sets.split(","):
        spec = SETS[name]
        x, y = make(**spec)
        m = x.shape[1]
        y_xml = (f'    <field name="y" optype="continuous" dataType="double" '
                 f'min="{np.floor(y.min()):.0f}" max="{np.ceil(y.max()):.0f}"/>')
        path = os.path.join(args.out, f"{name}.csv")
        if name == "fs":
            write_csv(path, x, "y", y)
            doc = settings(m, y_xml, {"IsFeatureSelection": "true", "NSpecifiedFeatures": 8,
                                      "SpecifiedK": 5})
        elif name == "ks":
            fold = np.arange(spec["n"]) % 10
            write_csv(path, x, "y", y, fold)
            doc = settings(m, y_xml, {"IsAutoKSelection": "true", "MinK": 3, "MaxK": 30,
                                      "VFoldVar": "fold", "VFoldValue": 10}, fold_count=10)
        else:
            # Three classes from the response's terciles.
            c = np.digitize(y, np.quantile(y, [1 / 3, 2 / 3])).astype(np.int64)
            write_csv(path, x, "c", c)
            c_xml = ('    <field name="c" optype="categorical" dataType="integer">'
                     '<value value="0"/><value value="1"/><value value="2"/></field>')
            doc = settings(m, c_xml, {"SpecifiedK": 5})
        with open(os.path.join(args.out, f"{name}.xml"), "w") as handle:
            handle.write(doc)
        print(f"{name}: {x.shape[0]} cases, {m} features -> {path}")


if __name__ == "__main__":
    main()
