#!/bin/bash
# Whole-process comparison on loopback: 200 fetches of a 200 KB page through
# FetchPage (one HttpProbe process making them in a row) against 200 runs of
# the curl command line making the same request.
#   bench/fetch-vs-curl.sh [BUILD_DIR] [COUNT] [BYTES]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/linux}
count=${2:-200}
bytes=${3:-204800}
probe=$build/tests/HttpProbe
server=$build/VlmPageServer
for f in "$probe" "$server"; do
  [ -x "$f" ] || { echo "missing $f: build the linux preset first" >&2; exit 2; }
done
command -v curl >/dev/null || { echo "curl is not installed" >&2; exit 2; }

work=$(mktemp -d)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$server" --page-bytes "$bytes" --seconds 3600 --port-file "$work/url" 2>/dev/null &
server_pid=$!
for _ in $(seq 50); do [ -s "$work/url" ] && break; sleep 0.1; done
url="$(cat "$work/url")page"

now_ns() { date +%s%N; }

t0=$(now_ns)
"$probe" bench "$count" "$url" > "$work/fetch.out"
t1=$(now_ns)
read -r status size < "$work/fetch.out"

t2=$(now_ns)
for i in $(seq "$count"); do
  curl -s -o /dev/null --http1.0 -H 'Content-Type: application/x-www-form-urlencoded' \
    "$url?vlmrnd=$i"
done
t3=$(now_ns)

fetch_us=$(( (t1 - t0) / 1000 / count ))
curl_us=$(( (t3 - t2) / 1000 / count ))
echo "page: $bytes bytes, last status $status, page text $size bytes"
echo "FetchPage: $count fetches in $(( (t1 - t0) / 1000000 )) ms, $fetch_us us per fetch"
echo "curl:      $count runs in $(( (t3 - t2) / 1000000 )) ms, $curl_us us per run"
awk -v a="$curl_us" -v b="$fetch_us" 'BEGIN { if (b > 0) printf "FetchPage is %.1f times cheaper per fetch\n", a / b }'
