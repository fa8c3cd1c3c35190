#!/usr/bin/env bash
# Demo: speaks a Portuguese sentence with espeak-ng, adds a little noise, and
# renders it through voice preset 7 with the native offline renderer. Then
# the live part: the Windows engine runs under Wine against the test sound
# server, hears the same sentence on its microphone, and plays it through
# voice preset 7 into the virtual cable sink, which is recorded.
# Results go to build/demo/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
exec </dev/null

scripts/setup.sh

echo "== building zalo-render (build/native)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ >/dev/null
ninja -C build/native -j2 zalo-render

DEMO=build/demo
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

echo "== rendering through voice preset 7"
build/native/tools/zalo-render --voice 7 "$DEMO/input.wav" "$DEMO/output.wav"

echo
echo "Input : $PWD/$DEMO/input.wav   ($(soxi -D "$DEMO/input.wav" 2>/dev/null) s)"
echo "Result: $PWD/$DEMO/output.wav  ($(soxi -D "$DEMO/output.wav" 2>/dev/null) s)"

echo
echo "== live: building the Windows engine (build/win) and starting the harness"
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
ninja -C build/win -j2 zalo_engine_probe zalo-devices
# A harness of its own, so that the demo never disturbs a test run.
export ZALO_HARNESS_DIR=$PWD/build/demo/harness
scripts/harness.sh start
recorder=
cleanup() {
  [[ -n $recorder ]] && kill "$recorder" 2>/dev/null
  scripts/harness.sh stop >/dev/null 2>&1 || true
}
trap cleanup EXIT
# shellcheck disable=SC1091
source "$ZALO_HARNESS_DIR/env.sh"

echo "== what the engine sees (zalo-devices)"
wine build/win/tools/zalo-devices.exe

echo "== live: microphone -> engine (voice preset 7) -> CABLE Input"
parec --device="$ZALO_CABLE_SINK.monitor" --raw --format=s16le --rate=48000 --channels=2 \
  "$DEMO/cable.raw" </dev/null >/dev/null 2>&1 &
recorder=$!
{
  echo "start Microphone (Harness Mic)"
  echo "params voice=7"
  sleep 1
  paplay --device="$ZALO_MIC_FEED_SINK" "$DEMO/input.wav" </dev/null
  sleep 0.5
  echo status
  echo quit
} | wine build/win/tests/zalo_engine_probe.exe
kill "$recorder" 2>/dev/null || true
wait "$recorder" 2>/dev/null || true
recorder=
sox -t raw -r 48000 -e signed -b 16 -c 2 "$DEMO/cable.raw" "$DEMO/cable.wav"
rm -f "$DEMO/cable.raw"
echo "Cable : $PWD/$DEMO/cable.wav   (what a call would have heard from the virtual cable)"
