#!/usr/bin/env python3
"""Recomputes, independently of the component, what the golden model documents claim.

For every NearestNeighborModel of every golden document it rebuilds the training cases from
the document's own training table and data dictionary, finds each case's K nearest other
cases by brute force, and checks the "neighborsDistances" and "predictionProbability" rows,
the confusion matrix, the training error and the sum of squared errors. Run it after
regenerating the goldens (KNN_UPDATE_GOLDEN=1) and before accepting them.

Usage: verify_goldens.py [golden.pmml ...]   (default: every *.pmml beside this script)
"""
import glob
import math
import os
import sys
import xml.etree.ElementTree as ET

NS = {"p": "http://www.dmg.org/PMML-4_3"}


def g15(x):
    return "%.15g" % x


def unescape_cell(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append(text[i + 1])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def check(path):
    root = ET.parse(path).getroot()
    problems = []
    params = {p.get("name"): p.get("value") for p in root.iterfind(".//p:MiningBuildTask//p:Parameter", NS)}
    targets = [v.get("value") for v in root.iterfind(".//p:Parameter[@name='target']//p:Value", NS)]
    euclid = params["DistMetric"] == "Euclidean"
    rescale = params["RescaleMethod"] == "true"
    median = params["ComputePredValFunc"] == "Median"
    fields = {}
    for f in root.iterfind("p:DataDictionary/p:DataField", NS):
        interval = f.find("p:Interval", NS)
        fields[f.get("name")] = {
            "cont": f.get("optype") == "continuous",
            "min": float(interval.get("leftMargin")) if interval is not None else None,
            "max": float(interval.get("rightMargin")) if interval is not None else None,
            "cats": [v.get("value") for v in f.iterfind("p:Value", NS)],
        }
    special = {params.get("CaseIDVar"), params.get("FocalVar")}
    cont_targets = {t for t in targets if fields[t]["cont"]}

    for model in root.iterfind("p:NearestNeighborModel", NS):
        K = int(model.get("numberOfNeighbors"))
        ti = model.find("p:TrainingInstances", NS)
        columns = {f.get("column"): f.get("field") for f in ti.iterfind(".//p:InstanceField", NS)}
        cases = []
        for row in ti.iterfind(".//p:row", NS):
            case = {}
            for cell in row:
                field = columns[cell.tag.split("}")[1]]
                if field == "ID" and field not in fields:
                    continue
                text = cell.text or ""
                if fields[field]["cont"]:
                    case[field] = float(text)
                else:
                    cats = fields[field]["cats"]
                    value = unescape_cell(text)
                    case[field] = cats.index(value) if value in cats else float(text)
            cases.append(case)
        active = {}
        for mf in model.iterfind("p:MiningSchema/p:MiningField", NS):
            if mf.get("usageType") == "active":
                w = mf.find("p:Extension[@name='weight']", NS)
                active[mf.get("name")] = float(w.get("value")) if w is not None else 1.0
        target = next((mf.get("name") for mf in model.iterfind("p:MiningSchema/p:MiningField", NS)
                       if mf.get("usageType") == "predicted"), None)

        def coord(case, f):
            x = case[f]
            info = fields[f]
            if info["cont"] and rescale and f not in special and f not in cont_targets:
                return (x - info["min"]) / (info["max"] - info["min"]) * 2 - 1
            return x

        def distance(a, b, weights=None):
            total = 0.0
            for f, w in (weights if weights is not None else active).items():
                if fields[f]["cont"]:
                    d = coord(a, f) - coord(b, f)
                    total += w * d * d if euclid else w * abs(d)
                elif a[f] != b[f]:
                    total += 2 * w
            return math.sqrt(total) if euclid else total

        tables = {t.get("name"): [r.text for r in t.iterfind("p:Row", NS)]
                  for t in model.iterfind("p:Extension/p:SimpleTable", NS)}
        nd = tables["neighborsDistances"]
        prob = tables.get("predictionProbability")
        caseid = params["CaseIDVar"]
        counts = None
        if target and not fields[target]["cont"]:
            ncat = len(fields[target]["cats"])
            counts = [sum(1 for c in cases if c[target] == k) for k in range(ncat)]
            confusion = [[0] * ncat for _ in range(ncat)]
        sse, wrong = 0.0, 0
        for i, case in enumerate(cases):
            others = sorted(((distance(case, o), j) for j, o in enumerate(cases) if j != i))
            if len(others) > K and abs(others[K - 1][0] - others[K][0]) < 1e-12:
                problems.append("%s row %d: tie at the K-th neighbour" % (path, i + 1))
            nn = others[:K]
            cells = nd[i].split(";")
            expect = [str(i + 1), str(int(case[caseid]))]
            expect += [str(int(cases[j][caseid])) for _, j in nn]
            expect += [g15(d) for d, _ in nn]
            if target:
                preds = []
                for k in range(1, K + 1):
                    ys = [cases[j][target] for _, j in nn[:k]]
                    if fields[target]["cont"]:
                        if median:
                            s = sorted(ys)
                            preds.append(s[k // 2] if k % 2 else (s[k // 2 - 1] + s[k // 2]) * 0.5)
                        else:
                            total = 0.0
                            for y in ys:
                                total += y
                            preds.append(total / k)
                    else:
                        votes = [ys.count(c) for c in range(ncat)]
                        best = max(votes)
                        tied = [c for c in range(ncat) if votes[c] == best]
                        top = max(counts[c] for c in tied)
                        preds.append(min(c for c in tied if counts[c] == top))
                expect += [g15(p) for p in preds]
                if fields[target]["cont"]:
                    sse += (preds[-1] - case[target]) ** 2
                else:
                    confusion[case[target]][preds[-1]] += 1
                    wrong += preds[-1] != case[target]
                    votes = [[cases[j][target] for _, j in nn].count(c) for c in range(ncat)]
                    pexp = [str(i + 1)] + [g15((v + 1) / (ncat + K)) for v in votes]
                    if prob[i].split(";") != pexp:
                        problems.append("%s probability row %d: %s, expected %s" % (path, i + 1, prob[i], ";".join(pexp)))
            if cells != expect:
                problems.append("%s neighbour row %d: %s, expected %s" % (path, i + 1, nd[i], ";".join(expect)))
        ksel = tables.get("KSelection")
        if ksel is not None:
            fold_field, V = params["VFoldVar"], int(params["VFoldValue"])
            min_k = int(params["MinK"])
            for i_row, row in enumerate(ksel):
                k = min_k + i_row
                error = 0.0
                for f in range(V):
                    held = [c for c in cases if c[fold_field] == f]
                    kept = [c for c in cases if c[fold_field] != f]
                    fold_error = 0.0
                    for case in held:
                        ys = [kept[j][target] for _, j in sorted((distance(case, o), j) for j, o in enumerate(kept))[:k]]
                        if fields[target]["cont"]:
                            s = sorted(ys)
                            if median:
                                pred = s[k // 2] if k % 2 else (s[k // 2 - 1] + s[k // 2]) * 0.5
                            else:
                                pred = sum(ys) / k
                            fold_error += (pred - case[target]) ** 2
                        else:
                            votes = [ys.count(c) for c in range(ncat)]
                            tied = [c for c in range(ncat) if votes[c] == max(votes)]
                            top = max(counts[c] for c in tied)
                            fold_error += min(c for c in tied if counts[c] == top) == case[target]
                    error += (fold_error if fields[target]["cont"] else 1 - fold_error / len(held)) / V
                if row.split(";") != [str(k), g15(error)]:
                    problems.append("%s KSelection row %s, expected %d;%s" % (path, row, k, g15(error)))
            errors = [float(r.split(";")[1]) for r in ksel]
            if min_k + errors.index(min(errors)) != K:
                problems.append("%s K %d is not the first K with the smallest error" % (path, K))
        def loo_error(features, k):
            weights = {f: 1.0 for f in features}
            total = 0.0
            for i, case in enumerate(cases):
                nn = sorted((distance(case, o, weights), j) for j, o in enumerate(cases) if j != i)[:k]
                ys = [cases[j][target] for _, j in nn]
                if fields[target]["cont"]:
                    if median:
                        s = sorted(ys)
                        pred = s[k // 2] if k % 2 else (s[k // 2 - 1] + s[k // 2]) * 0.5
                    else:
                        pred = 0.0
                        for y in ys:
                            pred += y
                        pred /= k
                    total += (pred - case[target]) ** 2
                else:
                    votes = [ys.count(c) for c in range(ncat)]
                    tied = [c for c in range(ncat) if votes[c] == max(votes)]
                    top = max(counts[c] for c in tied)
                    total += min(c for c in tied if counts[c] == top) != case[target]
            return total if fields[target]["cont"] else total / len(cases)

        fsel = tables.get("FeatureSelection")
        if fsel is not None:
            chosen = []
            for row in fsel:
                step, names, error, _ = row.split(";")
                chosen += names.split("+")
                expect = loo_error(chosen, K)
                if abs(float(error) - expect) > 1e-9 * max(1.0, abs(expect)):
                    problems.append("%s FeatureSelection row %s, expected error %s" % (path, row, g15(expect)))
        quality = model.find("p:ModelExplanation/p:PredictiveModelQuality", NS)
        if target and fields[target]["cont"]:
            if abs(float(quality.get("sumSquaredError")) - sse) > 1e-9 * max(1.0, sse):
                problems.append("%s sumSquaredError %s, expected %r" % (path, quality.get("sumSquaredError"), sse))
        elif target:
            rows = [[int(x) for x in (a.text or "").split()] for a in quality.iterfind(".//p:Matrix/p:Array", NS)]
            if rows != confusion:
                problems.append("%s confusion %r, expected %r" % (path, rows, confusion))
            pic = model.find("p:Extension/p:Parameter[@name='percentIncorrectlyClassifiedCases']", NS).get("value")
            if pic != g15(wrong / len(cases)):
                problems.append("%s percentIncorrectlyClassifiedCases %s, expected %s" % (path, pic, g15(wrong / len(cases))))
    return problems


def main():
    paths = sys.argv[1:] or sorted(glob.glob(os.path.join(os.path.dirname(os.path.abspath(__file__)), "*.pmml")))
    problems = []
    for path in paths:
        problems += check(path)
    for p in problems:
        print(p)
    print("%d documents, %d problems" % (len(paths), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
