#!/usr/bin/env bash
# scripts/build-qt-windows prints its folder, and nothing else, on standard
# output (scripts/quickstart reads it with $(...)): with noisy stand-ins for
# the build tools and an empty cache, then again once the cache holds it.
#   Usage: $0 PATH-TO-build-qt-windows
set -euo pipefail
script=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/bin"
# Each stand-in prints a few lines, as the real tools do; cmake --install
# makes the prefix it is given, as the real install does.
for tool in cmake ninja apt-get dpkg-source patch x86_64-w64-mingw32-g++-posix; do
    cat >"$tmp/bin/$tool" <<'TOOL'
#!/usr/bin/env bash
for i in 1 2 3; do echo "[$i/3] $(basename "$0") $*"; done
if [ "$(basename "$0")" = cmake ] && [ "${1:-}" = --install ]; then
    mkdir -p "$(cat "$QRV_TEST_PREFIX_FILE")"
fi
exit 0
TOOL
    chmod +x "$tmp/bin/$tool"
done
export QRV_QT_CACHE="$tmp/cache" PATH="$tmp/bin:$PATH"
export QRV_TEST_PREFIX_FILE="$tmp/prefix"
"$script" --where >"$QRV_TEST_PREFIX_FILE"
prefix=$(cat "$QRV_TEST_PREFIX_FILE")

fail() { echo "FAIL: $*"; exit 1; }
check_output() {
    local out=$1 what=$2
    [ "$(wc -l <"$out")" -eq 1 ] || { cat "$out"; fail "$what: standard output is not one line"; }
    [ "$(cat "$out")" = "$prefix" ] || fail "$what: standard output is '$(head -c 200 "$out")', not $prefix"
}

"$script" >"$tmp/out1" 2>"$tmp/err1" || { cat "$tmp/err1"; fail "first run failed"; }
check_output "$tmp/out1" "first run"
grep -q '\[1/3\] ninja\|\[1/3\] cmake' "$tmp/err1" || fail "the tools' output is not on standard error"
[ -f "$prefix/.complete" ] || fail "no marker after the first run"

"$script" >"$tmp/out2" 2>"$tmp/err2" || { cat "$tmp/err2"; fail "second run failed"; }
check_output "$tmp/out2" "second run"
grep -q '(cached)' "$tmp/err2" || fail "the second run does not say (cached)"
echo "build-qt-windows: the folder alone on standard output, twice"
