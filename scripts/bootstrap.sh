#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine.
# Idempotent: packages already present are skipped, and nothing is fetched
# when everything is there.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev clang-tidy-22
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32 wine64 xvfb xauth
    util-linux imagemagick zip unzip libcli11-dev nsis
)

as_root() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# wine32 lives in the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    need_update=1
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ] && [ -z "${need_update:-}" ]; then
    echo "bootstrap: all packages present"
    exit 0
fi

echo "bootstrap: installing ${missing[*]}"
as_root apt-get update -qq
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
echo "bootstrap: done"
