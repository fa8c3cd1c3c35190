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

sox -n -r 44100 -c 2 -b 16 -e signed-integer s16.wav synth 1 sine 440 sine 660 vol 0.5 || exit 1
echo 'this is not a wave file' >text.wav
head -c 1000 /dev/urandom >keep.orig

# Success, over an existing file: 1 s at 44.1 kHz becomes 47999 float samples
# (the position after the last frame waits for one that never comes).
cp keep.orig out.wav
render s16.wav out.wav
((rc == 0)) || fail "exit $rc, want 0; stderr: $(head -c 400 err.txt)"
[[ $(grep -c . out.txt) == 1 ]] || fail "stdout is not one line: $(head -c 400 out.txt)"
json=$(head -n1 out.txt)
[[ $json =~ ^\{.*\"samples\":47999[,}] && $json =~ \"inputPeak\":0\.[1-9] && $json =~ \"outputPeak\":[0-9] &&
   $json =~ \"seconds\":[0-9] && $json =~ \"cleanVoice\":false && $json =~ \}$ ]] ||
  fail "JSON line lacks samples, peaks, seconds or cleanVoice: $json"
# The canonical header of a float mono 48 kHz file with 47999 samples.
printf 'RIFF\x20\xee\x02\x00WAVEfmt \x10\0\0\0\x03\0\x01\0\x80\xbb\0\0\0\xee\x02\0\x04\0\x20\0data\xfc\xed\x02\0' >header
cmp -s header <(head -c 44 out.wav) && [[ $(stat -c %s out.wav) == 192040 ]] \
  || fail "header $(head -c 44 out.wav | od -An -tx1 | tr -d '\n'), file size $(stat -c %s out.wav)"

# Every failure: exit 2, the reason on stderr, keep.wav byte-identical. The
# parser's and the reader's own cases are unit tests; here one of each kind.
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
expect_failure "unknown option" --volume 3 s16.wav keep.wav
expect_failure "too long" --block 100000 s16.wav keep.wav

echo "zalo_render_cli: $failures failed checks"
((failures == 0))
