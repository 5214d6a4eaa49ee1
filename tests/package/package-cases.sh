#!/usr/bin/env bash
# The Windows package as a user installs it: unzipped into a folder, with
# install.cmd run by the cmd of a fresh Wine prefix. Then what a player sees
# (the filter mapper, RenderFile to EC_COMPLETE), corvina-play from the
# package converting a file, and uninstall.cmd leaving the class registry as
# it was; and every way install.cmd refuses, each leaving the registry as it
# was.
#
#   package-cases.sh [--32-bit-windows] ZIP ADXENCODE INSTALLCHECK64 [INSTALLCHECK32]
#
# ADXENCODE is the native fixture encoder; INSTALLCHECKnn the installcheck
# programs of the two Windows trees. The prefix is a 64-bit Windows: there
# the x86 filters (through SysWOW64's regsvr32, checked by INSTALLCHECK32)
# join the x64 ones where this machine executes 32-bit programs
# (scripts/can-run-win32.sh) and INSTALLCHECK32 is given; elsewhere the
# prefix's 32-bit regsvr32 is removed first, which is what a 64-bit Windows
# without its 32-bit subsystem looks like. With --32-bit-windows the prefix
# is a 32-bit Windows, where only the x86 filters exist (skipped where this
# machine cannot run 32-bit programs).
set -u

windows=win64
if [ "${1:-}" = "--32-bit-windows" ]; then
    windows=win32
    shift
