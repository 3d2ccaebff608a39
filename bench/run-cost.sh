#!/bin/bash
# The cost of a refresh run, whole processes on loopback:
#  1. processor time of the page request alone (WorkerDriver --fetches, into
#     one buffer as the worker makes it) and of a whole run of the worker
#     (WorkerDriver --runs, every pass a run), against the curl command line
#     fetching the same page the same number of times in one process, once
#     into /dev/null (the HTTP library's floor) and once saving every page to
#     one file (as a run saves its result), over HTTP and HTTPS (the test CA
#     added to the system's CA bundle and trusted through SSL_CERT_FILE).
#     Start-up is left out everywhere: (time of N - time of 1) / (N - 1);
#     each figure is the median of three rounds.
#  2. peak resident memory of one run per page size (1, 16, 64 MiB) and kind
#     of page (VlmPageServer --kind: text lines, links, markup only, script
#     blocks, UTF-8 Chinese, GBK Chinese, empty lines), and of an endless
#     body cut at the 64 MiB cap;
#  3. the judgement with its cache write at 16 and 64 MiB (VlmRefreshBench,
#     median of five repetitions);
#  4. when the Windows build's WorkerDriver.exe and Wine are there, its
#     processor time per run over HTTP under Wine beside the Linux build's
#     (both as the driver counts it in its own process; Wine is not Windows),
#     and its peak memory of one run per kind of 64 MiB page.
# The ratios come last.
#   bench/run-cost.sh [BUILD_DIR] [RUNS] [PAGE_BYTES]   (VLM_WINDOWS_BUILD_DIR
#   names the Windows build, default build/windows)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/linux}
runs=${2:-200}
bytes=${3:-204800}
driver=$build/bench/WorkerDriver
server=$build/VlmPageServer
textbench=$build/bench/VlmRefreshBench
for f in "$driver" "$server" /usr/bin/time; do
  [ -x "$f" ] || { echo "missing $f: build the linux preset first" >&2; exit 2; }
done
command -v curl >/dev/null || { echo "curl is not installed" >&2; exit 2; }
bundle=/etc/ssl/certs/ca-certificates.crt
[ -r "$bundle" ] || { echo "missing $bundle (ca-certificates)" >&2; exit 2; }

work=$(mktemp -d)
server_pid=""
stop_server() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  server_pid=""
}
cleanup() { stop_server; rm -rf "$work"; }
trap cleanup EXIT

# start_server ARGS...: sets $url.
start_server() {
  stop_server
  rm -f "$work/url"
  "$server" --seconds 3600 --port-file "$work/url" "$@" 2>/dev/null &
  server_pid=$!
  for _ in $(seq 100); do [ -s "$work/url" ] && break; sleep 0.1; done
  url="$(cat "$work/url")page"
}

mkdir -p "$work/run" "$work/ca"
cp "$driver" "$work/run/"
cat "$bundle" > "$work/trust.pem"

# whole_cpu_ms CMD...: processor time of the whole process (all threads,
# user and system) in ms: perf's task clock where perf works, else the
# 10 ms steps of /usr/bin/time.
if perf stat -x, -e task-clock true >/dev/null 2>&1; then
  whole_cpu_ms() {
    perf stat -x, -e task-clock -o "$work/t" "$@" > /dev/null 2>&1
    awk -F, '$3 ~ /task-clock/ { printf "%.2f", $1 }' "$work/t"
  }
else
  whole_cpu_ms() {
    /usr/bin/time -f '%U %S' -o "$work/t" "$@" > /dev/null 2>&1
    awk '{ printf "%.2f", ($1 + $2) * 1000 }' "$work/t"
  }
fi

# per_run_us WHOLE_N WHOLE_1: the cost of one run beyond the first.
per_run_us() { awk -v a="$1" -v b="$2" -v n="$runs" 'BEGIN { printf "%.0f", (a - b) * 1000 / (n - 1) }'; }

driver_runs() {
  rm -rf "$work/run/log" "$work/run/config.ini"
  whole_cpu_ms env SSL_CERT_FILE="$work/trust.pem" "$work/run/WorkerDriver" --runs "$1" \
    SoftOn=1 TimeStartFrom=0 TimeSecond2=1 Log=1 Url="$url"
}

