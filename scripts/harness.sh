#!/usr/bin/env bash
# Test harness for the Windows build under Wine: a virtual display, a private
# PulseAudio server with the sinks the program expects, and a Wine prefix, all
# inside the build tree.
#
#   scripts/harness.sh start          start everything (stops leftovers of this dir first)
#   scripts/harness.sh stop           stop exactly what start started
#   scripts/harness.sh status         pids and sinks
#   scripts/harness.sh cable-off      unload the cable sink ("driver not installed")
#   scripts/harness.sh cable-on       load it again
#   scripts/harness.sh record-start FILE   record the cable's monitor, raw s16le 48 kHz stereo
#   scripts/harness.sh record-stop FILE
#
# After start, `source "$ZALO_HARNESS_DIR/env.sh"` (default build/harness/env.sh)
# exports DISPLAY, PULSE_SERVER, WINEPREFIX and the rest for wine, pactl and ctest.
#
# Every daemon runs with stdin from /dev/null and its output in a log file of
# the harness dir: a daemon that inherited the caller's stdout would keep CI's
# output pipe open after the run ends.
set -euo pipefail

REPO_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
H=$(realpath -m "${ZALO_HARNESS_DIR:-$REPO_DIR/build/harness}")

# Sink and source names the tests use (also exported through env.sh).
CABLE_SINK=cable_input
MIC_FEED_SINK=mic_feed
SPEAKERS_SINK=speakers
MIC_SOURCE=mic
# A second, 44.1 kHz microphone, and a source named like a loopback device
# that the program's device list must leave out.
MIC44_FEED_SINK=mic_feed_44k
MIC44_SOURCE=mic44k
STEREO_MIX_SOURCE=stereo_mix
KEEPALIVE_SOURCE=keepalive
MIC_RATE_HZ=${ZALO_HARNESS_MIC_RATE:-48000}

# Module arguments, shared by the server's script and cable-on.
CABLE_SINK_ARGS=("sink_name=$CABLE_SINK" format=s16le rate=48000 channels=2
  "sink_properties='device.description=\"CABLE Input (VB-Audio Virtual Cable)\"'")
CABLE_LOOPBACK_ARGS=("source=$KEEPALIVE_SOURCE" "sink=$CABLE_SINK" latency_msec=30
  source_dont_move=true sink_dont_move=true)

log() { echo "harness: $*"; }
die() { echo "harness: error: $*" >&2; exit 1; }

# True if pid file $1 names a live process whose command line contains $2
# (guards against killing an unrelated process that reused a stale pid).
pid_alive() {
  local pid
  [[ -f $1 ]] || return 1
  pid=$(<"$1")
  [[ $pid =~ ^[0-9]+$ ]] || return 1
  [[ -r /proc/$pid/cmdline ]] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q -- "$2"
}

# True while process $1 exists and is not a zombie. Our daemons are orphans
# whose reaping by pid 1 can take a second or two after they exit.
proc_running() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [[ -n $state && $state != Z ]]
}

# Terminates the process of pid file $1 (checked against name $2), waits up
# to 5 s, then kills it hard.
stop_pid() {
  local file=$1 name=$2 pid i
  if pid_alive "$file" "$name"; then
    pid=$(<"$file")
    kill "$pid" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
      proc_running "$pid" || break
      sleep 0.1
    done
    if proc_running "$pid"; then
      log "$name ($pid) ignored SIGTERM, killing"
      kill -9 "$pid" 2>/dev/null || true
    fi
    log "stopped $name ($pid)"
  fi
  rm -f "$file"
}

