#!/usr/bin/env bash
# Runs skerrin as a process on archives made by afsbuild, each case in a
# directory of its own, and compares its standard output, standard error,
# exit status and the files it leaves with what is expected.
#
#   skerrin-cases.sh [--emulator RUNNER] SKERRIN AFSBUILD
#
# With --emulator both programs are Windows executables run through RUNNER
# (Wine): output lines lose their carriage returns, and the cases that need a
# POSIX file system (symbolic links, /dev/full) are left out.
#
# Expected output is written one line per line; a line with a '*' is a glob
# pattern, so that the runtime library's error descriptions (after
# "perror-text: ") and the program's invocation name may be matched.
set -u

emulator=()
if [ "${1:-}" = "--emulator" ]; then
    emulator=("$2")
    shift 2
fi
if [ $# -ne 2 ]; then
    echo "usage: $0 [--emulator RUNNER] SKERRIN AFSBUILD" >&2
    exit 2
fi
# The programs run from the cases' directories.
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
skerrin=$(absolute "$1")
afsbuild=$(absolute "$2")
posix=1
[ ${#emulator[@]} -eq 0 ] || posix=0

work=$(mktemp -d "${TMPDIR:-/tmp}/skerrin-cases.XXXXXX") || exit 2
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
case_workdir=out
# shellcheck source=../support/cases.sh
. "$(dirname "${BASH_SOURCE[0]}")/../support/cases.sh"

# Member contents shared by the cases.
src=$work/src
mkdir "$src"
for size in 1 904 2048 3000 5000 3145735; do
    head -c "$size" /dev/urandom >"$src/b$size"
done
: >"$src/b0"


# build AFSBUILD-ARGS...: makes a.afs in the case directory; member files
# are named relative to it, e.g. m1=../../src/b5000.
build() {
    (cd "$case_dir" && "${emulator[@]}" "$afsbuild" "$@" >afsbuild.log 2>&1) ||
        fail "afsbuild $* failed: $(cat "$case_dir/afsbuild.log")"
}

# run SKERRIN-ARGS...: runs skerrin in the case's out/ directory.
run() {
    (cd "$case_dir/out" && "${emulator[@]}" "$skerrin" "$@" >../stdout 2>../stderr)
    status=$?
    # Windows writes text-mode lines with CRLF.
    sed -i 's/\r$//' "$case_dir/stdout" "$case_dir/stderr"
}



# same NAME SOURCE: out/NAME holds exactly the bytes of src/SOURCE.
same() {
    cmp -s "$case_dir/out/$1" "$src/$2" || fail "out/$1 differs from $2"
}

# prefix NAME SOURCE BYTES: out/NAME is the first BYTES bytes of src/SOURCE.
prefix() {
    local size
    size=$(wc -c 2>/dev/null <"$case_dir/out/$1")
    [ "${size:-missing}" = "$3" ] || fail "out/$1 has ${size:-missing} bytes, want $3"
    cmp -s -n "$3" "$case_dir/out/$1" "$src/$2" || fail "out/$1 is not a prefix of $2"
}

# files NAME...: out/ holds exactly these entries, and the case directory
# nothing but what the harness put there.
files() {
    local want got
    want=$(printf '%s\n' "$@" | LC_ALL=C sort)
    got=$(cd "$case_dir/out" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort)
    [ "$want" = "$got" ] || fail "out/ holds [$(tr '\n' ' ' <<<"$got")], want [$(tr '\n' ' ' <<<"$want")]"
    got=$(cd "$case_dir" && find . -mindepth 1 -maxdepth 1 ! -name out ! -name a.afs \
        ! -name stdout ! -name stderr ! -name afsbuild.log)
    [ -z "$got" ] || fail "created outside out/: $got"
}

hex_of() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }

four=(m1=../../src/b3000 m2=../../src/b3000 m3=../../src/b3000 m4=../../src/b3000)

echo "skerrin cases"

# --- command line ---------------------------------------------------------
begin usage-no-argument
run
expect_status 1
out <<<'Usage: *skerrin* input.afs'
err </dev/null
files

begin usage-two-arguments
run a.afs b.afs
expect_status 1
out <<<'Usage: *skerrin* input.afs'
err </dev/null
files

# --- failures before the member loop: exit 1 -----------------------------
begin archive-missing
run ../a.afs
expect_status 1
out </dev/null
err <<<'file open failed.: *'
files

begin header-three-bytes
build --truncate 3 a.afs m=../../src/b1
run ../a.afs
expect_status 1
out </dev/null
err <<<'read header failed.'

begin magic-differs
build --magic 41465301 a.afs m=../../src/b1
run ../a.afs
expect_status 1
out </dev/null
err <<<'../a.afs is not ASF file.'

begin count-all-ones
build --count 0xFFFFFFFF a.afs m=../../src/b1
run ../a.afs
expect_status 1
out </dev/null
err <<<'read file number failed.'

begin count-cut-short
build --truncate 6 a.afs m=../../src/b1
run ../a.afs
expect_status 1
out </dev/null
err <<<'read file number failed.'

begin count-zero
build a.afs
run ../a.afs
expect_status 1
out </dev/null
err <<<'../a.afs: archive holds no files.'
files

begin count-negative
build --count 0x80000000 a.afs m=../../src/b1
run ../a.afs
expect_status 1
out </dev/null
err <<<'../a.afs: file number -2147483648 out of range.'

begin count-table-overflows
build --count 0x10000000 a.afs m=../../src/b1
run ../a.afs
expect_status 1
out </dev/null
err <<<'../a.afs: file number 268435456 out of range.'

begin table-short
build --count 100000 a.afs m=../../src/b1
run ../a.afs
expect_status 1
out <<<'100000 files in ../a.afs.'
err <<<'read offset table failed.'

begin locator-missing
build --truncate 24 a.afs m1=../../src/b1 m2=../../src/b1
run ../a.afs
expect_status 1
out <<<'2 files in ../a.afs.'
err <<<'read list offset or size failed.'

begin locator-word-all-ones
build --list-size 0xFFFFFFFF a.afs m=../../src/b1
run ../a.afs
expect_status 1
err <<<'read list offset or size failed.'

begin locator-ends-at-first-data
build --data-after-locator a.afs m=../../src/b1
run ../a.afs
expect_status 1
out <<<'1 files in ../a.afs.'
err <<<"can't find read list offset or size."

begin list-offset-top-bit
# Offsets are unsigned: 2 GiB lies past the end of this archive.
build --list-offset 0x80000000 a.afs m=../../src/b1
run ../a.afs
expect_status 1
err <<<'read file list failed.'

begin list-shorter-than-records
build --list-size 95 a.afs m1=../../src/b1 m2=../../src/b1
run ../a.afs
expect_status 1
err <<<'../a.afs: name list of 95 bytes too short for 2 files.'
files

begin list-past-end-of-file
build --list-offset 0x7FFFFF00 a.afs m=../../src/b1
run ../a.afs
expect_status 1
err <<<'read file list failed.'

begin list-cut-short
build --truncate 4200 a.afs m1=../../src/b2048 m2=../../src/b1
run ../a.afs
expect_status 1
err <<<'read file list failed.'
files

# --- the member loop ------------------------------------------------------
begin all-members-whole
build --zero-pairs 3 a.afs empty=../../src/b0 five=../../src/b5000 \
    block=../../src/b2048 one=../../src/b1 large=../../src/b3145735
echo 'an older file, longer than one byte' >"$case_dir/out/one"
run ../a.afs
expect_status 0
out <<'EOF'
5 files in ../a.afs.
empty
five
block
one
large
EOF
err </dev/null
same empty b0
same five b5000
same block b2048
same one b1
same large b3145735
files empty five block one large

begin unaligned-members
build --align 1 a.afs a=../../src/b904 b=../../src/b3000 c=../../src/b1
run ../a.afs
expect_status 0
same a b904
same b b3000
same c b1

begin cut-short-inside-member-2-of-4
# Member 2 starts at 6144 (each member 3000 bytes on 2048-byte alignment);
# its first 2048 bytes arrive, the next read comes up short. No partial
# file stays behind, and the reason is not the runtime's "Success".
build --list-first --truncate $((6144 + 2500)) a.afs "${four[@]}"
run ../a.afs
expect_status 2
out <<'EOF'
4 files in ../a.afs.
m1
FAILED:m2
FAILED:m3
FAILED:m4
EOF
err <<'EOF'
read error.: m2: the archive ends inside the member
read error.: m3: the archive ends inside the member
read error.: m4: the archive ends inside the member
EOF
same m1 b3000
files m1

begin member-not-creatable
# That member fails alone; the next one follows.
build a.afs a=../../src/b1 b=../../src/b904 c=../../src/b1
mkdir "$case_dir/out/b"
run ../a.afs
expect_status 2
out <<'EOF'
3 files in ../a.afs.
a
FAILED:b
c
EOF
err <<<'file open failed.: b: *'
files a b c
same c b1

begin untrusted-names
build a.afs =../../src/b1 .=../../src/b1 ..=../../src/b1 /skerrin-escape=../../src/b1 \
    'sub/x=../../src/b1' 'a\b=../../src/b1' 'c:d=../../src/b1' ok=../../src/b904 \
    '\\server=../../src/b1'
mkdir "$case_dir/out/sub"
run ../a.afs
expect_status 2
out <<'EOF'
9 files in ../a.afs.
FAILED:
FAILED:.
FAILED:..
FAILED:/skerrin-escape
FAILED:sub/x
FAILED:a\b
FAILED:c:d
ok
FAILED:\\server
EOF
err <<'EOF'
../a.afs: name "" of file 0 is empty, not written.
../a.afs: name "." of file 1 is a directory reference, not written.
../a.afs: name ".." of file 2 is a directory reference, not written.
../a.afs: name "/skerrin-escape" of file 3 is an absolute path, not written.
../a.afs: name "sub/x" of file 4 holds a directory separator, not written.
../a.afs: name "a\b" of file 5 holds a directory separator, not written.
../a.afs: name "c:d" of file 6 holds a drive letter or stream separator ':', not written.
../a.afs: name "\\server" of file 8 is an absolute path, not written.
EOF
same ok b904
files ok sub
[ ! -e /skerrin-escape ] || fail "/skerrin-escape was created"

if [ $posix = 0 ]; then
    begin windows-device-names
    build a.afs NUL=../../src/b1 con.adx=../../src/b1 'Com7 .bin=../../src/b1' \
        LPT1=../../src/b1 COM0=../../src/b904 nul2=../../src/b904
    run ../a.afs
    expect_status 2
    out <<'EOF'
6 files in ../a.afs.
FAILED:NUL
FAILED:con.adx
FAILED:Com7 .bin
FAILED:LPT1
COM0
nul2
EOF
    err <<'EOF'
../a.afs: name "NUL" of file 0 is a Windows device name, not written.
../a.afs: name "con.adx" of file 1 is a Windows device name, not written.
../a.afs: name "Com7 .bin" of file 2 is a Windows device name, not written.
../a.afs: name "LPT1" of file 3 is a Windows device name, not written.
EOF
    same COM0 b904
    same nul2 b904
fi

begin name-without-zero-byte
build --name-record "1:$(hex_of 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuv')" \
    a.afs a=../../src/b1 b=../../src/b1 c=../../src/b904
run ../a.afs
expect_status 2
out <<'EOF'
3 files in ../a.afs.
a
FAILED:ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuv
c
EOF
err <<<'../a.afs: name of file 1 has no terminating zero byte, not written.'
files a c

begin entry-top-bit
build --entry 1:0x80000000:1 --entry 2:2048:0xFFFFFFFF a.afs a=../../src/b1 b=../../src/b1 \
    c=../../src/b1 d=../../src/b904
run ../a.afs
expect_status 2
out <<'EOF'
4 files in ../a.afs.
a
FAILED:b
FAILED:c
d
EOF
err <<'EOF'
read error.: b: the archive ends inside the member
read error.: c: the archive ends inside the member
EOF
files a d

begin entry-past-end-of-file
build --entry 0:0x7FFFFFF0:16 a.afs a=../../src/b1 b=../../src/b904
run ../a.afs
expect_status 2
out <<'EOF'
2 files in ../a.afs.
FAILED:a
b
EOF
err <<<'read error.: a: the archive ends inside the member'
same b b904
files b

if [ $posix = 1 ]; then
    begin write-error-at-close
    # The error shows only when the buffered data is flushed at the close.
    build a.afs full=../../src/b904 b=../../src/b1
    ln -s /dev/full "$case_dir/out/full"
    run ../a.afs
    expect_status 2
    out <<'EOF'
2 files in ../a.afs.
FAILED:full
b
EOF
    err <<<'write error: *'

    begin write-error-in-copy
    build a.afs full=../../src/b3145735 b=../../src/b1
    ln -s /dev/full "$case_dir/out/full"
    run ../a.afs
    expect_status 2
    out <<'EOF'
2 files in ../a.afs.
FAILED:full
b
EOF
    err <<<'write error: *'

    begin standard-output-full
    build a.afs a=../../src/b1
    (cd "$case_dir/out" && "$skerrin" ../a.afs >/dev/full 2>../stderr)
    status=$?
    expect_status 2
    err <<<'write to standard output failed: *'
    same a b1
fi
summarize
