#!/bin/sh
# The selection comparison in one command: generates the data sets (fixed seeds), runs
# `knn build` (end to end: CSV read, selection, PMML written) and the contenders one after
# the other on this machine (knn, the cKDTree loops and SequentialFeatureSelector in three
# rounds spread over the run, their medians reported), and prints the ratio table with the
# machine's facts.
#
#   bench/selection_compare/run.sh [--no-sklearn] [--no-memory]
#
# KNN names the knn program (default: the first of build-bench, build-perfmodel-bench and
# build that has one; build it in Release). WORK is the folder for the data and outputs
# (default: $TMPDIR/knn-selection-compare); the data is generated once and reused.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
python=/usr/bin/python3
work=${WORK:-${TMPDIR:-/tmp}/knn-selection-compare}
sklearn=1
memory=1
for arg in "$@"; do
  case "$arg" in
    --no-sklearn) sklearn=0 ;;
    --no-memory) memory=0 ;;
    *) echo "usage: $0 [--no-sklearn] [--no-memory]" >&2; exit 2 ;;
  esac
done

knn=${KNN:-}
if [ -z "$knn" ]; then
  for candidate in build-bench build-perfmodel-bench build; do
    if [ -x "$root/$candidate/bin/knn" ]; then knn=$root/$candidate/bin/knn; break; fi
  done
fi
if [ -z "$knn" ] || [ ! -x "$knn" ]; then
  echo "no knn program: build one (cmake --preset bench && cmake --build --preset bench) or set KNN" >&2
  exit 2
fi
if [ ! -x /usr/bin/time ]; then
  echo "/usr/bin/time is needed (apt-get install time)" >&2
  exit 2
fi

mkdir -p "$work"
sets="fs,ks"
[ "$memory" = 1 ] && sets="fs,ks,big"
missing=""
for s in $(echo "$sets" | tr ',' ' '); do
  [ -f "$work/$s.csv" ] || missing="$missing,$s"
done
if [ -n "$missing" ]; then
  echo "generating${missing#,}: ${missing#,}" | sed 's/generating[^:]*: /generating /'
  "$python" "$here/generate.py" --out "$work" --sets "${missing#,}"
fi

# Runs a command with its wall time and peak resident memory written to $work/$1.time.
timed() {
  label=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/$label.time" "$@" >"$work/$label.out" 2>"$work/$label.err" || {
    echo "$label failed:" >&2
    tail -5 "$work/$label.err" >&2
    exit 1
  }
}
wall() { cut -d' ' -f1 "$work/$1.time"; }
rss_kb() { cut -d' ' -f2 "$work/$1.time"; }
# The contender's own timing of its selection (data loading excluded).
selection_seconds() { sed -n 's/^seconds=\([0-9.]*\).*/\1/p' "$work/$1.out"; }
result() { sed -n 's/.*result=//p' "$work/$1.out"; }

# knn, the cKDTree loops and SequentialFeatureSelector (half a minute) run in rounds spread
# over the whole comparison, the five-minute GridSearchCV between two of them, and each
# reports its median round: the machine's speed drifts from minute to minute, and a single
# run samples one moment of it. Each round runs a contender right after knn on the same task.
round() {
  r=$1
  echo "round $r: knn build (fs, ks), cKDTree loops$([ "$sklearn" = 1 ] && echo ", SequentialFeatureSelector")"
  timed "knn-fs-$r" "$knn" build "$work/fs.xml" "$work/fs.csv" -o "$work/fs.pmml" --quiet
  timed "ckdtree-fs-$r" "$python" "$here/contenders.py" ckdtree-fs "$work/fs.csv"
  if [ "$sklearn" = 1 ]; then
    timed "sklearn-fs-$r" "$python" "$here/contenders.py" sklearn-fs "$work/fs.csv"
  fi
  timed "knn-ks-$r" "$knn" build "$work/ks.xml" "$work/ks.csv" -o "$work/ks.pmml" --quiet
  timed "ckdtree-ks-$r" "$python" "$here/contenders.py" ckdtree-ks "$work/ks.csv"
}
round 1
round 2
if [ "$sklearn" = 1 ]; then
  echo "scikit-learn: GridSearchCV"
  timed sklearn-ks "$python" "$here/contenders.py" sklearn-ks "$work/ks.csv"
