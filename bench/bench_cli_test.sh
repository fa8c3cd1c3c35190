#!/usr/bin/env bash
# zalo_bench refuses to measure anything but its own signal: a missing file,
# a file in another format or a file of the wrong length ends the run with a
# non-zero status and a message naming the file, before any case runs.
#
#   bench_cli_test.sh path/to/zalo_bench
set -uo pipefail

bench=${1:?usage: bench_cli_test.sh ZALO_BENCH}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

expect_refusal() {  # name, signal path
  local name=$1 signal=$2 status
  "$bench" --signal="$signal" --benchmark_filter=peer/speexdsp >"$tmp/out" 2>"$tmp/err"
  status=$?
  if ((status == 0)); then
    echo "FAIL $name: exit status 0"; failures=$((failures + 1)); return
  fi
  if ! grep -qF "$signal" "$tmp/err"; then
    echo "FAIL $name: stderr does not name the file:"; cat "$tmp/err"; failures=$((failures + 1)); return
  fi
  if grep -q "cpu_ms_per_audio_s" "$tmp/out"; then
    echo "FAIL $name: cases ran anyway"; failures=$((failures + 1)); return
  fi
  echo "ok   $name (status $status)"
}

expect_refusal "missing file" "$tmp/does-not-exist.wav"
sox -n -r 48000 -c 1 -b 16 "$tmp/pcm16.wav" synth 60 sine 440
expect_refusal "16-bit PCM" "$tmp/pcm16.wav"
sox -n -r 48000 -c 1 -b 32 -e floating-point "$tmp/short.wav" synth 59 sine 440
expect_refusal "59 s instead of 60" "$tmp/short.wav"
sox -n -r 44100 -c 1 -b 32 -e floating-point "$tmp/rate.wav" synth 60 sine 440
expect_refusal "44.1 kHz" "$tmp/rate.wav"
sox -n -r 48000 -c 1 -b 32 -e floating-point "$tmp/silent.wav" trim 0 60
expect_refusal "digital silence" "$tmp/silent.wav"

((failures == 0)) || { echo "$failures failure(s)"; exit 1; }
