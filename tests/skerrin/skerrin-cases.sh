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
# Names beyond ASCII reach the programs as UTF-8 (Wine converts the command
# line from the locale's character set).
export LC_ALL=C.UTF-8

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
# nothing but what the harness put there (in/ holds member files).
files() {
    local want got
    want=$(printf '%s\n' "$@" | LC_ALL=C sort)
    got=$(cd "$case_dir/out" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort)
    [ "$want" = "$got" ] || fail "out/ holds [$(tr '\n' ' ' <<<"$got")], want [$(tr '\n' ' ' <<<"$want")]"
    got=$(cd "$case_dir" && find . -mindepth 1 -maxdepth 1 ! -name out ! -name a.afs \
        ! -name stdout ! -name stderr ! -name afsbuild.log ! -name in)
    [ -z "$got" ] || fail "created outside out/: $got"
}

hex_of() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }
# record I NAME: afsbuild's option that stores NAME's bytes and a zero as
# member I's name (its own command line cannot carry every name); the
# result goes unquoted into afsbuild's arguments.
record() { echo "--name-record $1:$(hex_of "$2")00"; }

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
    build $(record 6 'COM¹') $(record 7 'lpt².bin') a.afs NUL=../../src/b1 \
        con.adx=../../src/b1 'Com7 .bin=../../src/b1' LPT1=../../src/b1 COM0=../../src/b1 \
        'CONIN$=../../src/b1' x=../../src/b1 y=../../src/b1 nul2=../../src/b904 \
        COM10=../../src/b904 'what?.adx=../../src/b1'
    run ../a.afs
    expect_status 2
    out <<'EOF'
11 files in ../a.afs.
FAILED:NUL
FAILED:con.adx
FAILED:Com7 .bin
FAILED:LPT1
FAILED:COM0
FAILED:CONIN$
FAILED:COM¹
FAILED:lpt².bin
nul2
COM10
FAILED:what?.adx
EOF
    err <<'EOF'
../a.afs: name "NUL" of file 0 is a Windows device name, not written.
../a.afs: name "con.adx" of file 1 is a Windows device name, not written.
../a.afs: name "Com7 .bin" of file 2 is a Windows device name, not written.
../a.afs: name "LPT1" of file 3 is a Windows device name, not written.
../a.afs: name "COM0" of file 4 is a Windows device name, not written.
../a.afs: name "CONIN$" of file 5 is a Windows device name, not written.
../a.afs: name "COM¹" of file 6 is a Windows device name, not written.
../a.afs: name "lpt².bin" of file 7 is a Windows device name, not written.
../a.afs: name "what?.adx" of file 10 holds a character that Windows does not allow in names, not written.
EOF
    same nul2 b904
    same COM10 b904
    files nul2 COM10
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

# --- options: help, version, usage errors ----------------------------------
for help in --help -h /?; do
    begin "help${help//[\/?]/}"
    run "$help"
    expect_status 0
    [ "$(head -n 1 "$case_dir/stdout")" = 'Usage: skerrin ARCHIVE.afs' ] ||
        fail "help starts with '$(head -n 1 "$case_dir/stdout")'"
    grep -q -- '--create OUT.afs' "$case_dir/stdout" || fail "help does not mention --create"
    grep -q 'Shift-JIS (code page 932)' "$case_dir/stdout" || fail "help does not say how names read"
    err </dev/null
done

for version in --version -V; do
    begin "version$version"
    run "$version"
    expect_status 0
    out <<<'skerrin [0-9]*.[0-9]*.[0-9]*'
    err </dev/null
done

