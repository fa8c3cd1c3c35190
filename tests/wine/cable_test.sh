#!/usr/bin/env bash
# The virtual cable coming and going.
#
#   cable_test.sh PROBE.exe RENDER.exe [EMULATOR...]
#
# 1. No cable sink when the engine starts: connected=0, yet the microphone is
#    captured (the input meter follows a tone played into it).
# 2. The cable sink is loaded again. Wine's waveOut device list is fixed when
#    a process starts (checked: waveOutGetNumDevs does not change), so a
#    running process cannot see a cable that appears later; that is only
#    printed. A new engine process must find it: connected=1 within 2 s and
#    the tone reaches the cable.
# 3. The cable sink goes away while the engine plays into it: connected drops
#    to 0 and the voice does not spill onto the speakers; it comes back:
#    connected=1 again and the tone reaches the new cable sink.
# The cable sink is always loaded again on exit.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
zw_init "$@"

tone=$ZW_DIR/tone.wav
gen "$tone" --seconds 40 --tones 1000 --amplitude 0.5 --lead 0.2

# connected_within SECONDS VALUE: polls the status every 100 ms.
connected_within() {
  local limit=$1 want=$2 i
  for ((i = 0; i < limit * 10; i++)); do
    if probe_try 5 status >/dev/null && [[ $(reply_field connected) == "$want" ]]; then
      echo "connected=$want after $(((i + 1) * 100)) ms at most"
      return 0
    fi
    sleep 0.1
  done
  echo "last status: $REPLY_LINE"
  return 1
}

# tone_on_cable NAME: records the cable for 1.5 s and checks for the tone.
tone_on_cable() {
  rec_start "$1" "$ZW_CABLE_MONITOR"
  sleep 1.5
  rec_stop "$1"
  check tone "$(rec_file "$1")" --freq 1000 --min-rms 0.3 --min-seconds 1
}

start_engine() {
  probe_start
  probe 20 start "$ZW_MIC48"
  probe 5 params filter=off
}

echo "== 1. no cable sink at start"
cable_off
play_bg tone "$tone" "$ZW_MIC_SINK"
start_engine
wait_until 3 status_above in_peak 0.3 \
  || fail "without a cable the microphone is not captured: $REPLY_LINE"
[[ $(reply_field running) == 1 ]] || fail "the engine is not running without a cable: $REPLY_LINE"
# Long enough for the output thread to have searched more than once.
sleep 1
connected_within 1 0 || fail "connected=1 without a cable sink"

echo "== 2. the cable sink appears"
cable_on
sleep 2
probe 5 status
echo "NOTE: connected=$(reply_field connected) in the process that started without the" \
  "cable (Wine does not add waveOut devices to a running process)"
probe_quit
start_engine
connected_within 2 1 || fail "the cable sink was not connected within 2 s of the start"
tone_on_cable first

echo "== 3. the cable sink goes away and comes back"
rec_start speakers "$ZW_SPEAKERS_MONITOR"
cable_off
connected_within 3 0 || fail "connected stayed 1 after the cable sink was removed"
sleep 1
rec_stop speakers
check tone "$(rec_file speakers)" --silent --max-peak 0.001
cable_on
connected_within 3 1 || fail "the cable sink was not connected again within 3 s"
tone_on_cable again

probe 5 status
[[ $(reply_field running) == 1 ]] || fail "capture ended on the way: $REPLY_LINE"
play_stop tone
zw_finish
