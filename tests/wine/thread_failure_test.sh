#!/usr/bin/env bash
# The engine on a system that refuses new threads.
#
#   thread_failure_test.sh PROBE.exe RENDER.exe [EMULATOR...]
#
# The probe's "threads off" makes every std::thread constructor of its next
# start-report throw std::system_error, as on a starved system (and checks
# that a plain thread really fails then). Starting the engine must neither
# crash nor let the exception out: the engine comes out stopped, which the
# main window shows as a disconnected microphone. Once threads work again,
# the next start captures and feeds the cable as usual.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
zw_init "$@"

probe_start
probe 5 threads off
probe 20 start-report "$ZW_MIC48"
echo "without threads: $REPLY_LINE"
[[ $(reply_field threads_work) == 0 ]] || fail "threads were not refused: $REPLY_LINE"
[[ $(reply_field escaped_exception) == 0 ]] || fail "the thread error escaped start: $REPLY_LINE"
[[ $(reply_field started) == 0 && $(reply_field running) == 0 ]] \
  || fail "the engine claims to run without threads: $REPLY_LINE"
status_is connected 0 || fail "connected without a cable thread: $REPLY_LINE"

probe 5 threads on
probe 20 start-report "$ZW_MIC48"
[[ $(reply_field started) == 1 ]] || fail "no start once threads work again: $REPLY_LINE"
wait_until 3 status_is connected 1 || fail "the cable did not connect after recovery: $REPLY_LINE"
status_is capture_threads 1 || fail "want one capture thread: $REPLY_LINE"
probe_quit
zw_finish
