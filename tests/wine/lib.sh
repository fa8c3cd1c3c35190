# shellcheck shell=bash
# Shared helpers of the Wine audio tests of the engine (tests/wine/*_test.sh).
# Source it, then call zw_init with the script's arguments:
#
#   source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
#   zw_init "$@"      # PROBE.exe RENDER.exe [EMULATOR...]
#
# The tests drive tests/wine/engine_probe.cpp (one zalo::AudioEngine behind a
# line protocol on stdin/stdout) under Wine, play test signals into the
# harness's microphone sinks with paplay, record the cable and speaker sinks
# with parec and judge the recordings with audio_checks.py. They need the
# harness of scripts/harness.sh; its env.sh is sourced when the environment
# does not already point at a sound server.
#
# Everything a test starts (the probe, recorders, players) is stopped on
# exit, and a cable sink that the test unloaded is loaded again. Every wait is
# bounded. Work files go to ./wine_engine_<test>.work (the ctest build dir),
# removed on success and kept for inspection on failure.

set -u
set -o pipefail

ZW_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ZW_REPO_DIR=$(cd "$ZW_LIB_DIR/../.." && pwd)
ZW_HARNESS=$ZW_REPO_DIR/scripts/harness.sh
# The system interpreter: it has numpy (scripts/setup.sh installs it); a
# python3 earlier on PATH may not.
ZW_PY=/usr/bin/python3
ZW_CHECKS=$ZW_LIB_DIR/audio_checks.py

ZW_FAILURES=0
ZW_CABLE_REMOVED=0
ZW_PROBE_PID=
ZW_TO=
ZW_FROM=
declare -A ZW_RECORDERS=()  # name -> parec pid
declare -A ZW_PLAYERS=()    # name -> paplay pid
REPLY_LINE=

zw_log() { printf '%s\n' "$*"; }

# A failed check: counted, the test goes on (later checks still tell
# something); the exit status is non-zero at the end.
fail() {
  printf 'FAIL: %s\n' "$*"
  ZW_FAILURES=$((ZW_FAILURES + 1))
}

# A failure after which the test cannot go on.
die() {
  printf 'FAIL: %s\n' "$*"
  ZW_FAILURES=$((ZW_FAILURES + 1))
  exit 1
}