fi
if [ $# -lt 3 ] || [ $# -gt 4 ]; then
    echo "usage: $0 [--32-bit-windows] ZIP ADXENCODE INSTALLCHECK64 [INSTALLCHECK32]" >&2
    exit 2
fi
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
zip=$(absolute "$1")
encoder=$(absolute "$2")
declare -A check=([x64]=$(absolute "$3"))
# The regsvr32 that registers each bitness.
declare -A tool=([x64]='C:\windows\System32\regsvr32.exe'
    [x86]='C:\windows\SysWOW64\regsvr32.exe')
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bitnesses=(x64)
if [ $# = 4 ] && "$root/scripts/can-run-win32.sh"; then
    check[x86]=$(absolute "$4")
    bitnesses+=(x86)
fi
if [ $windows = win32 ]; then
    if [ ${#bitnesses[@]} = 1 ]; then
        echo "package cases: 32-bit Windows skipped: this machine cannot run 32-bit programs"
        echo "all cases passed"
        exit 0
    fi
    bitnesses=(x86)
    tool[x86]='C:\windows\System32\regsvr32.exe'
fi
echo "package cases: the ${bitnesses[*]} filters, in a fresh $windows prefix"

work=$(mktemp -d "${TMPDIR:-/tmp}/package-cases.XXXXXX") || exit 2
export CORVINA_WINEPREFIX=$work/prefix CORVINA_WINEARCH=$windows
# Wine's GStreamer splitter (not part of Windows) stays out of RenderFile.
export CORVINA_WINE_NO_GSTREAMER=1
trap '"$root/scripts/wine-run.sh" --stop; rm -rf "$work"' EXIT
# shellcheck source=../support/cases.sh
. "$root/tests/support/cases.sh"

# Every Windows program gets two minutes; one that hangs is killed and fails.
limit=(timeout -s KILL 120)
package_name=$(basename "$zip" .zip)
version=${package_name#corvina-}
version=${version%-windows}

# /x/y -> Z:\x\y
windows_path() {
    local path=${1//\//\\}
    printf 'Z:%s' "$path"
}

# wine PROGRAM ARGS...: runs a Windows program in the case directory.
wine() {
    (cd "$case_dir" && "${limit[@]}" "$root/scripts/wine-run.sh" "$@" >stdout 2>stderr)
    status=$?
    [ $status != 137 ] || fail "$* did not end within two minutes"
    sed -i 's/\r$//' "$case_dir/stdout" "$case_dir/stderr"
}

# unpack DIR: unzips the package into DIR in the case directory; sets
# `package` to its folder there.
unpack() {
    (cd "$case_dir" && mkdir "$1" && cd "$1" && unzip -q "$zip") || fail "unzip failed"
    package=$case_dir/$1/$package_name
}

# cmd SCRIPT: runs install.cmd or uninstall.cmd of $package with the
# prefix's cmd.
cmd() { wine cmd /c "$(windows_path "$package/$1")"; }

# The class registry (both views), where registration writes.
export_classes() {
    "${limit[@]}" "$root/scripts/wine-run.sh" reg export 'HKLM\Software\Classes' \
        "$(windows_path "$1.utf16")" /y >/dev/null 2>&1 &&
        iconv -f UTF-16 -t UTF-8 "$1.utf16" >"$1" && rm "$1.utf16"
}

registry_unchanged() {
    export_classes "$case_dir/classes.reg" || fail "reg export failed"
    if ! cmp -s "$work/classes-before.reg" "$case_dir/classes.reg"; then
        fail "the class registry differs from before install: $(diff "$work/classes-before.reg" \
            "$case_dir/classes.reg" | head -n 5 | tr '\n' ' ')"
    fi
}

# steps ME VERB: the lines install.cmd prints for the bitnesses of this run.
steps() {
    local me=$1 verb=$2 b
    [ "${bitnesses[*]}" != x64 ] || echo "$me: no 32-bit subsystem on this Windows: x86 skipped"
    for b in "${bitnesses[@]}"; do
        echo "$me: $verb $b\\corvina.ax with ${tool[$b]}"
        echo "$me: $b ok"
    done
}

# The fresh prefix (its first program creates it) and the registry before.
mkdir -p "$work/cases"
"${limit[@]}" "$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1
if [ "${bitnesses[*]}" = x64 ]; then
    rm -f "$work/prefix/drive_c/windows/syswow64/regsvr32.exe"
fi
if ! "$encoder" --channels 2 --rate 32000 --seconds 1 "$work/play.adx" >/dev/null ||
    ! export_classes "$work/classes-before.reg"; then
    echo "package cases: cannot encode the fixture or export the prefix's registry"
    exit 1
fi

begin package-holds-both-bitnesses
want=$(printf '%s\n' "$package_name/" "$package_name/"{CHANGELOG.md,LICENSE.txt,README.txt} \
    "$package_name/"{include/,include/corvina.h,install.cmd,uninstall.cmd} \
    "$package_name/"{x64,x86}/{,corvina-encode.exe,corvina-play.exe,corvina.ax,skerrin.exe} | sort)
got=$(unzip -Z1 "$zip" | sort)
[ "$got" = "$want" ] || fail "contents: $(diff <(echo "$want") <(echo "$got") | tr '\n' ' ')"

# A folder name with a space and a "!", which cmd's delayed expansion would eat.
installed="$work/my filters!/$package_name"
(mkdir "$work/my filters!" && cd "$work/my filters!" && unzip -q "$zip") || fail "unzip failed"
# The version resources once, from the 64-bit Windows run.
[ $windows = win32 ] || for binary in {x64,x86}/{corvina.ax,corvina-encode.exe,corvina-play.exe,skerrin.exe}; do
    begin "version-resource-of-${binary/\//-}"
    wine "${check[x64]}" version "$(windows_path "$installed/$binary")"
    expect_status 0
    out <<EOF2
FileVersion: ${version//./, }, 0
ProductVersion: ${version//./, }, 0
OriginalFilename: ${binary#*/}
LegalCopyright: Copyright (c) * The corvina developers
Comments: Free software under the MIT License (LICENSE.txt)
EOF2
done

begin install-without-administrator-rights-changes-nothing
unpack pkg
# Wine runs everything as administrator: with reg.exe unable to start, the
# rights check fails as it does for a user without them on Windows.
WINEDLLOVERRIDES='mscoree,mshtml=;winedbg.exe=d;winegstreamer=;reg.exe=d' cmd install.cmd
expect_status 1
out <<EOF2
install: administrator rights are needed to register the filters for all users.
install: right-click "Command Prompt", choose "Run as administrator", and run
install: "$(windows_path "$package")\\install.cmd" there. Nothing was changed.
EOF2
registry_unchanged

for b in x64 x86; do
    begin "install-without-the-$b-module-changes-nothing"
    unpack pkg
    rm "$package/$b/corvina.ax"
    cmd install.cmd
    expect_status 2
    out <<EOF2
install: $b\\corvina.ax is missing: the package is damaged; unzip it again
install: nothing was changed
EOF2
    registry_unchanged
done

begin install-with-a-damaged-module-undoes-what-it-registered
unpack pkg
last=${bitnesses[${#bitnesses[@]} - 1]}
echo "not a module" >"$package/$last/corvina.ax"
cmd install.cmd
expect_status 3
out < <({
    steps install register | head -n -1
    echo "install: FAILED: regsvr32 could not register $last?corvina.ax (status *)"
    [ ${#bitnesses[@]} = 1 ] || echo "install: undoing x64"
    echo "install: FAILED: nothing is registered; see above"
})
registry_unchanged

begin install-registers-every-bitness
package=$installed
cmd install.cmd
expect_status 0
out < <({
    steps install register
    echo "install: done: corvina's filters are registered for ${bitnesses[*]}"
})
export_classes "$case_dir/classes.reg"
grep -q 'VAZ Iraz Ozadiz' "$case_dir/classes.reg" || fail "no class key written"

for b in "${bitnesses[@]}"; do
    begin "mapper-finds-both-filters-$b"
    wine "${check[$b]}" mapper
    expect_status 0

    begin "renderfile-plays-to-the-end-$b"
    cp "$work/play.adx" "$case_dir/"
    wine "${check[$b]}" render play.adx
    expect_status 0
    out <<<"render: source, parser, decoder, renderer; EC_COMPLETE"

    begin "corvina-play-from-the-package-converts-$b"
    cp "$work/play.adx" "$case_dir/"
    wine "$package/$b/corvina-play.exe" --wav out.wav play.adx
    expect_status 0
    # One second: 32000 frames of two 16-bit channels after the 44-byte header.
    size=$(stat -c %s "$case_dir/out.wav" 2>&1)
    if [ "$(head -c 4 "$case_dir/out.wav" 2>/dev/null)" != RIFF ] ||
        [ "$size" != $((44 + 32000 * 4)) ]; then
        fail "out.wav is not the whole second: $size"
    fi
done

begin uninstall-removes-every-key-install-wrote
cmd uninstall.cmd
expect_status 0
out < <({
    steps uninstall unregister
    echo "uninstall: done: corvina's filters are unregistered for ${bitnesses[*]}"
})
registry_unchanged

summarize
