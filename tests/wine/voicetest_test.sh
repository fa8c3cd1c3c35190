#!/usr/bin/env bash
# The five-second voice test.
#
#   voicetest_test.sh PROBE.exe RENDER.exe [EMULATOR...]
#
# Filter off: both recordings hold 240000 samples, their WAVE images are
# 480044 bytes with the right header and identical, and the original holds
# the tones played into the microphone, at their level and without a gap
# (so the gap-free capture is checked apart from the cable output). Then with
# a voice on, the filtered image must differ from the original (so that
# "identical" above means something). The microphone source is recorded
# alongside, so that a gap in the test's own playback is told apart from one
# of the capture.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
zw_init "$@"

tones=$ZW_DIR/tones.wav
gen "$tones" --seconds 15 --tones 1037,1511 --amplitude 0.25 --lead 0.2

probe_start
probe 20 start "$ZW_MIC48"
probe 5 params filter=off
rec_start mic "$ZW_MIC_SOURCE" 1
play_bg tones "$tones" "$ZW_MIC_SINK"
sleep 0.7
mkdir -p "$ZW_DIR/off" "$ZW_DIR/voice"
probe 5 record
probe 5 status
pos=$(reply_field rec_pos)
if ! [[ $pos =~ ^[0-9]+$ ]] || ((pos >= 240000)); then
  fail "a voice test should be under way: $REPLY_LINE"
fi
probe 10 record-save "$ZW_DIR/off" 8000
[[ $REPLY_LINE == *"samples=240000 original_bytes=480044 filtered_bytes=480044 identical=1"* ]] \
  || fail "filter off: want 240000 samples, two 480044-byte images, identical: $REPLY_LINE"
check wavimages "$ZW_DIR/off/original.wav" "$ZW_DIR/off/filtered.wav" --identical
check dropouts "$ZW_DIR/off/original.wav" --tones 1037,1511 --amplitude 0.25 --min-seconds 4.9

probe 5 params voice=7
probe 5 record
probe 10 record-save "$ZW_DIR/voice" 8000
[[ $REPLY_LINE == *"samples=240000"*"identical=0"* ]] \
  || fail "voice 7: want 240000 samples and images that differ: $REPLY_LINE"
check wavimages "$ZW_DIR/voice/original.wav" "$ZW_DIR/voice/filtered.wav"
check dropouts "$ZW_DIR/voice/original.wav" --tones 1037,1511 --amplitude 0.25 --min-seconds 4.9
play_stop tones
rec_stop mic
echo "microphone source (the test's input):"
check dropouts "$(rec_file mic)" --channels 1 --tones 1037,1511 --amplitude 0.25 --min-seconds 10
zw_finish
