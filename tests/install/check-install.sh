#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what lands there, then
# builds the Debian packages qrv and impressora-qrv from the source tree
# (scripts/build-debs), runs lintian on both, checks their contents and
# installs and purges both in a throwaway dpkg root (the machine's own
# packages are never touched).
#   check-install.sh BUILD_DIR SOURCE_DIR EXPECTED_LIST VERSION WITH_QRV(0|1)
set -euo pipefail

build=$1 source=$2 list=$3 version=$4 with_qrv=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The expected list with PREFIX before each entry, sorted.
expected() {
    awk -v prefix="$1" -v qrv="$with_qrv" '
        /^#/ || /^$/ { next }
        $0 == "[qrv]" { optional = 1; next }
        !optional || qrv == 1 { print prefix $0 }' "$list" | LC_ALL=C sort
}

same_list() { # what, expected file, actual file
    if ! diff -u "$2" "$3" >"$work/diff"; then
        fail "$1 differ from $list (- expected, + found):"
        cat "$work/diff" >&2
    fi
}

png_size() { # prints WIDTHxHEIGHT from the PNG header
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%dx%d\n", (($1*256+$2)*256+$3)*256+$4, (($5*256+$6)*256+$7)*256+$8 }'
}

# --- cmake --install into a DESTDIR -------------------------------------------
dest=$work/dest
root=$dest/usr/local
DESTDIR=$dest cmake --install "$build" --prefix /usr/local >"$work/install.log" ||
    { cat "$work/install.log" >&2; exit 1; }
