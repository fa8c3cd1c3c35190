#!/usr/bin/env bash
# zalo-devices against the test sound server (scripts/harness.sh, already
# started, env.sh sourced): the microphone list, the filter's verdicts, the
# mix formats, and the cable's playback device both present and absent.
#   devices_test.sh ZALO_DEVICES_EXE [EMULATOR]
# Takes the cable away for a few seconds (harness.sh cable-off) and always
# puts it back. Adds, for the length of the test, a source whose name holds
# a non-ASCII letter and an accented form of a loopback key.
set -uo pipefail

EXE=${1:?usage: devices_test.sh ZALO_DEVICES_EXE [EMULATOR]}
EMULATOR=${2:-}
REPO_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
HARNESS=$REPO_DIR/scripts/harness.sh
: "${PULSE_SERVER:?source build/harness/env.sh first}"
: "${WINEPREFIX:?source build/harness/env.sh first}"

WORK=$(mktemp -d)
failures=0
cable_taken=false
accent_module=
TAB=$'\t'

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cleanup() {
  if $cable_taken; then
    "$HARNESS" cable-on >/dev/null || echo "FAIL: could not restore the cable sink"
  fi
  [[ -n $accent_module ]] && pactl unload-module "$accent_module" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cable_sink_present() { pactl list short sinks | awk -v s="$ZALO_CABLE_SINK" '$2 == s { f = 1 } END { exit !f }'; }

# run_tool NAME [ARGS...]: output in $WORK/NAME.out, exit status in $rc.
run_tool() {
  local name=$1
  shift
  $EMULATOR "$EXE" "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" </dev/null
  rc=$?
}

# The fields after the id of the first line of KIND for NAME ("<empty id>"
# when the id is empty; nothing when there is no such line).
after_id() {  # after_id FILE KIND NAME
  awk -F'\t' -v k="$2" -v n="$3" '$1 == k && $2 == n {
    if ($3 == "") { print "<empty id>"; exit }
    for (i = 0; i < 3; i++) sub(/^[^\t]*\t/, "")
    print; exit }' "$1"
}

expect_endpoint() {  # expect_endpoint FILE KIND NAME FORMAT [REASON]
  local want="$4${5:+$TAB$5}" got
  got=$(after_id "$1" "$2" "$3")
  [[ $got == "$want" ]] || fail "$(basename "$1"): '$2' '$3': got '${got:-no line}', expected id, '$want'"
}

show() { echo "--- $1:"; cat "$WORK/$1.out"; [[ -s $WORK/$1.err ]] && { echo "--- $1 stderr:"; cat "$WORK/$1.err"; }; }

# Another test may have the cable away for a moment.
for ((i = 0; i < 200; i++)); do cable_sink_present && break; sleep 0.1; done
cable_sink_present || { echo "FAIL: the harness has no cable sink ($ZALO_CABLE_SINK)"; exit 1; }

accent_module=$(pactl load-module module-null-source source_name=zalo_devices_accent \
  rate=48000 channels=1 'description="Mixagem estéreo (Harness)"') \
  || { echo "FAIL: could not add the test source"; exit 1; }

# 1. Cable present.
run_tool present
show present
[[ $rc == 0 ]] || fail "exit status $rc with the cable present"
expect_endpoint "$WORK/present.out" listed "Microphone (Harness Mic)" "48000 Hz, 1 ch, 32-bit float"
expect_endpoint "$WORK/present.out" listed "Microphone 44k (Harness Mic)" "44100 Hz, 1 ch, 32-bit float"
expect_endpoint "$WORK/present.out" excluded "Monitor of CABLE Input (VB-Audio Virtual Cable)" \
  "48000 Hz, 2 ch, 32-bit float" virtual-cable
expect_endpoint "$WORK/present.out" excluded "Stereo Mix (Harness)" "48000 Hz, 2 ch, 32-bit float" loopback
# Non-ASCII survives as UTF-8, and the accented key is not a loopback key.
expect_endpoint "$WORK/present.out" listed "Mixagem estéreo (Harness)" "48000 Hz, 1 ch, 32-bit float"
# Nothing with a key in its name slips into the list; ids are unique.
if awk -F'\t' '$1 == "listed"' "$WORK/present.out" | grep -qiE 'cable output|vb-audio virtual cable|stereo mix|loopback'; then
  fail "a cable or loopback endpoint is listed"
fi
dups=$(awk -F'\t' '$1 == "listed" || $1 == "excluded" { print $3 }' "$WORK/present.out" | sort | uniq -d)
[[ -z $dups ]] || fail "duplicate endpoint ids: $dups"
cable_line=$(grep "^cable$TAB" "$WORK/present.out")
cable_index=$(cut -f2 <<<"$cable_line")
cable_name=$(cut -f3- <<<"$cable_line")
[[ $cable_name == "CABLE Input (VB-Audio Virtual C" ]] || fail "cable line '$cable_line'"
grep -qxF "waveout$TAB$cable_index$TAB$cable_name" "$WORK/present.out" \
  || fail "the cable's index $cable_index does not name its waveout line"

# 2. Cable absent ("driver not installed").
off_start=$SECONDS
cable_taken=true
"$HARNESS" cable-off >/dev/null || fail "harness.sh cable-off failed"
run_tool absent
"$HARNESS" cable-on >/dev/null && cable_taken=false || fail "harness.sh cable-on failed"
echo "cable sink was away for $((SECONDS - off_start)) s"
show absent
[[ $rc == 0 ]] || fail "exit status $rc with the cable absent"
grep -qx "cable${TAB}not found" "$WORK/absent.out" || fail "the absent cable is not reported as 'not found'"
grep -q "CABLE Input" "$WORK/absent.out" && fail "the cable's sink or monitor is still seen"
expect_endpoint "$WORK/absent.out" listed "Microphone (Harness Mic)" "48000 Hz, 1 ch, 32-bit float"

# 3. Cable back: found again.
run_tool restored
# (its waveOut index may change: the sink comes back last)
[[ $rc == 0 ]] && grep -qx "cable$TAB[0-9]*$TAB$cable_name" "$WORK/restored.out" \
  || { show restored; fail "the cable is not found again after cable-on"; }

# 4. Options.
run_tool help --help
[[ $rc == 0 ]] && grep -q "not found" "$WORK/help.out" || fail "--help: status $rc or no format description"
run_tool bad --verbose
[[ $rc == 2 && ! -s $WORK/bad.out ]] || fail "bad option: status $rc (expected 2, nothing on stdout)"
grep -q -- "--verbose" "$WORK/bad.err" || fail "bad option not named on stderr"

((failures == 0)) && echo "PASS" || echo "$failures failure(s)"
exit $((failures != 0))
