#!/bin/bash
# The main job: installs what is missing, builds the Linux executable and
# starts it in a fresh directory, then shows what it made there.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target VlmRefreshSvc
dir=$(mktemp -d /tmp/vlmrefresh.XXXXXX)
cp build/linux/VlmRefreshSvc "$dir/"
echo "=== $dir/VlmRefreshSvc"
"$dir/VlmRefreshSvc" | iconv -f CP936 -t UTF-8
echo "=== $dir/config.ini (shown in UTF-8; stored as code page 936, CR LF)"
iconv -f CP936 -t UTF-8 "$dir/config.ini" | tr -d '\r'
