#!/bin/sh
# The product folders include each other top-down only:
#
#   service/ -> refresh/ -> http/, log/ -> config/ -> platform/
#   platform/posix/, platform/win32/ -> platform/
#
# A file may include the files of its own folder and of any folder below its
# own; the two platform sides (which implement the seam's headers in
# platform/) are included by nobody but themselves. An include that goes up
# or sideways (http/ and log/ stand side by side, as do the two sides) is
# named with its place, and the check fails. Includes without a folder (the generated EventMessages.h) are not
# looked at. Run as a test; by hand: tools/check-includes.sh [source dir]
set -eu
cd "${1:-$(dirname "$0")/..}"

grep -rn --include='*.cpp' --include='*.h' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*/' \
    service refresh http log config platform |
awk '
function level(folder) {
    if (folder == "service") return 5
    if (folder == "refresh") return 4
    if (folder == "http" || folder == "log") return 3
    if (folder == "config") return 2
    if (folder == "platform/posix" || folder == "platform/win32") return 1
    if (folder == "platform") return 0
    return -1
}
# The folder of a path: its directory, which is a product folder or below one.
function folder_of(path,    n) {
    n = split(path, part, "/")
    if (part[1] == "platform" && n > 2) return part[1] "/" part[2]
    return part[1]
}
{
    file = $0; sub(/:.*/, "", file)
    place = $0; sub(/:#.*/, "", place); sub(/:[[:space:]]*#.*/, "", place)
    target = $0; sub(/^[^"]*"/, "", target); sub(/".*/, "", target)
    from = folder_of(file); to = folder_of(target)
    if (to == from) next
    side = to == "platform/posix" || to == "platform/win32"
    if (level(to) >= 0 && level(to) < level(from) && !side && target !~ /\.\./) next
    printf "%s: %s includes %s (%s/ may not include %s/)\n", place, from, target, from, to
    bad++
}
END {
    if (bad) { printf "%d include(s) against the order of the folders\n", bad; exit 1 }
    print "the folders include each other top-down only"
}'