driver_fetches() {
  whole_cpu_ms env SSL_CERT_FILE="$work/trust.pem" "$work/run/WorkerDriver" --fetches "$1" "$url"
}

# curl_runs N [FILE]: N fetches in one curl process (a URL range), into
# /dev/null or each saved to FILE.
curl_runs() {
  whole_cpu_ms curl -s --cacert "$work/trust.pem" --http1.0 -H 'Content-Type: application/x-www-form-urlencoded' \
    -o "${2:-/dev/null}" "$url?vlmrnd=[1-$1]"
}

# median VALUES...: the middle one (of an odd count).
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Each of the four is measured in three rounds, the rounds interleaved so that
# a passing load hits all four alike; the median per quantity is taken.
declare -A cost
for scheme in http https; do
  if [ "$scheme" = https ]; then
    start_server --page-bytes "$bytes" --tls "$work/ca"
    cat "$bundle" "$work/ca/ca.pem" > "$work/trust.pem"
  else
    start_server --page-bytes "$bytes"
  fi
  declare -A got=()
  for round in 1 2 3; do
    got[run]+=" $(per_run_us "$(driver_runs "$runs")" "$(driver_runs 1)")"
    got[fetch]+=" $(per_run_us "$(driver_fetches "$runs")" "$(driver_fetches 1)")"
    got[curl]+=" $(per_run_us "$(curl_runs "$runs")" "$(curl_runs 1)")"
    got[saved]+=" $(per_run_us "$(curl_runs "$runs" "$work/saved.html")" "$(curl_runs 1 "$work/saved.html")")"
  done
  for q in run fetch curl saved; do
    # shellcheck disable=SC2086
    cost[$scheme.$q]=$(median ${got[$q]})
  done
  echo "$scheme, $runs times a $bytes-byte page, us each (median of three rounds):" \
       "request ${cost[$scheme.fetch]} (${got[fetch]# }), run ${cost[$scheme.run]} (${got[run]# });" \
       "curl into /dev/null ${cost[$scheme.curl]} (${got[curl]# }), curl saving to a file ${cost[$scheme.saved]} (${got[saved]# })"
done

# The driver's own count: processor time of the passes in its process.
inproc_us() { awk -v n="$runs" '{ printf "%.0f", $4 * 1000 / n }'; }
wine_exe=${VLM_WINDOWS_BUILD_DIR:-$here/build/windows}/bench/WorkerDriver.exe
wine_line=""
if [ -f "$wine_exe" ] && command -v wine >/dev/null; then
  start_server --page-bytes "$bytes"
  rm -rf "$work/run/log" "$work/run/config.ini"
  linux_us=$("$work/run/WorkerDriver" --runs "$runs" SoftOn=1 TimeStartFrom=0 TimeSecond2=1 Log=1 Url="$url" | inproc_us)
  mkdir -p "$work/wine"
  cp "$wine_exe" "$work/wine/"
  : "${VLM_WINEPREFIX:=$work/wineprefix}"
  export VLM_WINEPREFIX
  (cd "$work/wine" && "$here/tools/wine-run.sh" ./WorkerDriver.exe --runs 1 SoftOn=0 > /dev/null 2>&1) || true
  wine_us=$(cd "$work/wine" && "$here/tools/wine-run.sh" ./WorkerDriver.exe --runs "$runs" SoftOn=1 TimeStartFrom=0 \
    TimeSecond2=1 Log=1 Url="$url" 2>/dev/null | inproc_us)
  wine_line="processor time per run in the driver's process, HTTP: Linux $linux_us us, Windows build under Wine $wine_us us (Wine is not Windows)"
  echo "$wine_line"
fi

