#!/usr/bin/env bash
# Demo: speaks a Portuguese sentence with espeak-ng, adds a little noise, and
# renders it through voice preset 7 with the native offline renderer.
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