# usage_case NAME MESSAGE ARGS...: a usage error, on standard error only.
usage_case() {
    local message=$2
    begin "$1"
    shift 2
    run "$@"
    expect_status 1
    out </dev/null
    err <<EOF
skerrin: $message
Try 'skerrin --help' for more information.
EOF
    files
}
usage_case usage-unknown-option 'The following argument was not expected: -q' -q ../a.afs
usage_case usage-missing-value '--output: 1 required TEXT missing' ../a.afs --output
usage_case usage-empty-value 'option --output needs a value' ../a.afs --output ''
usage_case usage-flag-with-value 'list was given a disallowed flag override' --list=yes ../a.afs
usage_case usage-modes-exclusive '--list, --extract and --create exclude each other' -l -c x.afs y
usage_case usage-no-archive 'no archive given' -n
usage_case usage-create-without-members '--create needs member files' -c x.afs
usage_case usage-create-with-output '--numbered and --output do not go with --create' -c x.afs -o d y
usage_case usage-list-with-order '--output, --order and --overwrite do not go with --list' -l -T o.txt \
    ../a.afs

begin option-archive-missing
run -l ../a.afs
expect_status 2
out </dev/null
err <<<'skerrin: ../a.afs: *'

begin option-not-afs
build --magic 41465301 a.afs m=../../src/b1
run -x ../a.afs
expect_status 2
out </dev/null
err <<<'skerrin: ../a.afs: not an AFS archive'
files

# --- listing -----------------------------------------------------------------
begin list
build a.afs one=../../src/b1 five=../../src/b5000 e=../../src/b0
run --list ../a.afs
expect_status 0
out <<'EOF'
index     offset       size  date                 name
    0       2048          1  -                    one
    1       4096       5000  -                    five
    2      10240          0  -                    e
3 of 3 files, 5001 bytes of member data, archive 10384 bytes
EOF
err </dev/null
files

begin list-selected-numbered
build a.afs one=../../src/b1 five=../../src/b5000 e=../../src/b0
run -ln ../a.afs 00002.bin 1
expect_status 0
out <<'EOF'
index     offset       size  date                 name
    1       4096       5000  -                    00001.bin
    2      10240          0  -                    00002.bin
2 of 3 files, 5000 bytes of member data, archive 10384 bytes
EOF

# --- archives without a name list: numbered names behind an option ----------
begin no-name-list-classic
build --list-offset 0 --list-size 0 a.afs one=../../src/b1 five=../../src/b5000
run ../a.afs
expect_status 1
out <<<'2 files in ../a.afs.'
err <<<"can't find read list offset or size."
files

begin no-name-list-without-option
build --list-offset 0 --list-size 0 a.afs one=../../src/b1 five=../../src/b5000
run -l ../a.afs
expect_status 2
out </dev/null
err <<<"skerrin: ../a.afs: name list locator not before the first member's data (--numbered reads the members without names)"

begin no-name-list-numbered
build --list-offset 0 --list-size 0 a.afs one=../../src/b1 five=../../src/b5000
run --numbered ../a.afs
expect_status 0
out <<'EOF'
2 files in ../a.afs.
00000.bin
00001.bin
EOF
err </dev/null
same 00000.bin b1
same 00001.bin b5000
files 00000.bin 00001.bin

# --- extraction options ------------------------------------------------------
begin output-directory-created
build a.afs one=../../src/b1 five=../../src/b5000
run --output x/y ../a.afs
expect_status 0
out <<'EOF'
2 files in ../a.afs.
one
five
EOF
err </dev/null
same x/y/one b1
same x/y/five b5000
files x x/y x/y/one x/y/five

begin output-directory-is-a-file
build a.afs one=../../src/b1
echo text >"$case_dir/out/f"
run -o f ../a.afs
expect_status 1
out </dev/null
err <<<'skerrin: f: *'
files f

begin select-by-name-and-index
build a.afs one=../../src/b1 five=../../src/b5000 e=../../src/b0
run -x ../a.afs e 0 e
expect_status 0
out <<'EOF'
3 files in ../a.afs.
one
e
EOF
same one b1
same e b0
files one e

begin select-unknown-member
build a.afs one=../../src/b1
run -x ../a.afs one two
expect_status 2
out </dev/null
err <<<'skerrin: ../a.afs: no member "two"'
files

begin double-dash-ends-options
build a.afs one=../../src/b1
cp "$case_dir/a.afs" "$case_dir/out/-a.afs"
run -o x -- -a.afs
expect_status 0
out <<'EOF'
1 files in -a.afs.
one
EOF
same x/one b1