wait_for() {  # wait_for SECONDS COMMAND...: polls until COMMAND succeeds
  local limit=$1 i
  shift
  for ((i = 0; i < limit * 10; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

write_env() {
  cat >"$H/env.sh" <<EOF
# Written by scripts/harness.sh start; source it to reach the harness.
export ZALO_HARNESS_DIR='$H'
export DISPLAY='$DISPLAY'
export XDG_RUNTIME_DIR='$H/xdg-runtime'
export PULSE_RUNTIME_PATH='$H/pulse/runtime'
export PULSE_STATE_PATH='$H/pulse/state'
export PULSE_COOKIE='$H/pulse/cookie'
export PULSE_SERVER='unix:$H/pulse/runtime/native'
export WINEPREFIX='$H/wineprefix'
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
export ZALO_CABLE_SINK=$CABLE_SINK
export ZALO_MIC_FEED_SINK=$MIC_FEED_SINK
export ZALO_SPEAKERS_SINK=$SPEAKERS_SINK
export ZALO_MIC_SOURCE=$MIC_SOURCE
export ZALO_MIC44_FEED_SINK=$MIC44_FEED_SINK
export ZALO_MIC44_SOURCE=$MIC44_SOURCE
EOF
}

load_env() {
  [[ -f $H/env.sh ]] || die "not started ($H/env.sh missing); run: scripts/harness.sh start"
  # shellcheck disable=SC1091
  source "$H/env.sh"
}

start_xvfb() {
  rm -f "$H/xvfb.display"
  # -displayfd lets the server pick the first free display and report it.
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp \
    3>"$H/xvfb.display" >"$H/xvfb.log" 2>&1 </dev/null &
  echo $! >"$H/xvfb.pid"
  wait_for 10 grep -q '^[0-9]' "$H/xvfb.display" \
    || die "Xvfb did not start; see $H/xvfb.log"
  DISPLAY=:$(head -n1 "$H/xvfb.display")
  export DISPLAY
  log "Xvfb $(<"$H/xvfb.pid") on $DISPLAY"
}

write_pulse_script() {
  # An idle null sink renders nothing and its monitor then delivers late or
  # not at all; a loopback from a null source keeps every sink running in
  # real time.
  cat >"$H/pulse/harness.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=$SPEAKERS_SINK rate=48000 channels=2 sink_properties='device.description="Speakers (Harness)"'
load-module module-null-sink ${CABLE_SINK_ARGS[*]}
load-module module-null-sink sink_name=$MIC_FEED_SINK rate=$MIC_RATE_HZ channels=1 sink_properties='device.description="Mic Feed"'
load-module module-remap-source source_name=$MIC_SOURCE master=$MIC_FEED_SINK.monitor channels=1 channel_map=mono source_properties='device.description="Microphone (Harness Mic)" device.form_factor=microphone'
load-module module-null-sink sink_name=$MIC44_FEED_SINK rate=44100 channels=1 sink_properties='device.description="Mic Feed 44k"'
load-module module-remap-source source_name=$MIC44_SOURCE master=$MIC44_FEED_SINK.monitor channels=1 channel_map=mono source_properties='device.description="Microphone 44k (Harness Mic)" device.form_factor=microphone'
load-module module-null-source source_name=$STEREO_MIX_SOURCE rate=48000 channels=2 description="Stereo Mix (Harness)"
load-module module-null-source source_name=$KEEPALIVE_SOURCE rate=48000 channels=1
load-module module-loopback source=$KEEPALIVE_SOURCE sink=$SPEAKERS_SINK latency_msec=30 source_dont_move=true sink_dont_move=true
load-module module-loopback ${CABLE_LOOPBACK_ARGS[*]}
load-module module-loopback source=$KEEPALIVE_SOURCE sink=$MIC_FEED_SINK latency_msec=30 source_dont_move=true sink_dont_move=true
load-module module-loopback source=$KEEPALIVE_SOURCE sink=$MIC44_FEED_SINK latency_msec=30 source_dont_move=true sink_dont_move=true
set-default-sink $SPEAKERS_SINK
set-default-source $MIC_SOURCE
EOF
}

start_pulse() {
  mkdir -p "$H/pulse/runtime" "$H/pulse/state" "$H/xdg-runtime"
  chmod 700 "$H/pulse/runtime" "$H/xdg-runtime"
  write_pulse_script
  export XDG_RUNTIME_DIR=$H/xdg-runtime PULSE_RUNTIME_PATH=$H/pulse/runtime
  export PULSE_STATE_PATH=$H/pulse/state PULSE_COOKIE=$H/pulse/cookie
  export PULSE_SERVER=unix:$H/pulse/runtime/native
  # Not daemonized, so that $! is the server's own pid. Running as root only
  # earns a warning in the log. Real-time scheduling for the server's sink
  # threads (root may take it directly) keeps their timing steady while the
  # machine builds or tests: the audio tests count every dropout.
  pulseaudio -n -F "$H/pulse/harness.pa" --daemonize=no --exit-idle-time=-1 \
    --realtime=true --high-priority=true \
    --use-pid-file=no --log-target=stderr >"$H/pulse/pulse.log" 2>&1 </dev/null &
  echo $! >"$H/pulse.pid"
  wait_for 15 pactl info || die "PulseAudio did not start; see $H/pulse/pulse.log"
  pactl list short sinks | grep -q "^[0-9]*[[:space:]]${CABLE_SINK}[[:space:]]" \
    || die "cable sink missing after start; see $H/pulse/pulse.log"
  log "PulseAudio $(<"$H/pulse.pid") at $PULSE_SERVER"
}

# Fonts close to Windows' in width, so that screenshots show the window as a
# user sees it: Liberation Sans stands in for Segoe UI (DejaVu Sans, much
# wider, clipped labels), and Symbola's outlines fill in the pictographs
# (🎭 🎤 ⌨) through font linking. Applied once per prefix, also to a prefix
# made before this setting existed.
set_fonts() {
  [[ -f $WINEPREFIX/.harness-fonts-2 ]] && return 0
  local symbola face
  symbola=$(fc-list :family=Symbola file | head -n1 | sed 's/:.*//')
  {
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Segoe UI' /t REG_SZ /d 'Liberation Sans' /f
    if [[ -n $symbola ]]; then
      # Linked under both names: the program asks for "Segoe UI", which the
      # replacement resolves to Liberation Sans.
      for face in 'Segoe UI' 'Liberation Sans'; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
          /v "$face" /t REG_MULTI_SZ /d "$(basename "$symbola"),Symbola" /f
      done
    fi
    wineserver -w
  } >"$H/wine-fonts.log" 2>&1 </dev/null || die "font settings failed; see $H/wine-fonts.log"
  [[ -n $symbola ]] || log "Symbola not installed (fonts-symbola): pictographs will draw as boxes"
  touch "$WINEPREFIX/.harness-fonts-2"
}

start_wine() {
  export WINEPREFIX=$H/wineprefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
  # A server of this prefix left by an aborted run would hold stale state.
  wineserver -k >/dev/null 2>&1 </dev/null || true
  if [[ ! -f $WINEPREFIX/.harness-ready ]]; then
    log "creating the Wine prefix (about 15 s, once)"
    rm -rf "$WINEPREFIX"
    {
      wineboot -i
      wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d pulse /f
      wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /t REG_SZ /d 0 /f
      # Let this (non-persistent) server exit by itself: that flushes the
      # registry to disk, which a killed server might not do.
      wineserver -w
    } >"$H/wine-init.log" 2>&1 </dev/null || die "Wine prefix creation failed; see $H/wine-init.log"
    grep -q '"Audio"="pulse"' "$WINEPREFIX/user.reg" || die "registry settings were not saved"
    touch "$WINEPREFIX/.harness-ready"
  fi
  set_fonts
  # A persistent server makes each later wine start take ~0.15 s.
  touch "$H/wineserver.started"
  wineserver -p >"$H/wineserver.log" 2>&1 </dev/null
  # Warm-up: starts Wine's background processes (services.exe, explorer.exe)
  # now, with their output in a file; started later from inside ctest they
  # would inherit its pipe and hang it.
  wine cmd /c exit 0 >"$H/wine-warmup.log" 2>&1 </dev/null || die "wine warm-up failed; see $H/wine-warmup.log"
  log "Wine prefix $WINEPREFIX ready"
}

cmd_start() {
  mkdir -p "$H"
  # Leftovers of an earlier start from this same dir (e.g. a killed run).
  cmd_stop quiet
  # From here on, a failure stops whatever this start already started.
  trap 'status=$?; if ((status != 0)); then cmd_stop; fi' EXIT
  start_xvfb
  start_pulse
  write_env
  start_wine
  trap - EXIT
  log "ready; source $H/env.sh"
}

# Stops what start recorded in $H, in reverse order; harmless when nothing
# runs. Needs no environment: the pids are in files and the prefix is fixed.
cmd_stop() {
  local f
  for f in "$H"/recorders/*.pid; do
    [[ -e $f ]] && stop_pid "$f" parec
  done
  if [[ -f $H/wineserver.started ]]; then
    # Kills the prefix's server and with it every Wine process of the prefix.
    WINEPREFIX=$H/wineprefix wineserver -k >/dev/null 2>&1 </dev/null || true
    rm -f "$H/wineserver.started"
    log "stopped wineserver of $H/wineprefix"
  fi
  stop_pid "$H/pulse.pid" pulseaudio
  stop_pid "$H/xvfb.pid" Xvfb
  [[ ${1:-} == quiet ]] || log "stopped"
  rm -f "$H/env.sh"
}

cmd_status() {
  load_env
  pid_alive "$H/xvfb.pid" Xvfb && echo "Xvfb:       $(<"$H/xvfb.pid") on $DISPLAY" || echo "Xvfb:       not running"
  pid_alive "$H/pulse.pid" pulseaudio && echo "PulseAudio: $(<"$H/pulse.pid")" || echo "PulseAudio: not running"
  pactl list short sinks 2>/dev/null || true
  pactl list short sources 2>/dev/null || true
}

cable_module_id() {
  pactl list short modules | awk -v s="sink_name=$CABLE_SINK" '$2 == "module-null-sink" && index($0, s) { print $1 }'
}

cmd_cable_off() {
  load_env
  local id
  id=$(cable_module_id)
  [[ -n $id ]] || { log "cable already absent"; return 0; }
  # The keep-alive loopback into the cable unloads itself with the sink.
  pactl unload-module "$id"
  log "cable sink unloaded"
}

cmd_cable_on() {
  load_env
  [[ -z $(cable_module_id) ]] || { log "cable already present"; return 0; }
  pactl load-module module-null-sink "${CABLE_SINK_ARGS[@]}" >/dev/null
  pactl load-module module-loopback "${CABLE_LOOPBACK_ARGS[@]}" >/dev/null
  log "cable sink loaded"
}

recorder_pidfile() {
  local key
  key=$(printf '%s' "$(realpath -m "$1")" | md5sum | cut -c1-16)
  echo "$H/recorders/$key.pid"
}

# Done waiting once the recorder has written something or has died.
# Done waiting once the file has data, or once the recorder's process is gone.
# (Not "no longer parec": right after the launch the pid may still be the
# forked shell that has not exec'd parec yet.)
recorder_started() { [[ -s $2 ]] || ! kill -0 "$(<"$1")" 2>/dev/null; }

cmd_record_start() {
  [[ $# -eq 1 ]] || die "usage: harness.sh record-start FILE"
  load_env
  local file pidfile
  file=$(realpath -m "$1")
  pidfile=$(recorder_pidfile "$file")
  mkdir -p "$H/recorders" "$(dirname "$file")"
  stop_pid "$pidfile" parec
  rm -f "$file"
  # Small fragments so that the file trails real time by ~10 ms.
  parec --device="$CABLE_SINK.monitor" --raw --format=s16le --rate=48000 --channels=2 \
    --latency-msec=10 "$file" >"$file.log" 2>&1 </dev/null &
  echo $! >"$pidfile"
  # The sink runs continuously, so a working recorder grows its file at once.
  wait_for 5 recorder_started "$pidfile" "$file" || true
  pid_alive "$pidfile" parec || die "parec exited: $(cat "$file.log")"
  [[ -s $file ]] || die "parec runs but records nothing from $CABLE_SINK.monitor"
  log "recording $CABLE_SINK.monitor to $file (pid $(<"$pidfile"))"
}

cmd_record_stop() {
  [[ $# -eq 1 ]] || die "usage: harness.sh record-stop FILE"
  H=$(cd "$H" 2>/dev/null && pwd || echo "$H")
  stop_pid "$(recorder_pidfile "$1")" parec
}

case ${1:-} in
  start) cmd_start ;;
  stop) cmd_stop ;;
  status) cmd_status ;;
  cable-off) cmd_cable_off ;;
  cable-on) cmd_cable_on ;;
  record-start) shift; cmd_record_start "$@" ;;
  record-stop) shift; cmd_record_stop "$@" ;;
  *) sed -n '2,16p' "$0" >&2; exit 2 ;;
esac
