#!/usr/bin/env bash
# Runs the real zalo-render binary on generated WAVE files and checks its
# command-line contract: exit status, the JSON line, the output header and
# length, and that failures leave an existing OUTPUT untouched.
#
#   bash zalo_render_cli_test.sh PATH/TO/zalo-render [EMULATOR]
#
# EMULATOR is "wine" in the cross build. Everything runs inside a temporary
# directory with relative file names, which Wine maps through its cwd; Wine
# may add its own lines to stderr, so stderr is only searched.
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
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# render ARGS...: status in $rc, stdout without carriage returns in out.txt.
render() {
  "${emulator[@]}" "$bin" "$@" 2>err.txt </dev/null | tr -d '\r' >out.txt
  rc=${PIPESTATUS[0]}
}

# Little-endian unsigned field of SIZE bytes at OFFSET of FILE.
field() { od -An -t"u$3" -j"$2" -N"$3" "$1" | tr -d ' \n'; }
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $((($1 >> 16) & 65535)); }

# make_wav FILE TAG CHANNELS RATE BITS: 44-byte header and 64 zero bytes.
make_wav() {
  local align=$(($3 * $5 / 8))
  { printf 'RIFFd\0\0\0WAVEfmt '; le32 16; le16 "$2"; le16 "$3"; le32 "$4"
    le32 $(($4 * align)); le16 "$align"; le16 "$5"; printf 'data'; le32 64
    head -c 64 /dev/zero; } >"$1"
}

sox -n -r 44100 -c 2 -b 16 -e signed-integer s16.wav synth 1 sine 440 sine 660 vol 0.5 || exit 1
echo 'this is not a wave file' >text.wav
head -c 20000 s16.wav >truncated.wav
make_wav u8.wav 1 1 8000 8
make_wav zero_channels.wav 1 0 8000 16
head -c 1000 /dev/urandom >keep.orig

# Success, over an existing file: 1 s at 44.1 kHz becomes 47999 float samples
# (the position after the last frame waits for one that never comes).
cp keep.orig out.wav
render s16.wav out.wav
((rc == 0)) || fail "exit $rc, want 0; stderr: $(head -c 400 err.txt)"
[[ $(grep -c . out.txt) == 1 ]] || fail "stdout is not one line: $(head -c 400 out.txt)"
json=$(head -n1 out.txt)
for key in samples inputPeak outputPeak seconds; do
  [[ $json =~ \"$key\":-?[0-9] ]] || fail "JSON lacks numeric \"$key\": $json"
done
[[ $json =~ ^\{.*\"samples\":47999[,}].*\}$ ]] || fail "want {...\"samples\":47999...}: $json"
[[ $json =~ \"inputPeak\":0\.[1-9] ]] || fail "implausible inputPeak: $json"
got="$(head -c 4 out.wav)$(dd if=out.wav bs=1 skip=8 count=8 2>/dev/null) $(field out.wav 20 2)"
got+=" $(field out.wav 22 2) $(field out.wav 24 4) $(field out.wav 34 2)"
# RIFF/WAVE, format tag 3 (float), 1 channel, 48000 Hz, 32 bits.
[[ $got == 'RIFFWAVEfmt  3 1 48000 32' ]] || fail "header '$got', want 'RIFFWAVEfmt  3 1 48000 32'"
[[ $(field out.wav 40 4) == 191996 && $(stat -c %s out.wav) == 192040 ]] \
  || fail "data size $(field out.wav 40 4), file size $(stat -c %s out.wav)"

# Every failure: exit 2, the reason on stderr, keep.wav byte-identical.
expect_failure() {  # EXPECTED_STDERR_TEXT ARGS...
  local text=$1
  shift
  cp keep.orig keep.wav
  render "$@"
  ((rc == 2)) || fail "$*: exit $rc, want 2"
  grep -qF -- "zalo-render: " err.txt && grep -qF -- "$text" err.txt \
    || fail "$*: stderr lacks 'zalo-render: ' and '$text': $(head -c 400 err.txt)"
  cmp -s keep.wav keep.orig || fail "$*: existing OUTPUT was modified"
}
expect_failure "absent.wav: no such file" absent.wav keep.wav
expect_failure "text.wav: not a RIFF/WAVE file" text.wav keep.wav
expect_failure "truncated" truncated.wav keep.wav
expect_failure "8-bit PCM" u8.wav keep.wav
expect_failure "zero channels" zero_channels.wav keep.wav
expect_failure "out of range" --voice 33 s16.wav keep.wav
expect_failure "too long" --block 100000 s16.wav keep.wav
expect_failure "not an integer" --strength 1.5 s16.wav keep.wav
expect_failure "unknown option" --volume 3 s16.wav keep.wav
expect_failure "missing value" s16.wav keep.wav --voice
expect_failure "expected INPUT.wav and OUTPUT.wav" s16.wav

echo "zalo_render_cli: $failures failed checks"
((failures == 0))
