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
    if [ "$want" -ne 0 ] && [ "$(printf '%s\n' "$err" | wc -l)" -ne 1 ]; then
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

tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
ini=$tmp/a.ini
printf '; top\n[Main]\nname = value\n; note\nother="q"\nNAME=later\n[Second]\nx=1\n' >"$ini"
expect_out "[Main]
name=later
other=q

[Second]
x=1" ini "$ini"
expect_out "later" ini get "$ini" main NAME
expect_rc 1 ini get "$ini" Main missing
expect_rc 1 ini get "$ini" Nope name
expect_rc 1 ini get "$tmp/none.ini" Main name
expect_rc 1 ini "$tmp/none.ini"
expect_out "" ini set "$ini" Main other "two words"
expect_out "two words" ini get "$ini" Main other
expect_out "" ini set "$ini" New k v
expect_out "" ini delete "$ini" Main name
expect_rc 1 ini delete "$ini" Main name
expect_out "" ini delete "$ini" Second
expect_rc 1 ini delete "$ini" Second
[ "$(cat "$ini")" = "[New]
k=v

[Main]
; note
other=two words" ] || { echo "FAIL: ini changes wrote [$(cat "$ini")]"; fails=$((fails + 1)); }
expect_out "" ini set "$tmp/b.ini" S k v
expect_out "[S]
k=v" ini "$tmp/b.ini"
mkdir "$tmp/ro" && printf '[S]\nk=v\n' >"$tmp/ro/c.ini" && chmod 0444 "$tmp/ro/c.ini"
if [ "$(id -u)" -ne 0 ]; then expect_rc 1 ini set "$tmp/ro/c.ini" S k w; else expect_rc 0 ini set "$tmp/ro/c.ini" S k w; fi
expect_rc 0 ini --help
expect_rc 2 ini
expect_rc 2 ini get "$ini" Main
expect_rc 2 ini set "$ini" Main k
expect_rc 2 ini delete "$ini"
expect_rc 2 ini get "$ini" Main k extra
expect_rc 2 ini set "$ini" Main "k=x" v
expect_rc 2 ini set "$ini" "[x]" k v
expect_rc 2 ini "$ini" extra
"$nvtool" --help | grep -q "nvtool ini get FILE" || { echo "FAIL: --help misses ini"; fails=$((fails + 1)); }

# netlist
net=$tmp/n.cir
printf '* title comment\nR1 a b 1k ; load\n\n* note\n+ tc=2\n$ dollar\nC1 a 0 {2*{c}} $ hs\n' >"$net"
expect_out "2${tab}R1 a b 1k   tc=2
6${tab}\$ dollar
7${tab}C1 a 0 {2*(c)} \$ hs" netlist "$net"
expect_out "2${tab}R1 a b 1k ; load  tc=2
7${tab}C1 a 0 {2*(c)} " netlist --dialect hspice "$net"
printf '*#HSPICE\nR1 a b ; x $ y\n' >"$tmp/h.cir"
expect_out "2${tab}R1 a b ; x " netlist "$tmp/h.cir"
expect_out "2${tab}R1 a b 1k   tc=2
    R1 a b 1k ; load
    * note
    + tc=2
6${tab}\$ dollar
    \$ dollar
7${tab}C1 a 0 {2*(c)} \$ hs
    C1 a 0 {2*{c}} \$ hs" netlist --literal "$net"
"$nvtool" netlist --stats "$net" | grep -qx "statements 3" || { echo "FAIL: netlist --stats"; fails=$((fails + 1)); }
expect_rc 0 netlist --reader 2 "$net"
[ -n "$("$nvtool" netlist --reader 2 "$net")" ] || { echo "FAIL: netlist --reader 2 printed nothing"; fails=$((fails + 1)); }
amp=$(dirname "$0")/../../examples/amplifier.cir
"$nvtool" netlist "$amp" | grep -qxF "53${tab}RF out fb {rload*(gain-1)/10}" || { echo "FAIL: netlist of the example"; fails=$((fails + 1)); }
expect_rc 1 netlist "$tmp/none.cir"
expect_rc 1 netlist "$tmp"
expect_rc 0 netlist --help
expect_rc 2 netlist
expect_rc 2 netlist "$net" "$net"
expect_rc 2 netlist --dialect spectre "$net"
expect_rc 2 netlist --reader 3 "$net"
expect_rc 2 netlist --reader 2 --dialect hspice "$net"
expect_rc 2 netlist --bogus "$net"
"$nvtool" --help | grep -q "nvtool netlist \[--dialect" || { echo "FAIL: --help misses netlist"; fails=$((fails + 1)); }

echo "$((45 + 18 - fails)) passed, $fails failed"
[ $fails -eq 0 ]
