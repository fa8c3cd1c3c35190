#!/usr/bin/env bash
# Builds the benchmark's one input: exactly 60 s of synthetic speech plus pink
# noise, 48000 Hz mono, 32-bit IEEE float WAV.
#
#   make_signal.sh OUTPUT.wav
#
# Speech: espeak-ng reads a few Brazilian Portuguese and English sentences;
# each is resampled to 48 kHz mono, followed by 0.4 s of pause, the lot is
# peak-normalised to -3 dBFS and repeated until it covers a minute. Noise:
# pink noise scaled to -30 dBFS RMS, mixed in at unit gain so the speech
# level is untouched. sox -R makes the noise the same on every run, so two
# builds measure the same samples.
set -euo pipefail

out=${1:?usage: make_signal.sh OUTPUT.wav}
readonly rate=48000
readonly total=$((60 * rate))   # samples
readonly noise_rms_db=-30

for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "make_signal: $tool not found" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

sentences=(
  "pt-br|Olá pessoal, sejam bem-vindos de volta ao canal. Hoje a gente vai testar o microfone novo."
  "en-us|Good evening everyone, thanks for joining the stream. Let me check that the audio sounds clean."
  "pt-br|O ventilador está ligado atrás de mim, então me avisem se o ruído incomodar."
  "en-gb|The quick brown fox jumps over the lazy dog, and the sixth sheikh's sixth sheep is sick."
  "pt-br|Vamos começar a partida agora. Três, dois, um, valendo!"
  "en-us|Seriously, did you see that? She sells sea shells by the sea shore, six times in a row."
)

parts=()
i=0
for entry in "${sentences[@]}"; do
  voice=${entry%%|*}
  text=${entry#*|}
  raw="$tmp/raw$i.wav"
  part="$tmp/part$i.wav"
  espeak-ng -v "$voice" -s 165 -w "$raw" "$text"
  sox -D "$raw" -r "$rate" -c 1 -b 32 -e floating-point "$part" pad 0 0.4
  parts+=("$part")
  i=$((i + 1))
done

sox -D "${parts[@]}" "$tmp/speech_once.wav" gain -n -3
once=$(soxi -s "$tmp/speech_once.wav")
(( once > 0 )) || { echo "make_signal: espeak-ng produced no audio" >&2; exit 1; }
repeats=$(( (total + once - 1) / once ))   # copies needed, the first included
sox -D "$tmp/speech_once.wav" "$tmp/speech.wav" repeat $((repeats - 1)) trim 0 "${total}s"

sox -D -R -n -r "$rate" -c 1 -b 32 -e floating-point "$tmp/pink_raw.wav" synth "${total}s" pinknoise
rms_db=$(sox "$tmp/pink_raw.wav" -n stats 2>&1 | awk '/^RMS lev dB/ { print $4 }')
[[ -n $rms_db ]] || { echo "make_signal: could not measure the noise level" >&2; exit 1; }
noise_gain=$(awk -v want="$noise_rms_db" -v have="$rms_db" 'BEGIN { printf "%.3f", want - have }')
sox -D "$tmp/pink_raw.wav" "$tmp/pink.wav" gain "$noise_gain"

sox -D -m -v 1 "$tmp/speech.wav" -v 1 "$tmp/pink.wav" -r "$rate" -c 1 -b 32 -e floating-point \
    "$tmp/mix.wav" trim 0 "${total}s"

got=$(soxi -s "$tmp/mix.wav")
(( got == total )) || { echo "make_signal: expected $total samples, got $got" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
mv "$tmp/mix.wav" "$out"
echo "make_signal: wrote $out ($total samples at $rate Hz, noise $noise_rms_db dBFS RMS)"
