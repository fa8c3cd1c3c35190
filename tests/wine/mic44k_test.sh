#!/usr/bin/env bash
# A 44.1 kHz microphone: the engine converts to 48 kHz, so a 1 kHz tone
# captured from it plays at 1 kHz on the cable (not 1088 Hz), with its level,
# and the voice test still records exactly 240000 samples at 48 kHz.
#
#   mic44k_test.sh PROBE.exe RENDER.exe [EMULATOR...]
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
zw_init "$@"

tone=$ZW_DIR/tone44k.wav
gen "$tone" --rate 44100 --seconds 14 --tones 1000 --amplitude 0.5 --lead 0.2

probe_start
probe 20 start "$ZW_MIC44"
[[ $REPLY_LINE == *44k* ]] || fail "start picked the wrong device: $REPLY_LINE"
probe 5 params filter=off
sleep 1
rec_start cable "$ZW_CABLE_MONITOR"
play_bg tone "$tone" "$ZW_MIC44_SINK"
sleep 3
rec_stop cable
# 0.5 amplitude: RMS 0.354. The linear interpolation of the conversion
# costs a little at 1 kHz, nowhere near 5 %.
check tone "$(rec_file cable)" --freq 1000 --freq-tolerance 0.01 --min-rms 0.336 \
  --max-rms 0.372 --min-seconds 2 --min-purity 0.99

# The rest of the tone goes to a voice test.
probe 5 record
probe 10 record-save "$ZW_DIR" 8000
[[ $(reply_field samples) == 240000 ]] || fail "voice test at 44.1 kHz: $REPLY_LINE"
check wavimages "$ZW_DIR/original.wav" "$ZW_DIR/filtered.wav" --identical
check tone "$ZW_DIR/original.wav" --freq 1000 --min-rms 0.336 --max-rms 0.372 --min-seconds 4 --min-purity 0.99
play_stop tone
zw_finish
