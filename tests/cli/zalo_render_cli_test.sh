#!/usr/bin/env bash
# Runs the real zalo-render binary against generated WAVE files and checks its
# command-line contract: exit status, the JSON line, the output header and
# length, and that failures leave OUTPUT untouched.
#
#   bash zalo_render_cli_test.sh PATH/TO/zalo-render [EMULATOR]
#
# EMULATOR is "wine" in the cross build. Everything runs inside a temporary
# directory with relative file names, which Wine maps through its cwd.
set -u

if (($# < 1)); then
  echo "usage: $0 ZALO_RENDER [EMULATOR...]" >&2
  exit 2
fi
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
emulator=("$@")

work=$(mktemp -d "${TMPDIR:-/tmp}/zalo_render_cli.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

failures=0
checks=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { checks=$((checks + 1)); }

# render ARGS...: runs the program; leaves status in $rc, output in out.txt /
# err.txt, and the JSON line (carriage return removed) in $json.
render() {
  "${emulator[@]}" "$bin" "$@" >out.txt 2>err.txt </dev/null
  rc=$?
  json=$(tr -d '\r' <out.txt | grep -m1 '^{' || true)
}

# Little-endian unsigned field of SIZE bytes (2 or 4) at OFFSET of FILE.
field() { od -An -t"u$3" -j"$2" -N"$3" "$1" | tr -d ' \n'; }

# bytes LE16/LE32 helpers for hand-made headers.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $((($1 >> 16) & 65535)); }

# make_wav FILE TAG CHANNELS RATE BITS BLOCKALIGN DATABYTES: 44-byte header
# followed by DATABYTES zero bytes.
make_wav() {
  local file=$1 tag=$2 ch=$3 rate=$4 bits=$5 align=$6 n=$7
  {
    printf 'RIFF'; le32 $((36 + n)); printf 'WAVEfmt '; le32 16
    le16 "$tag"; le16 "$ch"; le32 "$rate"; le32 $((rate * align)); le16 "$align"; le16 "$bits"
    printf 'data'; le32 "$n"
    head -c "$n" /dev/zero
  } >"$file"
}

check_float_output() {  # FILE EXPECTED_SAMPLES
  local f=$1 n=$2
  [[ $(head -c 4 "$f") == RIFF && $(dd if="$f" bs=1 skip=8 count=8 2>/dev/null) == "WAVEfmt " ]] \
    || { fail "$f: not a RIFF/WAVE header"; return; }
  [[ $(field "$f" 20 2) == 3 ]] || fail "$f: format tag $(field "$f" 20 2), want 3 (float)"
  [[ $(field "$f" 22 2) == 1 ]] || fail "$f: $(field "$f" 22 2) channels, want 1"
  [[ $(field "$f" 24 4) == 48000 ]] || fail "$f: rate $(field "$f" 24 4), want 48000"
  [[ $(field "$f" 34 2) == 32 ]] || fail "$f: $(field "$f" 34 2) bits, want 32"
  [[ $(dd if="$f" bs=1 skip=36 count=4 2>/dev/null) == data ]] || fail "$f: no data chunk at 36"
  [[ $(field "$f" 40 4) == $((n * 4)) ]] || fail "$f: data size $(field "$f" 40 4), want $((n * 4))"
  [[ $(stat -c %s "$f") == $((44 + n * 4)) ]] || fail "$f: file size $(stat -c %s "$f")"
  pass
}

expect_success() {  # DESCRIPTION OUTPUT EXPECTED_SAMPLES ARGS...
  local what=$1 outfile=$2 n=$3
  shift 3
  render "$@"
  if ((rc != 0)); then
    fail "$what: exit $rc, want 0; stderr: $(head -c 400 err.txt)"
    return
  fi
  if [[ $(tr -d '\r' <out.txt | grep -c .) != 1 ]]; then
    fail "$what: stdout is not exactly one line: $(head -c 400 out.txt)"
  fi
  local key
  for key in samples inputPeak outputPeak seconds; do
    [[ $json =~ \"$key\":-?[0-9] ]] || fail "$what: JSON lacks numeric \"$key\": $json"
  done
  [[ $json =~ \"samples\":$n[,}] ]] || fail "$what: want \"samples\":$n in $json"
  [[ $json == *'}' ]] || fail "$what: JSON line not closed: $json"
  check_float_output "$outfile" "$n"
}

# Every failure: exit 2, the message on stderr, keep.wav byte-identical and
# no leftover temporary file.
expect_failure() {  # DESCRIPTION EXPECTED_STDERR_TEXT ARGS...
  local what=$1 text=$2
  shift 2
  render "$@"
  ((rc == 2)) || fail "$what: exit $rc, want 2"
  grep -qF "zalo-render: " err.txt || fail "$what: stderr lacks the program name: $(head -c 400 err.txt)"
  grep -qF -- "$text" err.txt || fail "$what: stderr lacks '$text': $(head -c 400 err.txt)"
  cmp -s keep.wav keep.orig || fail "$what: existing OUTPUT was modified"
  [[ ! -e new.wav ]] || { fail "$what: new.wav was created"; rm -f new.wav; }
  compgen -G '*.zalo-tmp-*' >/dev/null && { fail "$what: temporary file left behind"; rm -f ./*.zalo-tmp-*; }
  [[ -z $json ]] || fail "$what: printed a JSON line on failure"
  pass
}

# ---- inputs -----------------------------------------------------------------
sox -n -r 44100 -c 2 -b 16 -e signed-integer s16.wav synth 1 sine 440 sine 660 vol 0.5 || exit 1
sox -n -r 48000 -c 1 -b 32 -e floating-point f32.wav synth 0.5 sine 300 vol 0.3 || exit 1
sox -n -r 22050 -c 3 -b 24 -e signed-integer s24.wav synth 0.5 sine 200 vol 0.4 || exit 1
sox -n -r 16000 -c 1 -b 32 -e signed-integer s32.wav synth 0.25 sine 500 || exit 1
sox -n -r 8000 -c 1 -b 8 -e unsigned-integer u8.wav synth 0.1 sine 400 || exit 1
sox -n -r 8000 -c 1 -e a-law alaw.wav synth 0.1 sine 400 || exit 1
sox -n -r 8000 -c 1 -b 64 -e floating-point f64.wav synth 0.1 sine 400 || exit 1
echo 'this is not a wave file' >text.wav
head -c 20000 s16.wav >truncated.wav
make_wav zero_channels.wav 1 0 8000 16 2 64
make_wav empty.wav 1 1 8000 16 2 0
head -c 1000 /dev/urandom >keep.orig
cp keep.orig keep.wav

# ---- successes --------------------------------------------------------------
# 1 s at 44.1 kHz in 441-frame blocks: 100 blocks of exactly 480 samples.
expect_success "16-bit stereo 44.1 kHz" out.wav 48000 s16.wav out.wav
[[ $json =~ \"inputPeak\":0\.[1-9] ]] || fail "16-bit stereo: implausible inputPeak in $json"
expect_success "--block 4410" out.wav 48000 --block 4410 s16.wav out.wav
expect_success "float 48 kHz with options" out.wav 24000 \
  --voice 13 --noise-preset 3 --strength 40 --pitch 4 --tone -20 --robot 10 --echo 30 \
  --gate off --de-esser on f32.wav out.wav
for kv in '"voice":13' '"strength":40' '"gate":false' '"deEsser":true' '"pitch":4'; do
  [[ $json == *"$kv"* ]] || fail "options not reflected: want $kv in $json"
done
expect_success "32-bit PCM, filter off" out.wav 12000 --filter off s32.wav out.wav
# 11025 frames of 3-channel 24-bit at 22050 Hz in 220-frame blocks: 50 blocks
# of trunc(220*48000/22050) samples and one of 25 frames.
expect_success "24-bit 3 channels 22.05 kHz" out.wav \
  $((50 * (220 * 48000 / 22050) + 25 * 48000 / 22050)) s24.wav out.wav
expect_success "empty data chunk" empty_out.wav 0 empty.wav empty_out.wav

# Success replaces an existing file (rename over it, also on Windows).
cp keep.orig existing.wav
expect_success "overwrite existing output" existing.wav 48000 s16.wav existing.wav
compgen -G '*.zalo-tmp-*' >/dev/null && fail "temporary file left after success"

render --help
((rc == 0)) && grep -q usage out.txt || fail "--help: exit $rc, stdout: $(head -c 200 out.txt)"

# ---- bad input (the reader's unit tests cover every format class) ----------
expect_failure "missing input" "absent.wav: no such file" absent.wav keep.wav
expect_failure "missing input, new output" "no such file" absent.wav new.wav
expect_failure "not a WAVE file" "text.wav: not a RIFF/WAVE file" text.wav keep.wav
expect_failure "truncated" "truncated" truncated.wav keep.wav
expect_failure "8-bit PCM" "8-bit PCM" u8.wav keep.wav
expect_failure "a-law" "A-law" alaw.wav keep.wav
expect_failure "64-bit float" "64-bit float" f64.wav keep.wav
expect_failure "zero channels" "zero channels" zero_channels.wav keep.wav

# ---- bad options ------------------------------------------------------------
expect_failure "voice 33" "out of range" --voice 33 s16.wav keep.wav
expect_failure "voice -1" "out of range" --voice -1 s16.wav keep.wav
expect_failure "noise preset 11" "out of range" --noise-preset 11 s16.wav keep.wav
expect_failure "strength 101" "out of range" --strength 101 s16.wav keep.wav
expect_failure "pitch 9" "out of range" --pitch 9 s16.wav keep.wav
expect_failure "tone -101" "out of range" --tone -101 s16.wav keep.wav
expect_failure "robot 101" "out of range" --robot 101 s16.wav keep.wav
expect_failure "echo 61" "out of range" --echo 61 s16.wav keep.wav
expect_failure "block 0" "out of range" --block 0 s16.wav keep.wav
expect_failure "block too long" "too long" --block 100000 s16.wav keep.wav
expect_failure "non-integer" "not an integer" --strength 1.5 s16.wav keep.wav
expect_failure "bad switch" "on or off" --gate maybe s16.wav keep.wav
expect_failure "unknown option" "unknown option" --volume 3 s16.wav keep.wav
expect_failure "missing value" "missing value" s16.wav keep.wav --voice
expect_failure "one file" "expected INPUT.wav and OUTPUT.wav" s16.wav
expect_failure "three files" "expected INPUT.wav and OUTPUT.wav" s16.wav keep.wav new.wav
expect_failure "no arguments" "expected INPUT.wav and OUTPUT.wav"

echo "zalo_render_cli: $checks cases run, $failures failed checks"
((failures == 0))
