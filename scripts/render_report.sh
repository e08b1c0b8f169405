#!/bin/sh
# Renders an HTML report to a PNG screenshot with headless Chromium, the way a reader's
# browser would show it. No network: the report is self-contained and Chromium's own
# background traffic is switched off.
#
# usage: render_report.sh REPORT.html OUT.png [WIDTH,HEIGHT]
set -eu

if [ "$#" -lt 2 ]; then
  echo "usage: $0 REPORT.html OUT.png [WIDTH,HEIGHT]" >&2
  exit 2
fi
report=$1
out=$2
size=${3:-1200,3000}
browser=${CHROMIUM:-/usr/bin/chromium}

if [ ! -x "$browser" ]; then
  echo "$0: $browser not found" >&2
  exit 3
fi
if [ ! -r "$report" ]; then
  echo "$0: cannot read $report" >&2
  exit 2
fi

case $report in
  /*) url="file://$report" ;;
  *) url="file://$(pwd)/$report" ;;
esac
case $out in
  /*) ;;
  *) out="$(pwd)/$out" ;;
esac

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT INT TERM
rm -f "$out"
"$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$profile" --screenshot="$out" --window-size="$size" \
  --hide-scrollbars "$url" >/dev/null 2>&1 || true

if [ ! -s "$out" ]; then
  echo "$0: no screenshot was written" >&2
  exit 1
fi
