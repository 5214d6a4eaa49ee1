#!/usr/bin/env bash
# The Windows package as a user installs it: unzipped into a folder, with
# install.cmd run by the cmd of a fresh Wine prefix. Then what a player sees
# (the filter mapper, RenderFile to EC_COMPLETE), corvina-play from the
# package converting a file, and uninstall.cmd leaving the class registry as
# it was; and every way install.cmd refuses, each leaving the registry as it
# was. Then the setup (corvina-VERSION-setup.exe beside ZIP) the same way: a
# damaged one that leaves nothing, a silent install that players see, its
# entry, an upgrade over it, and uninstalls that leave the registry, the PATH
# and the user's own files as they were.
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
    # The failed one too: its regsvr32 may have stopped halfway.
    echo "install: undoing $last"
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

begin uninstall-twice-is-done-twice
for _ in 1 2; do
    cmd uninstall.cmd
    expect_status 0
done
registry_unchanged

begin install-through-an-8.3-path-registers-the-long-one
# The prefix's own 8.3 name of the folder, as `dir /x` lists it.
(cd "$case_dir" && "${limit[@]}" "$root/scripts/wine-run.sh" cmd /c dir /x \
    "$(windows_path "$work")" >dirx 2>&1)
short=$(sed -n 's/\r$//; s/^.*<DIR> *\([^ ]*~[^ ]*\) *my filters!$/\1/p' "$case_dir/dirx")
if [ -z "$short" ]; then
    fail "no 8.3 name for 'my filters!' in: $(tr '\n' ' ' <"$case_dir/dirx" | head -c 300)"
else
    wine cmd /c "$(windows_path "$work/$short/$package_name/install.cmd")"
    expect_status 0
    export_classes "$case_dir/classes.reg"
    grep -qF "my filters!" "$case_dir/classes.reg" || fail "the long path was not registered"
    ! grep -qF "$short" "$case_dir/classes.reg" || fail "the 8.3 path was registered"
    wine cmd /c "$(windows_path "$work/$short/$package_name/uninstall.cmd")"
    expect_status 0
    registry_unchanged
fi

