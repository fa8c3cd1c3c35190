#!/usr/bin/env bash
# Builds the quality benchmark's inputs: four files of exactly 60 s, 48000 Hz
# mono, 32-bit IEEE float WAV, in OUTDIR:
#
#   make_quality_signals.sh OUTDIR
#
#   speech.wav  clean speech: Brazilian Portuguese and English sentences read
#               by two espeak-ng voices, each followed by a pause of 0.3 to
#               1.6 s (exact zeros), after 1 s of leading silence
#   pink.wav    pink noise
#   white.wav   white noise
#   babble.wav  six other espeak-ng voices (different languages, variants,
#               speeds and pitches) reading the same sentences in different
#               orders with short gaps, each at the same RMS, summed
#
# Levels here are arbitrary: zalo_quality sets the speech level and scales
# each noise to the wanted SNR itself. sox -R makes the noises the same on
# every run.
set -euo pipefail

out=${1:?usage: make_quality_signals.sh OUTDIR}
readonly rate=48000
readonly total=$((60 * rate))   # samples
readonly fmt=(-r "$rate" -c 1 -b 32 -e floating-point)

for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null || { echo "make_quality_signals: $tool not found" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

sentences=(
  "pt-br|Bom dia a todos, hoje vamos falar sobre o microfone novo que chegou ontem pelo correio."
  "en-us|Before we start, could everyone check that my voice is coming through clearly?"
  "pt-br|A reunião de amanhã foi adiada para as três da tarde, por causa da chuva."
  "en-us|I moved the desk closer to the window, so you might hear some traffic outside."
  "pt-br|Se o som ficar cortado, me avisem no chat que eu ajusto a configuração."
  "en-us|The second level is much harder than the first one, so let's take it slowly."
  "pt-br|Ontem à noite a internet caiu duas vezes, mas agora parece estável."
  "en-us|Remember to save your progress before the boss fight, it really matters."
  "pt-br|Minha avó fazia um bolo de fubá que ninguém na família conseguiu copiar."
  "en-us|Thank you all for watching, and see you again next week at the same time."
)
# Seconds of silence after each sentence, in order: pauses of every length a
# speaker leaves, from a breath to a long gap.
pauses=(0.6 1.2 0.3 0.9 1.6 0.4 1.0 0.5 1.4 0.8)
(( ${#pauses[@]} == ${#sentences[@]} )) || { echo "make_quality_signals: one pause per sentence" >&2; exit 1; }
# voice variant|words per minute|pitch (0..99)
speakers=("pt-br|160|45" "en-us+f2|170|55")
babblers=("en-gb+m3|150|35" "pt-br+f3|175|65" "en-us+f4|190|60"
          "pt+m1|140|40" "es+f1|165|75" "en-us+m7|180|30")

# speak VOICE|RATE|PITCH TEXT OUT PAD: one sentence at 48 kHz with PAD s after it.
speak() {
  local voice wpm pitch
  IFS='|' read -r voice wpm pitch <<<"$1"
  espeak-ng -v "$voice" -s "$wpm" -p "$pitch" -w "$tmp/raw.wav" "$2"
  # espeak-ng peaks near full scale; the 6 dB keep resampling from clipping.
  sox -D "$tmp/raw.wav" -c 1 -b 32 -e floating-point "$3" gain -6 rate "$rate" pad 0 "$4"
}

# loop_to_total IN OUT: repeats IN as often as needed and cuts it to 60 s.
loop_to_total() {
  local once
  once=$(soxi -s "$1")
  (( once > 0 )) || { echo "make_quality_signals: espeak-ng produced no audio" >&2; exit 1; }
  sox -D "$1" "$2" repeat $(( (total + once - 1) / once - 1 )) trim 0 "${total}s"
}

# to_rms IN OUT DB: scales IN to DB dBFS RMS.
to_rms() {
  local have
  have=$(sox "$1" -n stats 2>&1 | awk '/^RMS lev dB/ { print $4 }')
  [[ -n $have ]] || { echo "make_quality_signals: cannot measure $1" >&2; exit 1; }
  sox -D "$1" "$2" gain "$(awk -v w="$3" -v h="$have" 'BEGIN { printf "%.3f", w - h }')"
}

# The clean speech, alternating the two speakers.
sox -n "${fmt[@]}" "$tmp/s_lead.wav" trim 0 1.0
parts=("$tmp/s_lead.wav")
for i in "${!sentences[@]}"; do
  entry=${sentences[$i]}
  speak "${speakers[$((i % 2))]}" "${entry#*|}" "$tmp/s$i.wav" "${pauses[$i]}"
  parts+=("$tmp/s$i.wav")
done
sox -D "${parts[@]}" "$tmp/speech_once.wav" gain -n -3
echo "make_quality_signals: the sentences take $(soxi -D "$tmp/speech_once.wav") s once"
loop_to_total "$tmp/speech_once.wav" "$tmp/speech.wav"

# The babble: voice j starts at sentence j, so no two talkers say the same
# thing at once; every talker ends up at -30 dBFS RMS before the sum.
mixed=()
for j in "${!babblers[@]}"; do
  parts=()
  for k in "${!sentences[@]}"; do
    idx=$(( (j + k) % ${#sentences[@]} ))
    entry=${sentences[$idx]}
    speak "${babblers[$j]}" "${entry#*|}" "$tmp/b${j}_$k.wav" 0.15
    parts+=("$tmp/b${j}_$k.wav")
  done
  sox -D "${parts[@]}" "$tmp/b${j}_once.wav"
  loop_to_total "$tmp/b${j}_once.wav" "$tmp/b${j}_loop.wav"
  to_rms "$tmp/b${j}_loop.wav" "$tmp/b${j}.wav" -30
  mixed+=(-v 1 "$tmp/b${j}.wav")
done
sox -D -m "${mixed[@]}" "${fmt[@]}" "$tmp/babble.wav"

sox -D -R -n "${fmt[@]}" "$tmp/pink.wav" synth "${total}s" pinknoise gain -n -6
sox -D -R -n "${fmt[@]}" "$tmp/white.wav" synth "${total}s" whitenoise gain -n -6

mkdir -p "$out"
for name in speech pink white babble; do
  got=$(soxi -s "$tmp/$name.wav")
  (( got == total )) || { echo "make_quality_signals: $name has $got samples, not $total" >&2; exit 1; }
  mv "$tmp/$name.wav" "$out/$name.wav"
done
echo "make_quality_signals: wrote speech, pink, white and babble to $out ($total samples at $rate Hz each)"
