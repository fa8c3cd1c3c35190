#!/usr/bin/env bash
# Switching microphones 200 times in a row.
#
#   stress_test.sh PROBE.exe RENDER.exe [EMULATOR...]
#
# The probe's stress command starts the 48 kHz microphone, then the 44.1 kHz
# one, then stops, 200 times with short random pauses. It must end (no
# deadlock in start or stop), never show two capture threads at once, leave
# none behind, and the engine must work afterwards.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
zw_init "$@"

tone=$ZW_DIR/tone.wav
gen "$tone" --seconds 3 --tones 1000 --amplitude 0.5 --lead 0.2

probe_start
# Quotes keep the blanks inside each name for the probe.
probe 150 stress 200 "\"$ZW_MIC48\"" "\"$ZW_MIC44\""
rounds=$(reply_field rounds)
max_threads=$(reply_field max_capture_threads)
after=$(reply_field capture_threads_after)
echo "stress: $rounds rounds in $(reply_field elapsed_ms) ms, at most $max_threads capture" \
  "thread(s), $after after"
[[ $rounds == 200 ]] || fail "stress ran $rounds rounds, want 200"
if ! [[ $max_threads =~ ^[0-9]+$ ]] || ((max_threads > 1)); then
  fail "$max_threads capture threads at once, want at most 1"
fi
[[ $after == 0 ]] || fail "$after capture threads left after the final stop"

# Still alive and useful: capture, process, and feed the cable.
probe 20 start "$ZW_MIC48"
probe 5 params filter=off
sleep 0.5
probe 5 status
[[ $(reply_field capture_threads) == 1 ]] || fail "want one capture thread after start: $REPLY_LINE"
rec_start cable "$ZW_CABLE_MONITOR"
play "$tone" "$ZW_MIC_SINK"
sleep 0.3
rec_stop cable
check tone "$(rec_file cable)" --freq 1000 --min-rms 0.3 --max-rms 0.4 --min-seconds 2.5
zw_finish
