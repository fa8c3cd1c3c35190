#!/usr/bin/env bash
# Demo of the product: builds ZaloAudio.exe and runs it under Wine against a
# private sound server with a virtual cable sink (a harness of its own, in
# build/demo/harness). It speaks a Portuguese sentence into the harness
# microphone, records what reaches the cable, saves a screenshot of the
# window and prints where both are. With a terminal attached the program
# keeps running until Enter or Ctrl-C; without one it stops by itself.
# Then, shorter: the same sentence rendered offline by zalo-render.
# Results go to build/demo/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
INTERACTIVE=0
[[ -t 0 && -t 1 ]] && INTERACTIVE=1
USER_DISPLAY=${DISPLAY:-}
exec </dev/null

scripts/setup.sh

DEMO=$PWD/build/demo
mkdir -p "$DEMO"
TEXT="Olá, este é um teste do filtro de voz."
VOICE=pt-br
espeak-ng --voices=pt | awk '{print $2}' | grep -qx pt-br || VOICE=pt

echo "== making the input (espeak-ng -v $VOICE, plus pink noise)"
espeak-ng -v "$VOICE" -s 150 -w "$DEMO/speech.wav" "$TEXT"
# 48 kHz mono 16-bit with half a second of room noise before and after the
# speech, so that the noise filter has noise alone to learn from.
sox "$DEMO/speech.wav" -r 48000 -c 1 -b 16 "$DEMO/speech-48k.wav" pad 0.5 0.5
duration=$(soxi -D "$DEMO/speech-48k.wav")
sox -n -r 48000 -c 1 -b 16 "$DEMO/noise.wav" synth "$duration" pinknoise vol 0.03
sox -m -v 1 "$DEMO/speech-48k.wav" -v 1 "$DEMO/noise.wav" -b 16 "$DEMO/input.wav"
rm -f "$DEMO/speech.wav" "$DEMO/speech-48k.wav" "$DEMO/noise.wav"

echo "== building ZaloAudio.exe (build/win)"
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
ninja -C build/win -j2 ZaloAudio zalo-devices

# A harness of its own, so that the demo never disturbs a test run.
export ZALO_HARNESS_DIR=$DEMO/harness
scripts/harness.sh start
program=
cleanup() {
  [[ -n $program ]] && kill "$program" 2>/dev/null
  scripts/harness.sh record-stop "$DEMO/cable.raw" >/dev/null 2>&1 || true
  scripts/harness.sh stop >/dev/null 2>&1 || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# shellcheck disable=SC1091
source "$ZALO_HARNESS_DIR/env.sh"
# The user's own display when there is one; the harness's Xvfb otherwise,
# where a Wine virtual desktop draws the window's frame.
launch=(wine build/win/ui/ZaloAudio.exe)
if [[ -n $USER_DISPLAY ]] && xdpyinfo -display "$USER_DISPLAY" >/dev/null 2>&1; then
  export DISPLAY=$USER_DISPLAY
else
  launch=(wine explorer /desktop=ZaloAudio,1000x760 build/win/ui/ZaloAudio.exe)
fi

# Pick the harness microphone, as a user would in the device list.
mic_id=$(wine build/win/tools/zalo-devices.exe | awk -F'\t' '$1 == "listed" && $2 == "Microphone (Harness Mic)" { print $3 }')
[[ -n $mic_id ]] || { echo "run.sh: the harness microphone is not listed" >&2; exit 1; }
wine reg add 'HKCU\Software\Tecmora\ZaloAudio' /v DeviceId /t REG_SZ /d "$mic_id" /f >/dev/null

echo "== starting ZaloAudio.exe"
"${launch[@]}" >"$DEMO/zaloaudio.log" 2>&1 &
program=$!
window=
for _ in $(seq 100); do
  window=$(xdotool search --name 'ZALO AUDIO V10 STUDIO' 2>/dev/null | head -n1) && [[ -n $window ]] && break
  sleep 0.1
done
[[ -n $window ]] || { echo "run.sh: the main window did not appear" >&2; exit 1; }
sleep 1.5  # the engine starts and the status line settles

echo "== speaking into the harness microphone; recording the cable"
scripts/harness.sh record-start "$DEMO/cable.raw" >/dev/null
paplay --device="$ZALO_MIC_FEED_SINK" "$DEMO/input.wav" &
player=$!
sleep 1.5
import -window "$window" "$DEMO/janela-principal.png"
wait "$player"
sleep 0.5
scripts/harness.sh record-stop "$DEMO/cable.raw" >/dev/null
sox -t raw -r 48000 -e signed -b 16 -c 2 "$DEMO/cable.raw" "$DEMO/cable.wav"
rm -f "$DEMO/cable.raw"

echo
echo "Input     : $DEMO/input.wav   (spoken into the microphone)"
echo "Cable     : $DEMO/cable.wav   (what a call hears from the virtual cable)"
echo "Screenshot: $DEMO/janela-principal.png"
if ((INTERACTIVE)); then
  echo "ZaloAudio.exe is running (display $DISPLAY). Press Enter or Ctrl-C to stop it."
  read -r _ </dev/tty || true
fi
kill "$program" 2>/dev/null || true
program=
scripts/harness.sh stop >/dev/null 2>&1 || true

echo
echo "== offline: the same input through voice preset 7 with zalo-render (build/native)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ >/dev/null
ninja -C build/native -j2 zalo-render
build/native/tools/zalo-render --voice 7 "$DEMO/input.wav" "$DEMO/output.wav"
echo "Rendered  : $DEMO/output.wav  ($(soxi -D "$DEMO/output.wav" 2>/dev/null) s)"
