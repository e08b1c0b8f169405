#!/usr/bin/env bash
# Runs one libFuzzer target for a given time:  scripts/fuzz.sh TARGET SECONDS
#   TARGET: settings_document | csv_data_source | model_document
# Builds the instrumented project with clang-14 in build-fuzz/ (BUILD_DIR overrides), starts
# from the seed corpus in tests/fuzz/corpus/TARGET, keeps what it discovers in
# BUILD_DIR/corpus/TARGET and any crashing input in BUILD_DIR/artifacts/TARGET/, and ends with
# libFuzzer's final statistics. Exit status: 0 when no crash was found.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 TARGET SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2
case "$target" in
  settings_document | csv_data_source | model_document) ;;
  *)
    echo "unknown target '$target'" >&2
    exit 2
    ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-fuzz}

missing=()
for p in clang-14 libclang-rt-14-dev cmake libxml2-dev libgtest-dev; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKNN_BUILD_FUZZERS=ON >/dev/null
fi
cmake --build "$build" --target "knn_fuzz_$target" -j2

work=$build/corpus/$target
artifacts=$build/artifacts/$target
mkdir -p "$work" "$artifacts"
options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=30 -rss_limit_mb=4096
         -artifact_prefix="$artifacts/")
dict=$root/tests/fuzz/$target.dict
[ -f "$dict" ] && options+=(-dict="$dict")
[ "$target" = model_document ] && options+=(-max_len=1024)

log=$build/fuzz-$target.log
echo "fuzzing $target for $seconds s; log: $log" >&2
set +e
"$build/bin/knn_fuzz_$target" "${options[@]}" "$work" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1
status=$?
set -e
# The last coverage line and the final statistics.
grep -E '^#[0-9]+.*(cov|DONE)' "$log" | tail -1 || true
grep -E '^stat::' "$log" || true
if [ $status -ne 0 ]; then
  echo "the fuzzer stopped with status $status; see $log and $artifacts/" >&2
fi
exit $status