declare -A rss
kinds="lines anchors markup script utf8 gbk blank"
for kind in $kinds; do
  for mib in 1 16 64; do
    start_server --page-bytes $((mib << 20)) --kind "$kind"
    rm -rf "$work/run/log" "$work/run/config.ini"
    /usr/bin/time -f '%M' -o "$work/t" "$work/run/WorkerDriver" --runs 1 SoftOn=1 TimeStartFrom=0 \
      TimeSecond2=1 Log=1 Url="$url" > /dev/null 2>&1
    rss[$kind.$mib]=$(cat "$work/t")
    echo "peak memory, one run, $kind page of $mib MiB: $(( ${rss[$kind.$mib]} / 1024 )) MiB"
  done
done
start_server --endless
rm -rf "$work/run/log" "$work/run/config.ini"
/usr/bin/time -f '%M' -o "$work/t" "$work/run/WorkerDriver" --runs 1 SoftOn=1 TimeStartFrom=0 \
  TimeSecond2=1 Log=1 Url="$url" > /dev/null 2>&1
rss[endless]=$(cat "$work/t")
echo "peak memory, one run, endless body cut at 64 MiB: $(( ${rss[endless]} / 1024 )) MiB"
# The Windows build under Wine: its peak working set as the driver reports
# it (Wine takes it from the process's resident memory), 64 MiB pages.
wine_rss=""
if [ -n "$wine_line" ]; then
  for kind in $kinds; do
    start_server --page-bytes $((64 << 20)) --kind "$kind"
    rm -rf "$work/wine/log" "$work/wine/config.ini"
    kib=$(cd "$work/wine" && "$here/tools/wine-run.sh" ./WorkerDriver.exe --runs 1 SoftOn=1 TimeStartFrom=0 \
      TimeSecond2=1 Log=1 Url="$url" 2>/dev/null | awk '{ print $6 + 0 }')
    wine_rss+="${wine_rss:+, }$kind $(( ${kib:-0} / 1024 ))"
  done
  wine_rss="peak memory, one run of a 64 MiB page, Windows build under Wine, MiB: $wine_rss"
  echo "$wine_rss"
fi
stop_server

judge=""
if [ -x "$textbench" ]; then
  "$textbench" --benchmark_filter='BM_JudgeAnswer/kind:[0-3]/MiB:(16|64)/' --benchmark_min_time=0.5 \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    grep '^"BM_JudgeAnswer.*_median' | sed 's/_median//' > "$work/judge.csv" || true
  judge=$(awk -F, '{ split($1, p, "/"); k = p[2]; m = p[3]; t[k "," m] = $3; c[k "," m] = $4 }
    END { for (k = 0; k < 4; ++k) { a = t["kind:" k ",MiB:16"]; b = t["kind:" k ",MiB:64"];
          x = c["kind:" k ",MiB:16"]; y = c["kind:" k ",MiB:64"];
          if (a > 0 && x > 0) printf "judgement kind %d: 16 MiB %.1f ms, 64 MiB %.1f ms, ratio %.2f (at most 4.5); processor time %.1f / %.1f ms, ratio %.2f\n", k, a, b, b / a, x, y, y / x } }' \
    "$work/judge.csv")
fi

echo "--- ratios"
for scheme in http https; do
  awk -v f="${cost[$scheme.fetch]}" -v r="${cost[$scheme.run]}" -v c="${cost[$scheme.curl]}" \
    -v d="${cost[$scheme.saved]}" -v s="$scheme" 'BEGIN { if (c > 0 && d > 0)
      printf "%s: request / curl into /dev/null = %.2f (at most 1.2); run / curl into /dev/null = %.2f; run / curl saving to a file = %.2f\n",
             s, f / c, r / c, r / d }'
done
for kind in $kinds; do
  awk -v r="${rss[$kind.64]}" -v k="$kind" \
    'BEGIN { printf "%s, 64 MiB page: peak %.0f MiB = %.2f x the page (at most 160 MiB)\n", k, r / 1024, r / 1024 / 64 }'
done
awk -v r="${rss[endless]}" 'BEGIN { printf "endless body, 64 MiB cap: peak %.0f MiB = %.2f x the page (at most 160 MiB)\n", r / 1024, r / 1024 / 64 }'
[ -n "$judge" ] && echo "$judge"
[ -n "$wine_line" ] && echo "$wine_line"
[ -n "$wine_rss" ] && echo "$wine_rss"
exit 0
