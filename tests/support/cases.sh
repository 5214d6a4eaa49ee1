# The plumbing of the command-line case scripts (sourced, not run): each case
# runs in a directory of its own under $work/cases, and its standard output,
# standard error and exit status are compared with what is expected.
#
# The sourcing script sets `work` (a scratch directory) first, may set
# `case_workdir` (a subdirectory created in every case directory), writes its
# own `run`, and ends with `summarize`.
#
# Expected output is written one line per line; a line with a '*' is a glob
# pattern, so that the runtime library's error descriptions and the
# program's invocation name may be matched.

failures=0
case_name=
case_dir=
case_failed=0
status=

fail() {
    echo "  FAIL $case_name: $*"
    case_failed=1
}

begin() {
    finish
    case_name=$1
    case_dir=$work/cases/$1
    mkdir -p "$case_dir/${case_workdir:-.}"
    case_failed=0
}

finish() {
    [ -n "$case_name" ] || return 0
    if [ $case_failed = 0 ]; then
        echo "  ok   $case_name"
    else
        failures=$((failures + 1))
    fi
    case_name=
}

# line_matches LINE PATTERN: a pattern with a '*' is a glob, any other is
# compared as it stands (names may hold backslashes).
line_matches() {
    if [[ $2 == *'*'* ]]; then
        # shellcheck disable=SC2053 # a glob on purpose
        [[ $1 == $2 ]]
    else
        [ "$1" = "$2" ]
    fi
}

# match STREAM: compares the stream's lines with the patterns on stdin and
# names the first line that differs.
match() {
    local stream=$1 patterns actual i
    mapfile -t patterns
    mapfile -t actual <"$case_dir/$stream"
    for ((i = 0; i < ${#patterns[@]} || i < ${#actual[@]}; ++i)); do
        if [ $i -ge ${#actual[@]} ] || [ $i -ge ${#patterns[@]} ] ||
            ! line_matches "${actual[$i]}" "${patterns[$i]}"; then
            fail "$stream line $((i + 1)): got '${actual[$i]-<none>}', want '${patterns[$i]-<none>}'"
            return
        fi
    done
}

# le16 / le32 VALUE: little-endian bytes on standard output, for files
# written byte by byte.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))"; }
le32() {
    le16 $(($1 & 0xFFFF))
    le16 $((($1 >> 16) & 0xFFFF))
}

out() { match stdout; }
err() { match stderr; }

expect_status() {
    [ "$status" = "$1" ] || fail "exit status $status, want $1 ($(head -c 300 "$case_dir/stderr"))"
}

# Ends the last case and the script: status 1 when any case failed.
summarize() {
    finish
    if [ $failures -ne 0 ]; then
        echo "$failures case(s) failed"
        exit 1
    fi
    echo "all cases passed"
}
