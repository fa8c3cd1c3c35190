#!/usr/bin/env bash
# Sixty seconds of capture without a dropout.
#
#   dropouts_test.sh PROBE.exe RENDER.exe [EMULATOR...]
#
# Two steady sines (1037 Hz and 1511 Hz, neither a whole number of cycles per
# 10 ms, so that a lost or repeated packet cannot hide in a whole number of
# periods) play into the microphone for 62 s with the filter off. The cable
# recording is cut into 10 ms windows and each is fitted with the two sines:
# a window whose level falls, whose phase steps against its neighbours, or
# that holds something other than the sines counts towards a dropout. Prints
# the number of dropouts; a minute with any is measured again (see below). A
# time slip of a sample or two with the level kept (the sound server
# resynchronising a stream) is counted apart: the program itself only ever
# drops or pads whole blocks.
#
# The microphone source itself is recorded alongside and checked the same
# way, so that a glitch of the test's own playback is told apart from one of
# the program.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
zw_init "$@"

tones=$ZW_DIR/tones.wav
gen "$tones" --seconds 62 --tones 1037,1511 --amplitude 0.25 --lead 0.3

mark=$(registry_mark)
probe_start
probe 20 start "$ZW_MIC48"
probe 5 params filter=off
wait_registry_saved "$mark"
sleep 1
# Wine's own path to the sound server is not gapless on a virtual machine:
# a bare waveOut tone player shows a dropout in about one minute of two to
# four, at random moments, with no program of ours involved. So a minute
# with a dropout is measured again, up to three minutes; a fault of the
# program (padding with silence at every timing jitter, blocks lost or cut)
# repeats and fails all three. Every minute's count is printed.
clean=0
for attempt in 1 2 3; do
  rec_start cable "$ZW_CABLE_MONITOR"
  rec_start mic "$ZW_MIC_SOURCE" 1
  play "$tones" "$ZW_MIC_SINK"
  sleep 0.5
  rec_stop cable
  rec_stop mic
  echo "minute $attempt, microphone source (the test's input):"
  check dropouts "$(rec_file mic)" --channels 1 --tones 1037,1511 --amplitude 0.25 --min-seconds 60
  echo "minute $attempt, cable (the program's output):"
  if "$ZW_PY" "$ZW_CHECKS" dropouts "$(rec_file cable)" --tones 1037,1511 --amplitude 0.25 \
      --min-seconds 60; then
    clean=1
    break
  fi
done
((clean)) || fail "the cable signal had dropouts in each of three minutes"

probe 5 status
[[ $(reply_field running) == 1 ]] || fail "the engine stopped during the minute: $REPLY_LINE"
zw_finish
