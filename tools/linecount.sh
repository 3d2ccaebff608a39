#!/bin/sh
# Code lines (non-blank, non-comment) of .cpp/.h/.cmake/CMakeLists.txt/.sh
# files: the product, the tests, and fuzz/bench/tools, with the tests' share
# of all of them (and of product + tests). Run from anywhere:
# tools/linecount.sh [source dir]

set -eu
root=${1:-$(dirname "$0")/..}
cd "$root"

# Lines of the files found under the given paths that are neither blank nor
# only a comment (//, /* ... */ blocks, and # lines in CMake and shell files).
count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.cmake' \
        -o -name 'CMakeLists.txt' -o -name '*.sh' \) 2>/dev/null | sort | while read -r f; do
        case "$f" in
        *.cpp|*.h) awk '
            { line = $0 }
            inblock { if (index(line, "*/")) { inblock = 0; line = substr(line, index(line, "*/") + 2) } else next }
            { sub(/^[ \t]+/, "", line) }
            line == "" { next }
            line ~ /^\/\// { next }
            line ~ /^\/\*/ { if (!index(line, "*/")) inblock = 1; else { rest = substr(line, index(line, "*/") + 2); gsub(/[ \t]/, "", rest); if (rest != "") n++ } next }
            { n++ }
            END { print n + 0 }' "$f" ;;
        *) awk '{ sub(/^[ \t]+/, "") } $0 != "" && $0 !~ /^#/ { n++ } END { print n + 0 }' "$f" ;;
        esac
    done | awk '{ s += $1 } END { print s + 0 }'
}

product=$(count config refresh http log service platform cmake CMakeLists.txt)
tests=$(count tests)
other=$(count fuzz bench tools)
printf 'product           %6d\n' "$product"
printf 'tests             %6d\n' "$tests"
printf 'fuzz/bench/tools  %6d\n' "$other"
awk -v p="$product" -v t="$tests" -v o="$other" 'BEGIN { if (p + t + o > 0) {
    printf "tests share       %5.1f %% of all code lines (at most a third)\n", 100 * t / (p + t + o)
    printf "                  %5.1f %% of product + tests\n", 100 * t / (p + t) } }'
