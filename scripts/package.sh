#!/usr/bin/env bash
# Builds the Windows release package, dist/corvina-VERSION-windows.zip, and
# the setup, dist/corvina-VERSION-setup.exe (package/make-setup.sh, from the
# same staged files), from the win32 and win64 trees (configured here when
# they are not yet):
#
#   corvina-VERSION-windows/
#     x86/, x64/      corvina.ax, corvina-play.exe, corvina-encode.exe, skerrin.exe
#                     (stripped)
#     include/        corvina.h
#     install.cmd, uninstall.cmd, README.txt, LICENSE.txt, CHANGELOG.md
#
# Extra arguments go to the configure steps. Prints the setup's path, then
# the package's path last.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

declare -A folder=([win32]=x86 [win64]=x64)
declare -A strip=([win32]=i686-w64-mingw32-strip [win64]=x86_64-w64-mingw32-strip)

for tree in win32 win64; do
    if [ ! -f "$root/build/$tree/build.ninja" ] || [ $# -gt 0 ]; then
        "$root/scripts/configure.sh" "$tree" "$@"
    fi
    echo "package: building $tree"
    cmake --build "$root/build/$tree" -j "$(nproc)" --target corvina corvina-play corvina-encode skerrin
done

# The number the binaries carry, from the build's own header.
version=$(sed -n 's/^#define CORVINA_VERSION_STRING "\(.*\)"$/\1/p' \
    "$root/build/win64/generated/corvina_version.h")
if [ -z "$version" ]; then
    echo "package: no version in build/win64/generated/corvina_version.h" >&2
    exit 1
fi
name=corvina-$version-windows
stage=$root/build/package/$name
rm -rf "$root/build/package"
mkdir -p "$stage/include" "$root/dist"

for tree in win32 win64; do
    out=$stage/${folder[$tree]}
    mkdir -p "$out"
    for binary in module/corvina.ax tools/corvina-play/corvina-play.exe \
        tools/corvina-encode/corvina-encode.exe tools/skerrin/skerrin.exe; do
        "${strip[$tree]}" -o "$out/$(basename "$binary")" "$root/build/$tree/$binary"
    done
done
cp "$root/include/corvina.h" "$stage/include/"

# Text files with Windows line ends: cmd misreads labels in LF-only scripts,
# and Notepad before Windows 10 shows LF-only text as one line.
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }
crlf "$root/package/install.cmd" "$stage/install.cmd"
crlf "$root/package/uninstall.cmd" "$stage/uninstall.cmd"
crlf "$root/package/README.txt" "$stage/README.txt"
crlf "$root/LICENSE" "$stage/LICENSE.txt"
crlf "$root/CHANGELOG.md" "$stage/CHANGELOG.md"

setup_path=$root/dist/corvina-$version-setup.exe
"$root/package/make-setup.sh" "$stage" "$version" "$setup_path"
echo "package: $setup_path ($(stat -c %s "$setup_path") bytes)"

zip_path=$root/dist/$name.zip
rm -f "$zip_path"
(cd "$root/build/package" && zip -q -X -r "$zip_path" "$name")
echo "package: $zip_path ($(stat -c %s "$zip_path") bytes)"
