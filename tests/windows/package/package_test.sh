#!/usr/bin/env bash
# The Windows package used as a host developer uses it.
#
#   package_test.sh manifest ZIP NAME MANIFEST
#       the archive holds exactly the files of MANIFEST, under the folder NAME
#   package_test.sh host ZIP NAME PROBE_EXE VERSION_TEST_EXE SESSION_SCRIPT CXX_COMPILER
#       unpacks ZIP into a fresh folder with a fresh Wine prefix, checks the version resources of
#       the packaged files (VERSION_TEST_EXE), registers both DLLs with regsvr32, checks the
#       registry and MFTEnumEx (PROBE_EXE), builds examples/chain from the package with
#       CXX_COMPILER, runs it on two frames and compares its pictures with tsrmfhost's, then
#       unregisters and checks that nothing is left.
set -euo pipefail

step() { printf '== %s\n' "$*"; }
fail() {
    printf 'package_test: %s\n' "$*" >&2
    exit 1
}

manifest() {
    zip=$1 name=$2 expected=$3
    [ -f "$zip" ] || fail "no archive $zip"
    listed=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
    wanted=$(sed "s|^|$name/|" "$expected" | sort)
    if [ "$listed" != "$wanted" ]; then
        printf 'archive:\n%s\nexpected:\n%s\n' "$listed" "$wanted" >&2
        fail "the archive does not hold exactly the listed files"
    fi
    step "$(printf '%s\n' "$listed" | wc -l) files, as listed"
}

host() {
    zip=$1 name=$2 probe=$3 versions=$4 session=$5 cxx=$6
    work=$(mktemp -d "${TMPDIR:-/tmp}/tsr-package.XXXXXX")
    export WINEPREFIX="$work/prefix" WINEDEBUG=-all
    trap 'sh "$session" stop >/dev/null 2>&1; rm -rf "$work"' EXIT
    wine() { sh "$session" run "$@"; }
    windows() { printf 'Z:%s' "$1" | tr / '\\'; }

    step "unpack into $work"
    (cd "$work" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
    package=$work/$name
    [ -d "$package/bin" ] || fail "no $name/bin in the archive"
    cp "$probe" "$work/package_probe.exe"
    export TSR_PACKAGE_BIN="$(windows "$package/bin")"

    step "fresh Wine prefix"
    sh "$session" start || fail "cannot start a Wine session in $WINEPREFIX"

    wine "$versions" --gtest_brief=1 || fail "version resources of the packaged files"

    step "regsvr32 both DLLs"
    for dll in TsrRawDecoder.dll TsrRawDebayer.dll; do
        wine regsvr32 /s "$TSR_PACKAGE_BIN\\$dll" || fail "regsvr32 $dll"
    done
    wine reg query 'HKCR\CLSID\{B6040083-CBD1-44F8-B6A7-D7D3F29E0DE6}' /s | tr -d '\r'
    wine reg query 'HKCR\CLSID\{1E898D0D-458B-469B-9722-755622954AF1}' /s | tr -d '\r'
    wine "$work/package_probe.exe" --gtest_brief=1 --gtest_filter='Registered.*' || fail "registered state"

    step "build examples/chain from the package"
    wine "$work/package_probe.exe" frames "$(windows "$work")" || fail "cannot write test frames"
    cmake -S "$package/examples/chain" -B "$work/chain-build" -G Ninja -DCMAKE_SYSTEM_NAME=Windows \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release >"$work/chain-configure.log" 2>&1 ||
        { cat "$work/chain-configure.log"; fail "configuring examples/chain"; }
    cmake --build "$work/chain-build" || fail "building examples/chain"

    step "chain.exe and tsrmfhost.exe on the same frames"
    mkdir "$work/host"
    wine "$package/bin/tsrmfhost.exe" --out "$(windows "$work/host")" \
        "$(windows "$work/frame0.tsr")" "$(windows "$work/frame1.tsr")" | tr -d '\r' || fail "tsrmfhost"
    for frame in 0 1; do
        wine "$work/chain-build/chain.exe" "$(windows "$work/frame$frame.tsr")" \
            "$(windows "$work/chain$frame.rgba")" | tr -d '\r' || fail "chain.exe on frame $frame"
        picture=$(ls "$work/host/frame000${frame}_"*_rgba16f.raw) || fail "tsrmfhost wrote no frame $frame"
        size=$(wc -c <"$work/chain$frame.rgba")
        [ "$size" -gt 0 ] || fail "chain.exe wrote an empty picture"
        cmp "$work/chain$frame.rgba" "$picture" || fail "chain.exe and tsrmfhost differ on frame $frame"
        step "frame $frame: $size bytes, equal to $(basename "$picture")"
    done

    step "regsvr32 /u both DLLs"
    for dll in TsrRawDecoder.dll TsrRawDebayer.dll; do
        wine regsvr32 /s /u "$TSR_PACKAGE_BIN\\$dll" || fail "regsvr32 /u $dll"
    done
    wine "$work/package_probe.exe" --gtest_brief=1 --gtest_filter='Unregistered.*' || fail "unregistered state"
    step "done"
}

command=${1:-}
[ $# -gt 0 ] && shift
case "$command" in
manifest) manifest "$@" ;;
host) host "$@" ;;
*) fail "usage: package_test.sh manifest|host ..." ;;
esac