expected usr/local/ >"$work/expected"
(cd "$dest" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$work/installed"
same_list "installed files" "$work/expected" "$work/installed"

for program in "$root"/bin/*; do
    [ -x "$program" ] || fail "$program is not executable"
done

id=org.example.ImpressoraQrv
for size in 48 128 256; do
    png=$root/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ -f "$png" ] || continue
    got=$(png_size "$png")
    [ "$got" = "${size}x${size}" ] || fail "$png is $got, not ${size}x${size}"
done

desktop=$root/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
# The validators take the entry's program and icon on trust.
exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[[ -n $exec && -f $root/bin/$exec && -x $root/bin/$exec ]] || fail "the menu entry runs \"$exec\", not installed"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[[ -n $icon && -f $root/share/icons/hicolor/scalable/apps/$icon.svg ]] ||
    fail "the menu entry's icon \"$icon\" is not installed"
appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" >"$work/as.log" ||
    { cat "$work/as.log" >&2; fail "appstreamcli validate"; }
# The tree check also finds the desktop entry the metainfo names.
appstreamcli validate-tree --no-net "$root" >"$work/as.log" ||
    { cat "$work/as.log" >&2; fail "appstreamcli validate-tree"; }

for page in "$root"/share/man/man1/*.1.gz; do
    warnings=$(zcat "$page" | LC_ALL=C.UTF-8 groff -k -man -ww -z 2>&1) || true
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    # mandoc's lint also reads the date and the style of the source.
    zcat "$page" >"$work/page.1"
    warnings=$(mandoc -Tlint "$work/page.1" 2>&1) || true
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

if [ "$with_qrv" = 1 ]; then
    out=$("$root/bin/qrv" --version 2>&1) || fail "qrv --version exits with $?: $out"
    [[ $out == *"$version"* ]] || fail "qrv --version prints \"$out\", without $version"

    # The completion, as bash runs it: the words typed, the candidates offered.
    mkdir -p "$work/files/sub" && touch "$work/files/a.snh" "$work/files/b.txt"
    (cd "$work/files" && bash -c '
        source "$1"
        while IFS="|" read -r line want; do
            read -ra COMP_WORDS <<<"$line"
            [[ $line == *" " ]] && COMP_WORDS+=("")
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            _qrv
            got=$(printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd " " -)
            [ "$got" = "$want" ] || { echo "FAIL: completion of \"$line\": \"$got\", not \"$want\"" >&2; exit 1; }
        done <<"CASES"
qrv |clock config history map ports print program report restart show simulate unmap
qrv pr|print program
qrv --|--help --version
qrv ports --|--help --json
qrv show |a.snh sub
qrv program a.snh --|--band --dry-run --help --port --quiet
qrv print --|--band --dry-run --help --port --quiet
qrv program --port COM1 |a.snh sub
qrv clock --port com1|COM1 COM10
qrv print --band |1 2 3 4
qrv simulate --|--force --hang-up-after --help --json --stall-after
qrv unmap C|COM1 COM10 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9
qrv map COM3 sub|sub
qrv --port COM1 restart --port COM2 |
CASES
    ' _ "$root/share/bash-completion/completions/qrv") || fail "bash completion"
fi

# --- Debian packages ----------------------------------------------------------
# The window's package needs qrv's; without qrv built there is nothing to pack.
if [ "$with_qrv" != 1 ]; then
    [ "$failures" = 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
    echo "install checks passed (qrv built: 0; no packages)"
    exit 0
fi
# Built in the build folder, so that a second run finds ccache warm.
printed=$("$source/scripts/build-debs" "$build/debian-packages") || exit 1
mapfile -t debs <<<"$printed"
[ ${#debs[@]} = 2 ] || { fail "build-debs printed ${#debs[@]} packages, not 2"; exit 1; }
qrv_deb=${debs[0]} window_deb=${debs[1]}
deb_version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)

# lintian: no error and no warning, informational tags shown; a tag that
# debian/*.lintian-overrides overrides (each with its reason) is not counted.
# (--show-overrides would count them: lintian then fails on them.)
lintian --fail-on error,warning --display-info "$qrv_deb" "$window_deb" \
    >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log" >&2; fail "lintian"; }

# Each package's files: its part of the list, with its copyright and changelog.
package_list() { # PACKAGE
    local section
    [ "$1" = qrv ] && section=1 || section=0
    awk -v want="$section" '
        /^#/ || /^$/ { next }
        $0 == "[qrv]" { in_qrv = 1; next }
        (in_qrv ? 1 : 0) == want { print "usr/" $0 }' "$list"
    printf 'usr/share/doc/%s/%s\n' "$1" changelog.Debian.gz "$1" copyright
    if [ -f "$source/debian/$1.lintian-overrides" ]; then
        echo "usr/share/lintian/overrides/$1"
    fi
}
packaged() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }'; }
for package in qrv impressora-qrv; do
    [ $package = qrv ] && deb=$qrv_deb || deb=$window_deb
    package_list $package | LC_ALL=C sort >"$work/expected-$package"
    packaged "$deb" | LC_ALL=C sort >"$work/packaged"
    same_list "files of $package" "$work/expected-$package" "$work/packaged"
    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Package)" = $package ] || fail "Package: $(field Package)"
    [ "$(field Version)" = "$deb_version" ] || fail "$package Version: $(field Version)"
    [ "$(field Section)" = utils ] || fail "$package Section: $(field Section)"
    [ -n "$(field Maintainer)" ] || fail "$package has no Maintainer"
    # Every program with the hardening flags: position independent, read-only
    # relocations bound at start.
    mkdir -p "$work/x-$package" && dpkg-deb -x "$deb" "$work/x-$package"
    for program in "$work/x-$package"/usr/bin/*; do
        elf=$(readelf -hldW "$program")
        [[ $elf =~ Type:\ +DYN ]] || fail "$program is not position independent"
        [[ $elf == *GNU_RELRO* ]] || fail "$program has no read-only relocations"
        [[ $elf =~ FLAGS[^$'\n']*BIND_NOW ]] || fail "$program is not bound at start"
    done
done
qrv_depends=$(dpkg-deb -f "$qrv_deb" Depends)
[[ $qrv_depends == *libudev1* ]] || fail "qrv Depends lacks libudev1: $qrv_depends"
[[ ${qrv_depends,,} != *qt* ]] || fail "qrv depends on Qt: $qrv_depends"
window_depends=$(dpkg-deb -f "$window_deb" Depends)
[[ $window_depends == *"qrv (= $deb_version)"* ]] || fail "impressora-qrv Depends lacks qrv: $window_depends"
[[ $window_depends == *libqt6widgets6* ]] || fail "impressora-qrv Depends lacks Qt: $window_depends"

# Install and purge in an empty dpkg root: everything lands, nothing stays.
admin=$work/root/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates" && touch "$admin/status"
dpkg_root() { dpkg --root="$work/root" --force-not-root --force-depends --force-script-chrootless "$@" >>"$work/dpkg.log" 2>&1; }
dpkg_root --install "$qrv_deb" "$window_deb" || { cat "$work/dpkg.log" >&2; fail "dpkg --install"; }
cat "$work/expected-qrv" "$work/expected-impressora-qrv" | LC_ALL=C sort >"$work/expected"
(cd "$work/root" && find usr ! -type d | LC_ALL=C sort) >"$work/unpacked"
same_list "files installed by the packages" "$work/expected" "$work/unpacked"
out=$("$work/root/usr/bin/qrv" --version 2>&1) || fail "the installed qrv --version exits with $?: $out"
[[ $out == *"$version"* ]] || fail "the installed qrv --version prints \"$out\""
dpkg_root --purge impressora-qrv qrv || { cat "$work/dpkg.log" >&2; fail "dpkg --purge"; }
left=$(cd "$work/root" && find . -mindepth 1 ! -path './var' ! -path './var/lib' ! -path './var/lib/dpkg*')
[ -z "$left" ] || fail "left behind after purge: $left"

[ "$failures" = 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "install checks passed (qrv built: 1; lintian clean on qrv and impressora-qrv)"
