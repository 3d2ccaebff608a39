#!/bin/bash
# The main job: installs what is missing, builds the Linux executable, serves
# a small page on loopback, points a fresh copy of the service at it and runs
# the service in the foreground (VlmRefreshSvc -f) for a few seconds, then
# shows what arrived in log/.
#
#   tools/run.sh [URL]
#
# With a URL the service refreshes that address instead of the local page.
# VLM_RUN_SECONDS sets how long the service runs (default 12); Ctrl+C ends
# the run early.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target VlmRefreshSvc VlmPageServer
seconds=${VLM_RUN_SECONDS:-12}

dir="" server_pid="" service_pid=""
# On every way out (the end, Ctrl+C, a failure) the programs are ended and
# the directory goes.
cleanup() {
  set +e
  for pid in $service_pid $server_pid; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  [ -z "$dir" ] || rm -rf "$dir"
}
trap cleanup EXIT
dir=$(mktemp -d /tmp/vlmrefresh.XXXXXX)
cp build/linux/VlmRefreshSvc "$dir/"

if [ $# -ge 1 ]; then
  url=$1
else
  build/linux/VlmPageServer --seconds $((seconds + 30)) --port-file "$dir/.url" \
    2>"$dir/page-server.log" &
  server_pid=$!
  for _ in $(seq 50); do [ -s "$dir/.url" ] && break; sleep 0.1; done
  url=$(cat "$dir/.url")
  rm -f "$dir/.url"
fi

echo "=== $dir/VlmRefreshSvc -v (makes config.ini and log/ beside the executable)"
"$dir/VlmRefreshSvc" -v | iconv -f CP936 -t UTF-8
# config.ini is code page 936 with CR LF; the address is plain ASCII.
sed -i "s#^Url=.*#Url=${url//#/\\#}\r#" "$dir/config.ini"

echo "=== $dir/VlmRefreshSvc -f, refreshing $url for $seconds s (Ctrl+C ends it early)"
"$dir/VlmRefreshSvc" -f > >(iconv -f CP936 -t UTF-8) &
service_pid=$!
trap 'kill -TERM "$service_pid" 2>/dev/null || true' INT
for _ in $(seq $((seconds * 10))); do
  kill -0 "$service_pid" 2>/dev/null || break
  sleep 0.1 || true  # a Ctrl+C ends the sleep too
done
kill -TERM "$service_pid" 2>/dev/null || true
wait "$service_pid" || true
service_pid=""
trap - INT
sleep 0.2

show() {
  echo "=== $1 (shown in UTF-8; stored as code page 936)"
  iconv -f CP936 -t UTF-8 "$1" | tr -d '\r'
  echo
}
show "$dir/config.ini"
for f in "$dir"/log/*; do
  [ -f "$f" ] && show "$f"
done
if [ -n "$server_pid" ]; then
  echo "=== requests the local page server answered"
  cat "$dir/page-server.log"
fi