if [ $windows = win64 ]; then
    begin install-on-arm64-windows-says-it-registers-x86-only
    unpack pkg
    wine cmd /c "set PROCESSOR_ARCHITECTURE=ARM64&& set PROCESSOR_ARCHITEW6432=&& $(windows_path "$package/install.cmd")"
    if [ ${#bitnesses[@]} = 1 ]; then
        # No 32-bit subsystem either: nothing this Windows could register.
        expect_status 3
    else
        expect_status 0
        out <<EOF2
install: ARM64 Windows: only the x86 filters; players built for x64 do not see them
install: register x86\\corvina.ax with ${tool[x86]}
install: x86 ok
install: done: corvina's filters are registered for x86
EOF2
        cmd uninstall.cmd
    fi
fi

# --- The setup: the same files, installed by corvina-VERSION-setup.exe ---
# NSIS setups are 32-bit x86 programs; where this machine runs only 64-bit
# ones, the same script is built with NSIS's amd64 stub and tested instead.
setup=$(dirname "$zip")/corvina-$version-setup.exe
stub=()
if ! "$root/scripts/can-run-win32.sh"; then
    stub=(--target amd64-unicode)
    mkdir -p "$work/amd64" && (cd "$work/amd64" && unzip -q "$zip")
    setup=$work/amd64/corvina-$version-amd64.exe
    "$root/package/make-setup.sh" "${stub[@]}" "$work/amd64/$package_name" "$version" "$setup" ||
        setup=
    echo "package cases: the setup built as a 64-bit program (this machine runs no 32-bit ones)"
fi
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\corvina'
environment_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
view=()
program_files="$work/prefix/drive_c/Program Files"
[ $windows = win32 ] || view=(/reg:64)

# reg_value KEY NAME: the value's data as reg query prints it, or nothing.
reg_value() {
    "${limit[@]}" "$root/scripts/wine-run.sh" reg query "$1" /v "$2" "${view[@]}" 2>/dev/null |
        sed -n "s/\r\$//; s/^ *$2 *REG_[A-Z_]* *//p"
}

# command_line PROGRAM ARGS: runs PROGRAM with this exact command line
# through cmd, which passes it on as it stands: NSIS wants "/D=" and "_?="
# unquoted, spaces and all, which Wine's own quoting of arguments breaks.
command_line() { wine cmd /c "$(windows_path "$1") $2"; }

# run_setup ARGS: the setup, timed in milliseconds into `took`.
run_setup() {
    local begun
    begun=$(date +%s%N)
    command_line "$setup" "$1"
    took=$((($(date +%s%N) - begun) / 1000000))
}

# uninstall_scripted DIR WINDIR: the uninstaller in DIR (WINDIR to Windows)
# as README shows it for scripts: run from a copy, so that its exit status
# is the uninstall's.
uninstall_scripted() {
    local begun
    cp "$1/uninstall.exe" "$work/uninstall-copy.exe"
    begun=$(date +%s%N)
    command_line "$work/uninstall-copy.exe" "/S _?=$2"
    took=$((($(date +%s%N) - begun) / 1000000))
    rm -f "$work/uninstall-copy.exe"
}

# installed_files DIR BITNESS...: fails unless DIR holds the package's files
# for these bitnesses and the uninstaller, and no install.cmd.
installed_files() {
    local dir=$1 file b
    shift
    local files=(README.txt LICENSE.txt CHANGELOG.md include/corvina.h uninstall.exe)
    for b in "$@"; do
        files+=("$b/corvina.ax" "$b/corvina-play.exe" "$b/skerrin.exe")
    done
    for file in "${files[@]}"; do
        [ -f "$dir/$file" ] || fail "$file is not installed in $dir"
    done
    [ ! -e "$dir/install.cmd" ] || fail "install.cmd was installed"
}

entries() {
    "${limit[@]}" "$root/scripts/wine-run.sh" reg query \
        'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' "${view[@]}" 2>/dev/null |
        grep -ci 'uninstall\\corvina'
}

if [ -z "$setup" ] || [ ! -f "$setup" ]; then
    begin setup-exists
    fail "no setup beside the package: $setup"
else
    echo "package cases: $(basename "$setup"): $(stat -c %s "$setup") bytes"

    begin setup-with-a-damaged-module-leaves-nothing-installed
    unpack pkg
    last=${bitnesses[${#bitnesses[@]} - 1]}
    size=$(stat -c %s "$package/$last/corvina.ax")
    truncate -s $((size / 2)) "$package/$last/corvina.ax"
    if "$root/package/make-setup.sh" "${stub[@]}" "$package" "$version" "$case_dir/damaged.exe"; then
        command_line "$case_dir/damaged.exe" '/S /D=C:\corvina damaged'
        expect_status 3
        registry_unchanged
        [ ! -e "$work/prefix/drive_c/corvina damaged" ] || fail "its folder is left behind"
        [ -z "$(reg_value "$uninstall_key" DisplayVersion)" ] || fail "its entry is left behind"
    else
        fail "make-setup.sh failed"
    fi

    begin setup-installs-silently-into-program-files
    run_setup /S
    expect_status 0
    echo "package cases: silent install: $took ms"
    installed_files "$program_files/corvina" "${bitnesses[@]}"
    [ $windows = win64 ] || [ ! -e "$program_files/corvina/x64" ] || fail "x64 on a 32-bit Windows"

    for b in "${bitnesses[@]}"; do
        begin "setup-mapper-finds-both-filters-$b"
        wine "${check[$b]}" mapper
        expect_status 0

        begin "setup-renderfile-plays-to-the-end-$b"
        cp "$work/play.adx" "$case_dir/"
        wine "${check[$b]}" render play.adx
        expect_status 0
    done

    begin setup-entry-names-the-version-and-the-folder
    [ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "DisplayVersion"
    [ "$(reg_value "$uninstall_key" InstallLocation)" = 'C:\Program Files\corvina' ] ||
        fail "InstallLocation: $(reg_value "$uninstall_key" InstallLocation)"
    [ "$(reg_value "$uninstall_key" QuietUninstallString)" = \
        '"C:\Program Files\corvina\uninstall.exe" /S' ] || fail "QuietUninstallString"
    for name in DisplayName Publisher UninstallString EstimatedSize DisplayIcon NoModify NoRepair; do
        [ -n "$(reg_value "$uninstall_key" "$name")" ] || fail "no $name"
    done
    if [ $windows = win64 ] && "${limit[@]}" "$root/scripts/wine-run.sh" reg query \
        "$uninstall_key" /reg:32 >/dev/null 2>&1; then
        fail "an entry in the 32-bit registry view"
    fi

    begin setup-uninstalls-silently
    uninstall_scripted "$program_files/corvina" 'C:\Program Files\corvina'
    expect_status 0
    echo "package cases: silent uninstall: $took ms"
    registry_unchanged
    [ ! -e "$program_files/corvina" ] || fail "left: $(cd "$program_files" && find corvina | head -n 5)"
    [ "$(entries)" = 0 ] || fail "the entry is left"

    begin setup-with-every-component-into-a-folder-of-ones-own
    path_before=$(reg_value "$environment_key" Path)
    own="$work/prefix/drive_c/my filters!/corvina"
    run_setup '/S /TOOLSONPATH /LOOPBYDEFAULT /D=C:\my filters!\corvina'
    expect_status 0
    installed_files "$own" "${bitnesses[@]}"
    tools="C:\\my filters!\\corvina\\${bitnesses[0]}"
    [ "$(reg_value "$environment_key" Path)" = "$path_before;$tools" ] ||
        fail "PATH: $(reg_value "$environment_key" Path)"
    [ "$(reg_value 'HKCU\Software\corvina' LoopByDefault)" = 0x1 ] || fail "no LoopByDefault"
    echo "mine" >"$own/notes.txt"
    # corvina-play plays a looped stream once all the same, unless --loop:
    # one second of PCM, and the loop kept in a 68-byte smpl chunk.
    "$encoder" --channels 2 --rate 32000 --seconds 1 --loop 0:16000 "$case_dir/loop.adx" >/dev/null
    wine "$own/${bitnesses[0]}/corvina-play.exe" --wav out.wav loop.adx
    expect_status 0
    size=$(stat -c %s "$case_dir/out.wav" 2>&1)
    [ "$size" = $((44 + 32000 * 4 + 68)) ] || fail "out.wav of the looped stream: $size bytes"

    begin setup-over-an-installed-copy-keeps-its-folder-and-one-entry
    # A player holds a module meanwhile: that one is replaced at the next
    # restart, and the setup says so (status 3010).
    held=${bitnesses[0]}
    "$encoder" --channels 2 --rate 32000 --seconds 8 "$work/long.adx" >/dev/null
    (cd "$case_dir" && "${limit[@]}" "$root/scripts/wine-run.sh" \
        "$(windows_path "$own/$held/corvina-play.exe")" "$(windows_path "$work/long.adx")" \
        >player.out 2>&1) &
    player=$!
    # Loaded once Wine has mapped the module's file.
    loaded() { grep -qsF "$own/$held/corvina.ax" /proc/[0-9]*/maps; }
    waited=0
    while ! loaded && [ $waited -lt 300 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    loaded || fail "the player did not load the module within 30 s"
    run_setup '/S /TOOLSONPATH'
    expect_status $((3010 % 256)) # Wine passes Linux the low byte of 3010
    [ -f "$own/$held/corvina.ax.new" ] || fail "the held module was not kept for the restart"
    wait $player
    installed_files "$own" "${bitnesses[@]}"
    [ ! -e "$program_files/corvina" ] || fail "installed into Program Files instead"
    [ "$(entries)" = 1 ] || fail "$(entries) entries"
    [ "$(reg_value "$environment_key" Path)" = "$path_before;$tools" ] ||
        fail "PATH: $(reg_value "$environment_key" Path)"

    begin uninstaller-keeps-the-users-files-and-setting
    uninstall_scripted "$own" 'C:\my filters!\corvina'
    expect_status 0
    registry_unchanged
    [ "$(reg_value "$environment_key" Path)" = "$path_before" ] ||
        fail "PATH: $(reg_value "$environment_key" Path)"
    [ "$(cd "$work/prefix/drive_c/my filters!" && find . | sort | tr '\n' ' ')" = \
        ". ./corvina ./corvina/notes.txt " ] || fail "left: $(cd "$own" && find . | head -n 5)"
    [ "$(reg_value 'HKCU\Software\corvina' LoopByDefault)" = 0x1 ] || fail "the setting went"
    [ "$(entries)" = 0 ] || fail "the entry is left"
    "${limit[@]}" "$root/scripts/wine-run.sh" reg delete 'HKCU\Software\corvina' /f >/dev/null 2>&1
fi

summarize
