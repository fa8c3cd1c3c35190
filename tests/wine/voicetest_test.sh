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
# of the capture. Last, a finished test plays on the default device and a
# new test started meanwhile stops that sound before it drops the images.
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

# Playback of a finished test on the default device, and a new test started
# while it plays: the images it reads from are dropped, so the sound must
# stop first (and the program must live on).
tone=$ZW_DIR/tone.wav
gen "$tone" --seconds 7 --tones 1000 --amplitude 0.5 --lead 0.2
probe 5 params filter=off
play_bg tone "$tone" "$ZW_MIC_SINK"
sleep 0.7
probe 5 record
mkdir -p "$ZW_DIR/playback"
probe 10 record-save "$ZW_DIR/playback" 8000
play_stop tone
rec_start playing "$ZW_SPEAKERS_MONITOR"
probe 5 play original
sleep 1.5
rec_stop playing
probe 5 record
sleep 0.3
rec_start after "$ZW_SPEAKERS_MONITOR"
sleep 1
rec_stop after
check tone "$(rec_file playing)" --freq 1000 --min-rms 0.3 --min-seconds 1
check tone "$(rec_file after)" --silent --max-peak 0.001
probe 5 status
zw_finish