begin order-file-written
build a.afs one=../../src/b1 five=../../src/b5000 e=../../src/b0
run -o x -T order.txt ../a.afs five one
expect_status 0
out <<'EOF'
3 files in ../a.afs.
one
five
EOF
[ "$(tr -d '\r' <"$case_dir/out/order.txt")" = $'x/one\nx/five' ] ||
    fail "order.txt holds '$(cat "$case_dir/out/order.txt")'"

begin option-failures-name-the-file
# Member 1 cannot be created, members 2 to 4 are cut short: each fails
# alone, named, and nothing partial stays behind.
build --list-first --truncate $((6144 + 2500)) a.afs "${four[@]}"
mkdir -p "$case_dir/out/x/m1"
run -y -o x ../a.afs
expect_status 3
out <<'EOF'
4 files in ../a.afs.
FAILED:m1
FAILED:m2
FAILED:m3
FAILED:m4
EOF
err <<'EOF'
skerrin: x/m1: *
skerrin: ../a.afs: m2: the archive ends inside the member
skerrin: ../a.afs: m3: the archive ends inside the member
skerrin: ../a.afs: m4: the archive ends inside the member
EOF
files x x/m1

# --- mends: same names, control characters -----------------------------------
begin same-name-kept-apart
# The later members get names of their own; a file that was there before
# the run (m~1) is left alone.
build a.afs m=../../src/b1 m=../../src/b904 m=../../src/b3000
echo keep >"$case_dir/out/m~1"
run ../a.afs
expect_status 0
out <<'EOF'
3 files in ../a.afs.
m
m as m~2
m as m~3
EOF
err <<'EOF'
../a.afs: name "m" of file 1 was written already by this run, kept as "m~2".
../a.afs: name "m" of file 2 was written already by this run, kept as "m~3".
EOF
same m b1
same m~2 b904
same m~3 b3000
[ "$(cat "$case_dir/out/m~1")" = keep ] || fail "m~1 was overwritten"
files m m~1 m~2 m~3

begin same-name-ignoring-case
build a.afs voice.adx=../../src/b1 VOICE.ADX=../../src/b904
run -o x ../a.afs
if [ $posix = 1 ]; then
    expect_status 0
    out <<'EOF'
2 files in ../a.afs.
voice.adx
VOICE.ADX
EOF
    same x/VOICE.ADX b904
else
    # One file on Windows: the second is kept apart.
    expect_status 0
    out <<'EOF'
2 files in ../a.afs.
voice.adx
VOICE.ADX as VOICE~1.ADX
EOF
    err <<<'skerrin: ../a.afs: name "VOICE.ADX" of member 1 was written already by this run, kept as x/VOICE~1.ADX'
    same x/VOICE~1.ADX b904
fi
same x/voice.adx b1

# --- stored names as text; names that are one file on Windows ---------------
begin names-shift-jis-and-utf-8
# Shift-JIS whose trail byte is 0x5C (so, hyou, nou) is no separator; UTF-8
# stays UTF-8; bytes that are neither are refused.
build $(record 0 $'\x83\x5C.adx') $(record 1 $'\x95\x5C') $(record 2 $'\x94\x5C') \
    $(record 3 'ボイス.adx') $(record 4 $'\x85\x40') \
    $(record 5 $'\x83\x7B\x83\x43\x83\x58') a.afs a=../../src/b1 b=../../src/b904 \
    c=../../src/b1 d=../../src/b3000 e=../../src/b1 f=../../src/b904
run ../a.afs
expect_status 2
out <<'EOF'
6 files in ../a.afs.
ソ.adx
表
能
ボイス.adx
FAILED:\x85@
ボイス
EOF
err <<<'../a.afs: name "\x85@" of file 4 is neither UTF-8 nor Shift-JIS, not written.'
same ソ.adx b1
same 表 b904
same ボイス.adx b3000
same ボイス b904
files ソ.adx 表 能 ボイス.adx ボイス
run -l ../a.afs 表 4
expect_status 0
out <<'EOF'
index     offset       size  date                 name
    1       4096        904  -                    表
    4      12288          1  -                    \x85@
