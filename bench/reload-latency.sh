#!/bin/bash
# How soon the running service follows a change of config.ini: the Linux
# build runs as a console run (-f) with a refresh interval of an hour, so
# only a reload makes a request; COUNT times the address is changed (each at
# another moment of the worker's second) and the time from the write to the
# request for the new address is taken from the page server's log.
#   bench/reload-latency.sh [BUILD_DIR] [COUNT]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/linux}
count=${2:-10}
for f in "$build/VlmRefreshSvc" "$build/VlmPageServer"; do
  [ -x "$f" ] || { echo "missing $f: build the linux preset first" >&2; exit 2; }
done
work=$(mktemp -d)
pids=""
cleanup() {
  for p in $pids; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export VLM_SYSTEM_ROOT=$work
cp "$build/VlmRefreshSvc" "$work/"
"$build/VlmPageServer" --seconds 600 --port-file "$work/url" 2>"$work/requests" &
pids="$!"
for _ in $(seq 50); do [ -s "$work/url" ] && break; sleep 0.1; done
base=$(cat "$work/url")
(cd "$work" && ./VlmRefreshSvc -v >/dev/null)
set_url() { sed -i "s#^Url=.*#Url=$base$1\r#; s#^TimeSecond2=.*#TimeSecond2=3600\r#" "$work/config.ini"; }
set_url p0
(cd "$work" && exec ./VlmRefreshSvc -f >/dev/null 2>&1) &
pids="$pids $!"
for _ in $(seq 100); do grep -q "GET /p0" "$work/requests" && break; sleep 0.1; done
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
results=""
for i in $(seq "$count"); do
  sleep "0.$(( 150 + 97 * i % 850 ))"
  t0=$(now_ms)
  set_url "p$i"
  until grep -q "GET /p$i?" "$work/requests"; do
    (( $(now_ms) - t0 < 10000 )) || { echo "no request for /p$i within 10 s" >&2; exit 1; }
    sleep 0.01
  done
  results="$results $(( $(now_ms) - t0 ))"
done
echo "reloads: $count; ms from the write of config.ini to the request:$results"
echo "$results" | tr ' ' '\n' | sort -n | awk 'NF { a[++n] = $1 } END { printf "median %d ms, worst %d ms\n", a[int((n + 1) / 2)], a[n] }'
