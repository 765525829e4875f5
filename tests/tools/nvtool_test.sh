#!/usr/bin/env bash
# usage: nvtool_test.sh NVTOOL — checks nvtool's output and exit codes.
set -u
nvtool=$1
fails=0
tab=$'\t'

expect_out() { # expect_out EXPECTED ARGS...
    local want=$1; shift
    local got
    got=$("$nvtool" "$@" 2>&1); local rc=$?
    if [ $rc -ne 0 ] || [ "$got" != "$want" ]; then
        echo "FAIL: nvtool $* -> rc $rc, got [$got], want [$want]"; fails=$((fails + 1))
    fi
}
expect_rc() { # expect_rc CODE ARGS...
    local want=$1; shift
    local err
    err=$("$nvtool" "$@" 2>&1 >/dev/null); local rc=$?
    if [ $rc -ne "$want" ]; then
        echo "FAIL: nvtool $* -> rc $rc, want $want"; fails=$((fails + 1))
    fi
    if [ "$want" -eq 2 ] && [ "$(printf '%s\n' "$err" | wc -l)" -ne 1 ]; then
        echo "FAIL: nvtool $* -> error is not one line: [$err]"; fails=$((fails + 1))
    fi
}

expect_out "4k7${tab}4700.0000000000009${tab}3${tab}4.7k    " eng 4k7
expect_out "10uF${tab}1.0000000000000003e-05${tab}3${tab}10u     " eng 10uF
expect_out "abc${tab}0${tab}0${tab}0       " eng abc
expect_out "1.000k" eng --format 1000 --width 6 --zeros
expect_out "5%    " eng --format 0.05 --width 6 --percent
expect_out "-1.235k" eng --width 7 --format -1234.6
expect_rc 0 --help
expect_rc 0 eng --help
expect_rc 2
expect_rc 2 nosuchcommand
expect_rc 2 eng
expect_rc 2 eng --bogus 1
expect_rc 2 eng --format 4k7
expect_rc 2 eng --format 4k7x --width 6
expect_rc 2 eng --format 1 --width wide
"$nvtool" --help | grep -q "nvtool eng --format" || { echo "FAIL: --help misses eng"; fails=$((fails + 1)); }

echo "$((16 - fails)) passed, $fails failed"
[ $fails -eq 0 ]