2 of 6 files, 905 bytes of member data, archive 16672 bytes
EOF

begin names-one-file-on-windows
# Trailing dots and spaces, case (also beyond ASCII) and an 8.3 alias of
# an earlier name: one file on Windows, so kept apart there. Windows drops
# trailing dots and spaces from a name, and the line says so.
build $(record 5 'été.adx') $(record 6 'ÉTÉ.adx') $(record 7 'привет') \
    $(record 8 'ПРИВЕТ.') a.afs voice.adx=../../src/b904 'voice.adx.=../../src/b1' \
    'voice.adx =../../src/b0' bgm_stage01.adx=../../src/b1 'BGM_ST~1.ADX=../../src/b904' \
    e=../../src/b1 f=../../src/b904 g=../../src/b1 h=../../src/b904 'solo.bin.=../../src/b1'
run -o x ../a.afs
expect_status 0
if [ $posix = 1 ]; then
    out <<'EOF'
10 files in ../a.afs.
voice.adx
voice.adx.
voice.adx 
bgm_stage01.adx
BGM_ST~1.ADX
été.adx
ÉTÉ.adx
привет
ПРИВЕТ.
solo.bin.
EOF
    err </dev/null
    same 'x/voice.adx ' b0
    same x/ÉTÉ.adx b904
else
    out <<'EOF'
10 files in ../a.afs.
voice.adx
voice.adx. as voice~1.adx
voice.adx  as voice~2.adx
bgm_stage01.adx
BGM_ST~1.ADX as BGM_ST~1~1.ADX
été.adx
ÉTÉ.adx as ÉTÉ~1.adx
привет
ПРИВЕТ. as ПРИВЕТ~1
solo.bin. as solo.bin
EOF
    err <<'EOF'
skerrin: ../a.afs: name "voice.adx." of member 1 was written already by this run, kept as x/voice~1.adx
skerrin: ../a.afs: name "voice.adx " of member 2 was written already by this run, kept as x/voice~2.adx
skerrin: ../a.afs: name "BGM_ST~1.ADX" of member 4 was written already by this run, kept as x/BGM_ST~1~1.ADX
skerrin: ../a.afs: name "ÉTÉ.adx" of member 6 was written already by this run, kept as x/ÉTÉ~1.adx
skerrin: ../a.afs: name "ПРИВЕТ." of member 8 was written already by this run, kept as x/ПРИВЕТ~1
EOF
    same x/voice~2.adx b0
    same x/BGM_ST~1~1.ADX b904
    same x/ÉTÉ~1.adx b904
    same x/ПРИВЕТ~1 b904
    same x/solo.bin b1
fi
same x/voice.adx b904
same x/été.adx b1

begin names-round-trip-non-ascii
# Names beyond the ANSI code page, in the archive's path, a folder with a
# trailing separator and the members: stored as UTF-8, extracted as stored.
mkdir "$case_dir/in"
cp "$src/b5000" "$case_dir/in/ボイス.adx"
cp "$src/b904" "$case_dir/in/Ελλάδα.bin"
touch -d '2021-03-04 05:06:07' "$case_dir/in/"*
run -c ボイス.afs ../in/
expect_status 0
err </dev/null
run -l ボイス.afs
expect_status 0
out <<'EOF'
index     offset       size  date                 name
    0       2048        904  2021-03-04 05:06:07  Ελλάδα.bin
    1       4096       5000  2021-03-04 05:06:07  ボイス.adx
2 of 2 files, 5904 bytes of member data, archive 12288 bytes
EOF
run -o x ボイス.afs ボイス.adx
expect_status 0
out <<'EOF'
2 files in ボイス.afs.
ボイス.adx
EOF
same x/ボイス.adx b5000
if [ $posix = 0 ]; then
    run -c back.afs '..\in\'
    expect_status 0
    cmp -s "$case_dir/out/back.afs" "$case_dir/out/ボイス.afs" ||
        fail 'the archive of ..\in\ differs from that of ../in/'
fi

