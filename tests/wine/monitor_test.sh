#!/usr/bin/env bash
# The live monitor: at volume 0.5 the default output (the harness's speakers
# sink) gets the same tone as the cable at half its amplitude; once stopped,
# the speakers stay silent while the cable still plays.
#
#   monitor_test.sh PROBE.exe RENDER.exe [EMULATOR...]
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
zw_init "$@"

tone=$ZW_DIR/tone.wav
gen "$tone" --seconds 2 --tones 1000 --amplitude 0.5 --lead 0.2

probe_start
probe 20 start "$ZW_MIC48"
probe 5 params filter=off
probe 5 monitor 0.5
sleep 1
probe 5 status
[[ $(reply_field monitor) == 1 ]] || fail "monitor=1 expected: $REPLY_LINE"
rec_start cable "$ZW_CABLE_MONITOR"
rec_start speakers "$ZW_SPEAKERS_MONITOR"
play "$tone" "$ZW_MIC_SINK"
sleep 0.3
rec_stop cable
rec_stop speakers
check ratio "$(rec_file speakers)" "$(rec_file cable)" --freq 1000 --ratio 0.5 --tolerance 0.02

probe 5 monitor off
probe 5 status
[[ $(reply_field monitor) == 0 ]] || fail "monitor=0 expected after 'monitor off': $REPLY_LINE"
sleep 0.3
rec_start cable2 "$ZW_CABLE_MONITOR"
rec_start speakers2 "$ZW_SPEAKERS_MONITOR"
play "$tone" "$ZW_MIC_SINK"
sleep 0.3
rec_stop cable2
rec_stop speakers2
check tone "$(rec_file cable2)" --freq 1000 --min-rms 0.3 --min-seconds 1.5
check tone "$(rec_file speakers2)" --silent --max-peak 0.001
zw_finish
