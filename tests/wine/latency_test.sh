#!/usr/bin/env bash
# Measures the delay from the microphone to the virtual cable (filter off)
# and prints it. Not a pass/fail figure beyond a generous sanity bound: the
# harness's sound server adds its own buffering.
#
#   latency_test.sh PROBE.exe RENDER.exe [EMULATOR...]
#
# A click is played into the microphone sink; the feed sink's monitor and the
# cable's monitor are recorded at once and put on one clock (audio_checks.py
# latency explains how, and the error bound it prints).
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
zw_init "$@"

click=$ZW_DIR/click.wav
# The lead: paplay may lose the first milliseconds of a stream.
gen "$click" --click --seconds 0.3 --amplitude 0.8 --lead 0.2

probe_start
probe 20 start "$ZW_MIC48"
probe 5 params filter=off
sleep 1
for _ in 1 2 3; do
  check latency --mic-device "$ZW_MIC_SINK.monitor" --mic-source "$ZW_MIC_SOURCE" \
    --cable-device "$ZW_CABLE_MONITOR" --seconds 2 --max-ms 500 \
    -- timeout 10 paplay --device="$ZW_MIC_SINK" "$click"
done
zw_finish
