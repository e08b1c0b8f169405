#!/usr/bin/env bash
# Valgrind memcheck over the end-to-end and boundary test binaries and over a knn build and
# score run on the iris example:  scripts/valgrind.sh
# Builds (without sanitizers) in build-reliability/ unless BUILD_DIR says otherwise. Passes
# only when every run reports no error and no definitely or indirectly lost block; prints each
# run's ERROR SUMMARY and LEAK SUMMARY lines. Logs: BUILD_DIR/valgrind/*.log.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-reliability}

if ! command -v valgrind >/dev/null 2>&1; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq valgrind
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build "$build" --target knn velnearestneighborr knn_e2e_tests knn_boundary_tests -j2

logs=$build/valgrind
rm -rf "$logs"
mkdir -p "$logs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

memcheck=(valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect
          --errors-for-leak-kinds=definite,indirect --error-exitcode=99 --num-callers=30
          --suppressions="$root/scripts/valgrind.supp")
failed=0
run() {
  local name=$1
  shift
  local status=0
  (cd "$work" && "${memcheck[@]}" --log-file="$logs/$name.log" "$@") >"$logs/$name.out" 2>&1 ||
    status=$?
  case $status in
    0) echo "== $name" ;;
    99) echo "== $name: memcheck reported errors" ;;
    *) echo "== $name: the program itself failed (exit $status); see $logs/$name.out" ;;
  esac
  grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|All heap blocks were freed' \
    "$logs/$name.log" | sed 's/^==[0-9]*== */   /'
  if [ $status -ne 0 ]; then failed=1; fi
}

iris=$root/examples/iris
run knn-build "$build/bin/knn" build "$iris/settings.xml" "$iris/iris.csv" -o "$work/iris.pmml" -q
run knn-score "$build/bin/knn" score "$iris/settings-vfold.xml" "$iris/iris.csv" "$iris/iris.csv" \
  -o "$work/scores.csv" -q
# The test binaries start knn themselves for the command-line tests; those child runs are
# covered by the two runs above, so children are not traced.
# Valgrind supplies its own operator new, so a test that replaces it to make allocations fail
# cannot work under it.
run boundary-tests "$build/bin/knn_boundary_tests" --gtest_brief=1 \
  --gtest_filter=-KNNFactoryFirewall.AllocationFailure*
run e2e-tests "$build/bin/knn_e2e_tests" --gtest_brief=1

if [ $failed -ne 0 ]; then
  echo "memcheck found problems or a program failed; see $logs/" >&2
  exit 1
fi
echo "memcheck: no errors, no definitely or indirectly lost blocks"
