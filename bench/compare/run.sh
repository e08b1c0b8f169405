#!/bin/bash
# Side-by-side neighbour search: the component's KD-tree, nanoflann (leaf 10 and leaf 1) and
# SciPy's cKDTree (one worker) on the same generated data. Every case is searched for its 5
# nearest other cases. Prints a ratio table with the machine's facts and each run's peak RSS.
#
# Usage: bench/compare/run.sh [work dir]   (default /tmp/knn-compare)
# KNN_COMPARE_REUSE=1 keeps the output of runs that already finished in the work dir (resume
# after an interruption); KNN_COMPARE_SKIP="label ..." leaves runs out (labels as in the
# table, e.g. cont8-1M:nanoflann-leaf1).
# Needs: cmake, g++, python3-scipy; nanoflann (libnanoflann-dev) is used when its header is
# found; /usr/bin/time for peak RSS.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
WORK="${1:-/tmp/knn-compare}"
BUILD="${KNN_COMPARE_BUILD:-$ROOT/build-perfsearch-bench}"
PY=/usr/bin/python3
mkdir -p "$WORK"

if [ ! -x /usr/bin/time ]; then
  echo "/usr/bin/time is missing (apt-get install -y time)" >&2
  exit 1
fi

# The component's library, Release.
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DKNN_BUILD_BENCH=ON > "$WORK/cmake.log"
cmake --build "$BUILD" --target knn_core -j2 > "$WORK/build.log"
FLAGS=(-std=c++20 -O3 -DNDEBUG -Wall -Wextra -Wpedantic)
g++ "${FLAGS[@]}" -I"$ROOT/src" -I"$HERE" "$HERE/knn_driver.cpp" "$BUILD/lib/libknn_core.a" \
  -L"$BUILD/lib" -lvelcommonr -lvelparsexmlr -lxml2 -Wl,-rpath,"$BUILD/lib" \
  -o "$WORK/knn_driver"
HAVE_NANOFLANN=0
if [ -f /usr/include/nanoflann.hpp ]; then
  g++ "${FLAGS[@]}" -I"$HERE" "$HERE/nanoflann_driver.cpp" -o "$WORK/nanoflann_driver"
  HAVE_NANOFLANN=1
fi

# name n continuous categorical seed
WORKLOADS=("cont8-100k 100000 8 0 101" "cont8-1M 1000000 8 0 102" "cont8+cat3-100k 100000 8 3 103")

# run LABEL CMD...: appends "LABEL cases/s rss_kb checksum" to results
run() {
  local label="$1"
  shift
  local out="$WORK/$label.out"
  case " ${KNN_COMPARE_SKIP:-} " in *" $label "*) return ;; esac
  if [ "${KNN_COMPARE_REUSE:-0}" != 1 ] || [ ! -s "$out" ]; then
    /usr/bin/time -v "$@" > "$out" 2> "$out.time" || { echo "$label failed" >&2; return; }
  fi
  local rate checksum rss
  rate=$(awk '{print $3}' "$out")
  checksum=$(awk '{print $5}' "$out")
  rss=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$out.time")
  echo "$label $rate $rss $checksum" >> "$WORK/results"
}

: > "$WORK/results"
for w in "${WORKLOADS[@]}"; do
  read -r name n cont cat seed <<< "$w"
  data="$WORK/$name.bin"
  [ -f "$data" ] || $PY "$HERE/gen_data.py" "$n" "$cont" "$cat" "$seed" "$data"
  run "$name:ours" "$WORK/knn_driver" "$data"
  if [ "$HAVE_NANOFLANN" = 1 ]; then
    run "$name:nanoflann-leaf10" "$WORK/nanoflann_driver" "$data" 10
    run "$name:nanoflann-leaf1" "$WORK/nanoflann_driver" "$data" 1
  fi
  run "$name:cKDTree" $PY "$HERE/ckdtree_driver.py" "$data"
done

echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores; $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Every case searched for its 5 nearest other cases, one thread; cases per CPU second."
echo "Categorical columns: searched natively by ours, one-hot (indicator columns) for the others."
echo
printf "| %-16s | %-18s | %12s | %11s | %13s | %-10s |\n" workload program "cases/s" "ours/this" "peak RSS MB" "checksum"
printf "|%s|%s|%s|%s|%s|%s|\n" ------------------ -------------------- -------------- ------------- --------------- ------------
while read -r label rate rss checksum; do
  name="${label%%:*}"
  prog="${label#*:}"
  ours=$(awk -v n="$name:ours" '$1 == n {print $2}' "$WORK/results")
  ratio=$(awk -v a="$ours" -v b="$rate" 'BEGIN {printf "%.2f", a / b}')
  mb=$(awk -v k="$rss" 'BEGIN {printf "%.0f", k / 1024}')
  printf "| %-16s | %-18s | %12s | %11s | %13s | %-10s |\n" "$name" "$prog" "$rate" "$ratio" "$mb" "$checksum"
done < "$WORK/results"
echo
for w in "${WORKLOADS[@]}"; do
  read -r name _ <<< "$w"
  awk -v n="$name" '{printf "%s ours: build %s s (CPU), searches handed to the one-case-per-leaf walk: %s, tree memory: %s bytes per case\n", n, $1, $7, $9}' "$WORK/$name:ours.out"
done