fi
round 3
# The median of the three rounds' values printed by a command given the round's label.
median3() {
  for r in 1 2 3; do "$1" "$2-$r"; done | sort -g | sed -n 2p
}
rounds() {
  echo "$(for r in 1 2 3; do "$1" "$2-$r"; done | tr '\n' '/' | sed 's:/$::')"
}
if [ "$memory" = 1 ]; then
  echo "knn build: 1,000,000 cases (memory)"
  timed knn-big "$knn" build "$work/big.xml" "$work/big.csv" -o "$work/big.pmml" --quiet
fi

echo
echo "## Machine"
echo "date (UTC):  $(date -u '+%Y-%m-%d %H:%M')"
echo "cpu:         $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1), $(nproc) cores online"
echo "memory:      $(awk '/MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo)"
echo "load:        $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min, at the end)"
echo "kernel:      $(uname -sr)"
echo "knn:         $("$knn" --version 2>&1 | head -1) ($knn)"
echo "commit:      $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)$(git -C "$root" diff --quiet 2>/dev/null || echo ' + local changes')"
echo "python:      $("$python" -c 'import sys, numpy, scipy; print(sys.version.split()[0], "numpy", numpy.__version__, "scipy", scipy.__version__, end="")'; [ "$sklearn" = 1 ] && "$python" -c 'import sklearn; print(" scikit-learn", sklearn.__version__, end="")'; echo)"
echo
echo "## Selection: knn build end to end against each contender's selection alone (single thread)"
echo
echo "| task | knn build (s, median) | contender | contender (s; GridSearchCV: one run, others: median) | contender / knn | goal |"
echo "|---|---:|---|---:|---:|---|"
row() {  # task knn-label contender-seconds contender-name goal
  k=$(median3 wall "$2")
  c=$3
  ratio=$(awk -v c="$c" -v k="$k" 'BEGIN { if (k > 0) printf "%.2f", c / k; else print "-" }')
  echo "| $1 | $k | $4 | $c | $ratio | $5 |"
}
row "forward selection, 8 of 20, K = 5, n = 20,000" knn-fs "$(median3 selection_seconds ckdtree-fs)" "cKDTree loop" ">= 2"
[ "$sklearn" = 1 ] && row "forward selection, 8 of 20, K = 5, n = 20,000" knn-fs "$(median3 selection_seconds sklearn-fs)" "SequentialFeatureSelector(cv=5)" ">= 10"
row "K = 3..30, 10 folds, n = 100,000" knn-ks "$(median3 selection_seconds ckdtree-ks)" "cKDTree loop" ">= 1"
[ "$sklearn" = 1 ] && row "K = 3..30, 10 folds, n = 100,000" knn-ks "$(selection_seconds sklearn-ks)" "GridSearchCV" ">= 50"
echo
echo "Rounds (s): knn fs $(rounds wall knn-fs); knn ks $(rounds wall knn-ks);"
echo "            cKDTree fs $(rounds selection_seconds ckdtree-fs); cKDTree ks $(rounds selection_seconds ckdtree-ks)"
[ "$sklearn" = 1 ] && echo "            SequentialFeatureSelector $(rounds selection_seconds sklearn-fs)"
echo
echo "Chosen: knn fs: $(grep -i 'feature' "$work/knn-fs-1.err" | head -1 | sed 's/^ *//')"
echo "        cKDTree fs: $(result ckdtree-fs-1)$( [ "$sklearn" = 1 ] && echo "; scikit-learn fs (5-fold): $(result sklearn-fs-1)")"
echo "        knn ks: $(grep -i 'K' "$work/knn-ks-1.err" | head -1 | sed 's/^ *//')"
echo "        cKDTree ks: $(result ckdtree-ks-1)$( [ "$sklearn" = 1 ] && echo "; scikit-learn ks: $(result sklearn-ks)")"
if [ "$memory" = 1 ]; then
  n=1000000
  fields=$(sed -n '/<fields>/,/<\/fields>/p' "$work/big.xml" | grep -c '<field name=')
  store=$((n * fields * 8))
  limit=$((store + 100 * n))
  rss=$(($(rss_kb knn-big) * 1024))
  echo
  echo "## Memory: knn build and write, 1,000,000 cases, 8 continuous inputs, categorical target"
  echo
  echo "| wall (s) | max RSS (MB) | case store (MB) | store + 100 B/case (MB) | within |"
  echo "|---:|---:|---:|---:|---|"
  awk -v w="$(wall knn-big)" -v r="$rss" -v s="$store" -v l="$limit" \
    'BEGIN { printf "| %s | %.1f | %.1f | %.1f | %s |\n", w, r / 1e6, s / 1e6, l / 1e6, r <= l ? "yes" : "no" }'
fi