begin control-characters-refused
build --name-record "1:$(hex_of 'a')01$(hex_of 'b')" --name-record "2:1b$(hex_of '[31m')" \
    --name-record "3:7f" --name-record "4:c29b$(hex_of '[31m')00" a.afs ok=../../src/b1 \
    x=../../src/b1 y=../../src/b1 z=../../src/b1 c1=../../src/b1
run ../a.afs
expect_status 2
out <<'EOF'
5 files in ../a.afs.
ok
FAILED:a\x01b
FAILED:\x1B[31m
FAILED:\x7F
FAILED:\xC2\x9B[31m
EOF
err <<'EOF'
../a.afs: name "a\x01b" of file 1 holds a control character, not written.
../a.afs: name "\x1B[31m" of file 2 holds a control character, not written.
../a.afs: name "\x7F" of file 3 holds a control character, not written.
../a.afs: name "\xC2\x9B[31m" of file 4 holds a control character, not written.
EOF
files ok
if LC_ALL=C grep -q '[[:cntrl:]]' "$case_dir/stdout" "$case_dir/stderr"; then
    fail "a control character reached the terminal"
fi

# --- 4 GiB range: offsets above 2 GiB in a sparse archive --------------------
begin offsets-above-2-gib
high=$((0xF0000000))
build --entry 1:$high:5000 a.afs low=../../src/b904 high=../../src/b5000
truncate -s $((high + 5000)) "$case_dir/a.afs"
dd if="$src/b5000" of="$case_dir/a.afs" bs=4096 seek=$((high / 4096)) conv=notrunc status=none
run -l ../a.afs high
expect_status 0
out <<EOF
index     offset       size  date                 name
    1 $high       5000  -                    high
1 of 2 files, 5000 bytes of member data, archive $((high + 5000)) bytes
EOF
run ../a.afs
expect_status 0
same low b904
same high b5000
files low high

# --- creating archives --------------------------------------------------------
# in/: member files with a fixed date.
make_inputs() {
    mkdir -p "$case_dir/in"
    cp "$src/b5000" "$case_dir/in/voice.adx"
    cp "$src/b0" "$case_dir/in/empty"
    cp "$src/b2048" "$case_dir/in/block.bin"
    touch -d '2021-03-04 05:06:07' "$case_dir/in/"*
}

begin create-extract-round-trip
make_inputs
run --create first.afs ../in/voice.adx ../in/empty ../in/block.bin
expect_status 0
out </dev/null
err </dev/null
run -l first.afs
expect_status 0
out <<'EOF'
index     offset       size  date                 name
    0       2048       5000  2021-03-04 05:06:07  voice.adx
    1       8192          0  2021-03-04 05:06:07  empty
    2       8192       2048  2021-03-04 05:06:07  block.bin
3 of 3 files, 7048 bytes of member data, archive 12288 bytes
EOF
run -o x -T order.txt first.afs
expect_status 0
[ "$(date -r "$case_dir/out/x/voice.adx" '+%F %T')" = '2021-03-04 05:06:07' ] ||
    fail "the stored date was not kept"
run -c second.afs -T order.txt
expect_status 0
cmp -s "$case_dir/out/first.afs" "$case_dir/out/second.afs" ||
    fail "the rebuilt archive differs from the first"
# The classic extraction reads what --create writes.
mkdir "$case_dir/out/classic"
(cd "$case_dir/out/classic" && "${emulator[@]}" "$skerrin" ../first.afs >../../stdout 2>../../stderr)
status=$?
expect_status 0
same classic/voice.adx b5000
same classic/block.bin b2048

begin create-from-folder
# Its files in name order; a subfolder is skipped and named.
make_inputs
mkdir "$case_dir/in/sub"
run -c a.afs ../in
expect_status 0
err <<<"skerrin: ../in/sub: subfolder skipped (only the folder's own files become members)"
run -l a.afs
out <<'EOF'
index     offset       size  date                 name
    0       2048       2048  2021-03-04 05:06:07  block.bin
    1       4096          0  2021-03-04 05:06:07  empty
    2       4096       5000  2021-03-04 05:06:07  voice.adx
3 of 3 files, 7048 bytes of member data, archive 12288 bytes
EOF

# create_refused NAME STATUS MESSAGE SETUP ARGS...: after SETUP (run in the
# case directory) --create refuses and writes no archive.
create_refused() {
    local name=$1 want=$2 message=$3 setup=$4
    shift 4
    begin "$name"
    make_inputs
    (cd "$case_dir" && eval "$setup")
    run -c a.afs "$@"
    expect_status "$want"
    out </dev/null
    err <<<"$message"
    [ -f "$case_dir/out/a.afs" ] && fail "a.afs was written"
}
create_refused create-member-missing 2 'skerrin: ../in/nope: *' : ../in/voice.adx ../in/nope
create_refused create-same-name-twice 2 \
    'skerrin: ../in/voice.adx: a member named "voice.adx" was given already' : \
    ../in/voice.adx ../in/empty ../in/voice.adx
long=abcdefghijklmnopqrstuvwxyz012345
create_refused create-name-too-long 2 \
    "skerrin: ../in/$long: member name of 32 bytes, longer than 31: give the file a shorter name, e.g. \"${long:0:31}\"" \
    "touch in/$long" ../in/$long
create_refused create-name-too-long-keeps-extension 2 \
    "skerrin: ../in/${long}xyz.adx: member name of 39 bytes, longer than 31: give the file a shorter name, e.g. \"${long:0:27}.adx\"" \
    "touch in/${long}xyz.adx" ../in/${long}xyz.adx
if [ $posix = 1 ]; then
    begin create-shift-jis-name
    # A Shift-JIS file name is stored as it is and extracted as its text.
    mkdir "$case_dir/in"
    cp "$src/b904" "$case_dir/in/"$'\x83\x5C.adx'
    run -c a.afs ../in
    expect_status 0
    run -o x a.afs
    expect_status 0
    out <<'EOF'
1 files in a.afs.
ソ.adx
EOF
    same x/ソ.adx b904

    create_refused create-name-not-text 2 \
        "skerrin: ../in/caf"$'\xE9'": member name is neither UTF-8 nor Shift-JIS" \
        "touch in/caf"$'\xE9' ../in/caf$'\xE9'
fi
create_refused create-into-a-folder 1 'skerrin: a.afs: not a regular file' \
    'mkdir out/a.afs' ../in/voice.adx
create_refused create-member-over-4-gib 2 \
    'skerrin: ../in/huge: larger than an archive can hold (4 GiB)' 'truncate -s 4G in/huge' \
    ../in/huge

begin create-archive-among-members
# The archive to write is not read as a member (it would be cut short).
make_inputs
echo old >"$case_dir/out/a.afs"
run -y -c a.afs ../in/voice.adx a.afs
expect_status 2
out </dev/null
err <<<'skerrin: a.afs: is the archive being written'
[ "$(tr -d '\r' <"$case_dir/out/a.afs")" = old ] || fail "a.afs was overwritten"

begin create-header-filling-its-block
# 254 members: magic, count, table and locator fill 2048 bytes exactly; the
# data starts a block later, so that the locator ends before it.
mkdir "$case_dir/in"
for ((i = 0; i < 254; ++i)); do
    : >"$case_dir/in/$(printf 'm%03d' $i)"
done
run -c a.afs ../in
expect_status 0
run -l a.afs m000
expect_status 0
out <<'EOF'
index     offset       size  date                 name
    0       4096          0  *  m000
1 of 254 files, 0 bytes of member data, archive 16384 bytes
EOF
# --- outputs that exist, inputs never written -------------------------------
# overwrite_case NAME STATUS ARGS...: out/one holds old text; without -y
# nothing is written, with it the members replace it.
overwrite_case() {
    local name=$1 want=$2
    shift 2
    begin "$name"
    build a.afs one=../../src/b1 five=../../src/b5000
    echo old >"$case_dir/out/one"
    run "$@" ../a.afs
    expect_status "$want"
}
overwrite_case extract-refuses-existing 1 -x
out </dev/null
err <<<'skerrin: one: already exists (-y or --overwrite replaces it)'
[ "$(tr -d '\r' <"$case_dir/out/one")" = old ] || fail "one was overwritten"
files one
for flag in -y --overwrite -f --force; do
    overwrite_case "extract-replaces-with$flag" 0 "$flag"
    same one b1
    same five b5000
done

begin order-file-refused-when-it-exists
build a.afs one=../../src/b1
echo old >"$case_dir/out/order.txt"
run -T order.txt ../a.afs
expect_status 1
err <<<'skerrin: order.txt: already exists (-y or --overwrite replaces it)'
files order.txt

begin order-file-never-the-archive
build a.afs one=../../src/b1
cp "$case_dir/a.afs" "$case_dir/out/a.afs"
run -y -o x -T ./a.afs a.afs
expect_status 1
err <<<'skerrin: ./a.afs: is the archive being read, not overwritten'
cmp -s "$case_dir/a.afs" "$case_dir/out/a.afs" || fail "the archive changed"

# member_is_archive NAME STATUS STDERR ARGS...: the archive, out/arc.afs,
# holds a member of its own name and is read under the name link.afs (a
# hard link); that member is refused and the archive stays whole.
member_is_archive() {
    local name=$1 want=$2 message=$3
    shift 3
    begin "$name"
    build a.afs arc.afs=../../src/b904 next=../../src/b1
    cp "$case_dir/a.afs" "$case_dir/out/arc.afs"
    ln "$case_dir/out/arc.afs" "$case_dir/out/link.afs"
    run "$@" link.afs
    expect_status "$want"
    err <<<"$message"
    cmp -s "$case_dir/a.afs" "$case_dir/out/arc.afs" || fail "the archive changed"
    same next b1
}
member_is_archive member-is-the-archive-classic 2 \
    'link.afs: name "arc.afs" of file 0 names the archive being read, not written.'
member_is_archive member-is-the-archive-overwrite 3 \
    'skerrin: link.afs: name "arc.afs" of member 0 names the archive being read, not written' -y

begin create-refuses-existing
make_inputs
echo old >"$case_dir/out/tone.adx"
run -c tone.adx ../in/voice.adx
expect_status 1
out </dev/null
err <<<'skerrin: tone.adx: already exists (-y or --overwrite replaces it)'
[ "$(tr -d '\r' <"$case_dir/out/tone.adx")" = old ] || fail "tone.adx was overwritten"
files tone.adx

begin create-from-a-notepad-order-file
# Saved by Notepad: a byte order mark and CRLF lines.
make_inputs
printf '\xEF\xBB\xBF../in/voice.adx\r\n../in/block.bin\r\n' >"$case_dir/out/notepad.txt"
run -c a.afs -T notepad.txt
expect_status 0
err </dev/null
run -l a.afs
out <<'EOF'
index     offset       size  date                 name
    0       2048       5000  2021-03-04 05:06:07  voice.adx
    1       8192       2048  2021-03-04 05:06:07  block.bin
2 of 2 files, 7048 bytes of member data, archive 12288 bytes
EOF

begin create-replaces-with-overwrite
make_inputs
run -c a.afs ../in/voice.adx
echo old >"$case_dir/out/b.afs"
run -f -c b.afs ../in/voice.adx
expect_status 0
cmp -s "$case_dir/out/a.afs" "$case_dir/out/b.afs" || fail "b.afs was not replaced"
files a.afs b.afs

begin create-failure-keeps-the-old-archive
# A member gone from the order list: the old archive stays as it was.
make_inputs
printf '../in/voice.adx\n../in/gone.adx\n' >"$case_dir/out/order.txt"
echo old >"$case_dir/out/a.afs"
run -y -c a.afs -T order.txt
expect_status 2
err <<<'skerrin: ../in/gone.adx: *'
[ "$(tr -d '\r' <"$case_dir/out/a.afs")" = old ] || fail "a.afs changed"
files a.afs order.txt

if [ $posix = 1 ]; then
    # interrupt_when GLOB SKERRIN-ARGS...: runs skerrin in out/ and sends it
    # SIGINT once a file matching GLOB appears there (waiting 10 s at most).
    interrupt_when() {
        local glob=$1 pid i
        shift
        (cd "$case_dir/out" && exec "$skerrin" "$@" >../stdout 2>../stderr) &
        pid=$!
        for ((i = 0; i < 100; ++i)); do
            compgen -G "$case_dir/out/$glob" >/dev/null && break
            sleep 0.1
        done
        kill -INT $pid
        wait $pid
        status=$?
    }

    begin create-interrupted-keeps-the-old-archive
    # Ctrl+C while a 2 GiB member is copied: status 130, the old archive
    # intact and no temporary file left.
    mkdir "$case_dir/in"
    truncate -s 2G "$case_dir/in/big"
    echo old >"$case_dir/out/a.afs"
    interrupt_when 'a.afs.skerrin-*.tmp' -y -c a.afs ../in/big
    expect_status 130
    err <<<'skerrin: interrupted; incomplete outputs removed'
    [ "$(cat "$case_dir/out/a.afs")" = old ] || fail "a.afs changed"
    files a.afs
    rm -f "$case_dir/in/big"

    begin extract-interrupted-removes-the-member
    # A sparse archive whose member 0 is 2 GiB of zeros; Ctrl+C while it is
    # copied leaves neither it nor the order file.
    build --entry 0:2048:0x7FFFF000 a.afs big=../../src/b1 next=../../src/b1
    truncate -s $((0x80000800)) "$case_dir/a.afs"
    interrupt_when big -T order.txt ../a.afs
    expect_status 130
    err <<<'skerrin: interrupted; incomplete outputs removed'
    files
fi

begin create-never-over-its-order-file
make_inputs
echo ../in/voice.adx >"$case_dir/out/order.txt"
run -y -c order.txt -T order.txt
expect_status 1
err <<<'skerrin: order.txt: is the order file being read, not overwritten'
[ "$(tr -d '\r' <"$case_dir/out/order.txt")" = ../in/voice.adx ] || fail "order.txt changed"

# --- empty members, cut archives, folders, no members -------------------------
# empty_past_end NAME ARGS...: member 1 is empty and its offset lies past the
# end of the archive: nothing to read, an empty file, its name printed.
empty_past_end() {
    local name=$1
    shift
    begin "$name"
    build --entry 1:0x7FFFFFF0:0 a.afs a=../../src/b1 e=../../src/b0 b=../../src/b904
    run "$@" ../a.afs
    expect_status 0
    out <<'EOF'
3 files in ../a.afs.
a
e
b
EOF
    err </dev/null
    same e b0
    files a e b
}
empty_past_end empty-member-past-the-end
empty_past_end empty-member-past-the-end-options -x

begin list-cut-archive
build --list-first --truncate $((6144 + 2500)) a.afs "${four[@]}"
run -l ../a.afs
expect_status 4
out <<'EOF'
index     offset       size  date                 name
    0       2048       3000  -                    m1
    1       6144       3000  -                    m2
    2      10240       3000  -                    m3
    3      14336       3000  -                    m4
4 of 4 files, 12000 bytes of member data, archive 8644 bytes
EOF
err <<'EOF'
skerrin: ../a.afs: cut short: member 1 (m2) ends at byte 9144, past the end of the archive
skerrin: ../a.afs: cut short: member 2 (m3) ends at byte 13240, past the end of the archive
skerrin: ../a.afs: cut short: member 3 (m4) ends at byte 17336, past the end of the archive
EOF

begin list-folder
mkdir "$case_dir/out/bgm"
run -l bgm
expect_status 2
out </dev/null
err <<<'skerrin: bgm: is a folder, not an archive (skerrin -c OUT.afs FOLDER builds one from its files)'

begin no-members-made-listed-extracted
mkdir "$case_dir/in"
run -c a.afs ../in
expect_status 0
err </dev/null
run -l a.afs
expect_status 0
out <<'EOF'
index     offset       size  date                 name
0 of 0 files, 0 bytes of member data, archive 2048 bytes
EOF
run -o x a.afs
expect_status 0
out <<<'0 files in a.afs.'
files a.afs x

summarize