zw_init() {
  if (($# < 2)); then
    echo "usage: $0 PROBE.exe RENDER.exe [EMULATOR...]" >&2
    exit 2
  fi
  ZW_PROBE_EXE=$(realpath "$1")
  ZW_RENDER_EXE=$(realpath "$2")
  shift 2
  ZW_EMULATOR=("$@")
  [[ -f $ZW_PROBE_EXE ]] || die "no probe at $ZW_PROBE_EXE"
  [[ -f $ZW_RENDER_EXE ]] || die "no renderer at $ZW_RENDER_EXE"
  if ! "$ZW_PY" -c 'import numpy' 2>/dev/null; then
    die "$ZW_PY with numpy is needed (scripts/setup.sh installs python3-numpy)"
  fi

  if [[ -z ${PULSE_SERVER:-} ]]; then
    local env_file=${ZALO_HARNESS_DIR:-$ZW_REPO_DIR/build/harness}/env.sh
    [[ -f $env_file ]] || die "the harness is not running ($env_file missing); run: scripts/harness.sh start"
    # shellcheck disable=SC1090
    source "$env_file"
  fi
  timeout 10 pactl info >/dev/null 2>&1 || die "no sound server at $PULSE_SERVER (scripts/harness.sh start)"

  # Names that pick the harness's capture devices (the 48 kHz "Microphone
  # (Harness Mic)" and the 44.1 kHz "Microphone 44k (Harness Mic)") and the
  # sinks that the tests play into and record.
  # shellcheck disable=SC2034
  {
    ZW_MIC48="Microphone (Harness Mic)"
    ZW_MIC44="Microphone 44k"
    ZW_MIC_SINK=${ZALO_MIC_FEED_SINK:-mic_feed}
    ZW_MIC44_SINK=${ZALO_MIC44_FEED_SINK:-mic_feed_44k}
    ZW_MIC_SOURCE=${ZALO_MIC_SOURCE:-mic}
    ZW_CABLE_MONITOR=${ZALO_CABLE_SINK:-cable_input}.monitor
    ZW_SPEAKERS_MONITOR=${ZALO_SPEAKERS_SINK:-speakers}.monitor
  }

  ZW_NAME=$(basename "$0" .sh)
  ZW_NAME=${ZW_NAME%_test}
  ZW_DIR=$PWD/wine_engine_$ZW_NAME.work
  rm -rf "$ZW_DIR"
  mkdir -p "$ZW_DIR"
  # A write to a probe that has died must fail, not kill the script.
  trap '' PIPE
  trap zw_cleanup EXIT
  trap 'exit 130' INT TERM
}

# True while pid $1 runs (a zombie does not count).
zw_alive() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [[ -n $state && $state != Z ]]
}

# Stops pid $1: TERM, up to 2 s, then KILL.
zw_kill() {
  local pid=$1 i
  [[ -n $pid ]] || return 0
  kill "$pid" 2>/dev/null || return 0
  for ((i = 0; i < 20; i++)); do
    zw_alive "$pid" || break
    sleep 0.1
  done
  zw_alive "$pid" && kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 0
}

zw_cleanup() {
  local status=$? name
  trap - EXIT
  if [[ -n $ZW_PROBE_PID ]]; then
    zw_log "probe still running at exit; killing it"
    zw_kill "$ZW_PROBE_PID"
    ZW_PROBE_PID=
  fi
  for name in "${!ZW_PLAYERS[@]}"; do zw_kill "${ZW_PLAYERS[$name]}"; done
  for name in "${!ZW_RECORDERS[@]}"; do zw_kill "${ZW_RECORDERS[$name]}"; done
  if ((ZW_CABLE_REMOVED)); then
    bash "$ZW_HARNESS" cable-on || echo "WARNING: could not load the cable sink again" >&2
  fi
  if ((status == 0 && ZW_FAILURES == 0)); then
    rm -rf "$ZW_DIR"
  else
    [[ -s $ZW_DIR/probe.stderr ]] && { echo "--- probe stderr (last lines):"; tail -n 20 "$ZW_DIR/probe.stderr"; }
    echo "work files kept in $ZW_DIR"
    ((status != 0)) || status=1
  fi
  exit "$status"
}

# Ends the test: exit status 0 only if no check failed.
zw_finish() {
  probe_quit
  if ((ZW_FAILURES)); then
    echo "$ZW_NAME: $ZW_FAILURES check(s) failed"
    exit 1
  fi
  echo "$ZW_NAME: all checks passed"
  exit 0
}

# wait_until SECONDS COMMAND...: polls every 0.1 s; fails on timeout.
wait_until() {
  local limit=$1 i
  shift
  for ((i = 0; i < limit * 10; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# ------------------------------------------------------------------ probe

probe_start() {
  [[ -z $ZW_PROBE_PID ]] || die "probe_start: a probe already runs"
  coproc ZW_PROBE_IO { exec "${ZW_EMULATOR[@]}" "$ZW_PROBE_EXE" 2>>"$ZW_DIR/probe.stderr"; }
  ZW_PROBE_PID=$ZW_PROBE_IO_PID
  # Copies of the pipe ends: bash drops the coproc's own ones when it ends,
  # and a read or write must then fail cleanly.
  exec {ZW_TO}>&"${ZW_PROBE_IO[1]}" {ZW_FROM}<&"${ZW_PROBE_IO[0]}"
  zw_log "probe started (pid $ZW_PROBE_PID)"
}

# The Wine server writes its registry to disk on a 30 s timer whenever it has
# changed, and every Wine audio program changes it when it first lists the
# audio endpoints (their keys are rewritten with new times). That save
# blocks the server for tens of milliseconds, and with it every Wine thread
# that waits on a server object: the sound of any Wine program playing at
# that moment drops out, whatever the program does (seen with a bare waveOut
# tone player too). A test that needs a gapless window marks the time before
# the probe first lists the endpoints, and waits here for the save that
# follows before it measures.
registry_mark() { date +%s.%N; }

wait_registry_saved() {  # wait_registry_saved MARK
  local reg=${WINEPREFIX:?}/system.reg i
  for ((i = 0; i < 350; i++)); do
    if [[ $(stat -c %.Y "$reg" 2>/dev/null || echo 0) > $1 ]]; then
      zw_log "the Wine server saved its registry; measuring from here"
      return 0
    fi
    sleep 0.1
  done
  zw_log "NOTE: no registry save within 35 s; measuring anyway"
}

# probe_try SECONDS COMMAND...: sends one command line and reads the one
# reply line into REPLY_LINE. Status 0 for "ok...", 1 for "error: ...",
# 2 for no reply within SECONDS (or a dead probe).
probe_try() {
  local limit=$1 line
  shift
  REPLY_LINE=
  [[ -n $ZW_PROBE_PID ]] || { echo "probe> $* (no probe running)"; return 2; }
  echo "probe> $*"
  if ! { printf '%s\n' "$*" 1>&"$ZW_TO"; } 2>/dev/null; then
    echo "probe< (cannot write: the probe has exited)"
    return 2
  fi
  if ! IFS= read -r -t "$limit" line <&"$ZW_FROM"; then
    if zw_alive "$ZW_PROBE_PID"; then
      echo "probe< (no reply within $limit s)"
    else
      probe_reap
    fi
    return 2
  fi
  REPLY_LINE=${line%$'\r'}
  echo "probe< $REPLY_LINE"
  [[ $REPLY_LINE == ok* ]] && return 0
  return 1
}

# After the probe has died: its exit status (a crash under Wine shows as a
# Windows exception code, e.g. 3221225477 = 0xC0000005, access violation).
probe_reap() {
  local rc=0 i
  for ((i = 0; i < 20; i++)); do
    zw_alive "$ZW_PROBE_PID" || break
    sleep 0.1
  done
  wait "$ZW_PROBE_PID" 2>/dev/null || rc=$?
  echo "probe< (the probe has exited with status $rc)"
  ZW_PROBE_PID=
  exec {ZW_TO}>&- {ZW_FROM}<&-
}

# probe SECONDS COMMAND...: like probe_try, but the test ends unless "ok".
probe() {
  probe_try "$@" && return 0
  die "probe command '${*:2}' failed: ${REPLY_LINE:-no reply}"
}

# Value of key=value in the last reply ("" if absent).
reply_field() {
  local word
  for word in $REPLY_LINE; do
    [[ $word == "$1="* ]] && { printf '%s' "${word#*=}"; return 0; }
  done
  return 1
}

# status_is KEY VALUE: asks for the status and compares one field.
status_is() {
  probe_try 5 status >/dev/null || return 1
  [[ $(reply_field "$1") == "$2" ]]
}

# status_above KEY NUMBER: the field (a float) is above NUMBER.
status_above() {
  probe_try 5 status >/dev/null || return 1
  awk -v v="$(reply_field "$1")" -v t="$2" 'BEGIN { exit !(v != "" && v + 0 > t + 0) }'
}

# Sends quit; the probe must exit with status 0 within 10 s.
probe_quit() {
  [[ -n $ZW_PROBE_PID ]] || return 0
  local pid=$ZW_PROBE_PID rc i
  probe_try 10 quit || fail "quit was not acknowledged"
  for ((i = 0; i < 100; i++)); do
    zw_alive "$pid" || break
    sleep 0.1
  done
  if zw_alive "$pid"; then
    fail "the probe did not exit within 10 s of quit"
    zw_kill "$pid"
  else
    wait "$pid" 2>/dev/null
    rc=$?
    ((rc == 0)) || fail "the probe exited with status $rc"
  fi
  ZW_PROBE_PID=
  exec {ZW_TO}>&- {ZW_FROM}<&-
}

# ------------------------------------------------------ recorders, players

# rec_start NAME DEVICE [CHANNELS]: records DEVICE (a source, usually a
# sink's .monitor) into $ZW_DIR/NAME.raw, s16le 48 kHz; returns once data
# flows. The sinks run continuously, so the file grows in real time.
rec_start() {
  local name=$1 device=$2 channels=${3:-2} file=$ZW_DIR/$1.raw
  rec_stop "$name"
  rm -f "$file"
  parec --device="$device" --raw --format=s16le --rate=48000 --channels="$channels" \
    --latency-msec=10 "$file" </dev/null >"$ZW_DIR/$name.parec.log" 2>&1 &
  ZW_RECORDERS[$name]=$!
  wait_until 5 test -s "$file" \
    || die "recorder $name on $device delivers nothing: $(cat "$ZW_DIR/$name.parec.log")"
}

rec_stop() {
  [[ -n ${ZW_RECORDERS[$1]:-} ]] || return 0
  zw_kill "${ZW_RECORDERS[$1]}"
  unset "ZW_RECORDERS[$1]"
}

rec_file() { printf '%s' "$ZW_DIR/$1.raw"; }

# play FILE SINK: plays a WAVE file into a sink and returns when it is done
# (bounded by the file's length plus 15 s).
play() {
  local seconds
  seconds=$(soxi -D "$1" 2>/dev/null | cut -d. -f1)
  timeout $((${seconds:-0} + 15)) paplay --device="$2" "$1" </dev/null \
    || fail "paplay $1 into $2 failed or hung"
}

# play_bg NAME FILE SINK: the same in the background, until play_stop NAME.
play_bg() {
  paplay --device="$3" "$2" </dev/null >"$ZW_DIR/$1.paplay.log" 2>&1 &
  ZW_PLAYERS[$1]=$!
}

play_stop() {
  [[ -n ${ZW_PLAYERS[$1]:-} ]] || return 0
  zw_kill "${ZW_PLAYERS[$1]}"
  unset "ZW_PLAYERS[$1]"
}

# -------------------------------------------------------- signals, checks

# check SUBCOMMAND ARGS...: runs one analysis of audio_checks.py; a failure
# is counted and the test goes on.
check() {
  "$ZW_PY" "$ZW_CHECKS" "$@" || fail "audio check '$1' failed (see above)"
}

# gen FILE.wav ARGS...: writes a test signal (audio_checks.py gen).
gen() {
  "$ZW_PY" "$ZW_CHECKS" gen "$@" || die "could not generate $1"
}

# make_speech FILE.wav: espeak-ng Brazilian Portuguese with 0.5 s of quiet
# room noise before and after, 48 kHz mono 16-bit, the same bytes on every
# run (fixed noise seed, no dither).
make_speech() {
  local out=$1 tmp=$ZW_DIR/speech-tmp voice=pt-br
  mkdir -p "$tmp"
  espeak-ng --voices=pt | awk '{print $2}' | grep -qx pt-br || voice=pt
  espeak-ng -v "$voice" -s 165 -w "$tmp/raw.wav" \
    "Olá pessoal, este é um teste do microfone virtual. Um, dois, três." \
    || die "espeak-ng failed"
  sox -D "$tmp/raw.wav" -r 48000 -c 1 -b 16 "$tmp/speech.wav" gain -n -6 pad 0.5 0.5 \
    || die "sox failed on the speech"
  sox -D -R -n -r 48000 -c 1 -b 16 "$tmp/noise.wav" synth "$(soxi -D "$tmp/speech.wav")" \
    pinknoise vol 0.01 || die "sox failed on the noise"
  sox -D -m -v 1 "$tmp/speech.wav" -v 1 "$tmp/noise.wav" -b 16 "$out" || die "sox mix failed"
  rm -rf "$tmp"
}

# render IN.wav OUT.wav OPTIONS...: zalo-render (cross-built, under the
# emulator), run inside the work dir with relative names so that Wine maps
# them through its current directory.
render() {
  local in=$1 out=$2
  shift 2
  (cd "$ZW_DIR" && timeout 60 "${ZW_EMULATOR[@]}" "$ZW_RENDER_EXE" "$@" \
    "$(basename "$in")" "$(basename "$out")" >"$(basename "$out").json" 2>"$(basename "$out").err" </dev/null) \
    || die "zalo-render $* $in failed: $(cat "$ZW_DIR/$(basename "$out").err")"
}

# Cable sink presence (scripts/harness.sh); the cleanup loads it again.
cable_off() {
  ZW_CABLE_REMOVED=1
  bash "$ZW_HARNESS" cable-off || die "harness cable-off failed"
}

cable_on() {
  bash "$ZW_HARNESS" cable-on || die "harness cable-on failed"
  ZW_CABLE_REMOVED=0
}

