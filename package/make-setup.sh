#!/usr/bin/env bash
# Builds the Windows setup from a staged package folder (the one that
# scripts/package.sh zips) with makensis and package/setup.nsi:
#
#   make-setup.sh [--target amd64-unicode] STAGE VERSION OUT.exe
#
# The files the setup installs, and the uninstaller deletes, are the staged
# folder's at build time: the top-level text files, include/, x86/ and x64/
# (install.cmd and uninstall.cmd belong to the zip only). --target builds a
# setup that is a 64-bit program (the default stub is 32-bit x86, which runs
# on every Windows). Exit status: 0 built, 1 failed (message on stderr).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

target=()
if [ "${1:-}" = --target ]; then
    target=("-DTARGET=$2")
    shift 2
fi
if [ $# != 3 ]; then
    echo "usage: $0 [--target STUB] STAGE VERSION OUT.exe" >&2
    exit 1
fi
stage=$(cd "$1" && pwd)
version=$2
out=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
if ! command -v makensis >/dev/null; then
    echo "make-setup: makensis is missing (Debian package nsis; scripts/bootstrap.sh installs it)" >&2
    exit 1
fi

files=$(mktemp "${TMPDIR:-/tmp}/corvina-setup-files.XXXXXX.nsh")
trap 'rm -f "$files"' EXIT

# group NAME FOLDER FILE...: the install and remove macros of one group.
group() {
    local name=$1 folder=$2 file target_dir
    shift 2
    # shellcheck disable=SC2016 # $INSTDIR is NSIS's, not the shell's
    target_dir='$INSTDIR'${folder:+\\$folder}
    {
        echo "!macro CorvinaInstall_$name"
        echo "  SetOutPath \"$target_dir\""
        for file in "$@"; do
            echo "  !insertmacro CorvinaPut \"$stage/${folder:+$folder/}$file\" \"$target_dir\\$file\""
        done
        echo "!macroend"
        echo "!macro CorvinaRemove_$name"
        for file in "$@"; do
            echo "  !insertmacro CorvinaDelete \"$target_dir\\$file\""
        done
        echo "!macroend"
    } >>"$files"
}

# files_in FOLDER: the plain files of a staged folder, sorted, one a line.
files_in() { find "$stage/$1" -maxdepth 1 -type f ! -name '*.cmd' -printf '%f\n' | sort; }

mapfile -t top < <(files_in .)
mapfile -t headers < <(files_in include)
group common "" "${top[@]}"
group include include "${headers[@]}"
for bitness in x86 x64; do
    mapfile -t binaries < <(files_in "$bitness")
    [ ${#binaries[@]} -gt 0 ] || {
        echo "make-setup: $stage/$bitness holds no files" >&2
        exit 1
    }
    group "$bitness" "$bitness" "${binaries[@]}"
done

if ! log=$(makensis -V2 -WX -NOCD "-DVERSION=$version" "-DSTAGE=$stage" "-DFILES=$files" \
    "-DOUTFILE=$out" "${target[@]}" "$here/setup.nsi" 2>&1); then
    echo "$log" >&2
    echo "make-setup: makensis failed" >&2
    exit 1
fi
