#!/usr/bin/env bash
# Builds and tests everything; exits non-zero if any step fails.
#   1. native g++ build with AddressSanitizer + UBSan, ctest      (build/asan)
#   2. native Release build and ctest; benchmark built, not run   (build/native)
#   3. native ThreadSanitizer build of the unit suites             (build/tsan)
#   4. Windows x64 cross build, ctest under Wine with the harness (build/win)
#   5. clang build of the fuzz target, 30 s of libFuzzer          (build/fuzz)
# Every step runs even if an earlier one failed, so one run shows all
# failures; the summary at the end lists each step. Runs unattended (CI=true,
# no stdin); the harness's daemons are stopped on exit, whatever happens.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
ROOT=$PWD
JOBS=(-j2)
FUZZ_SECONDS=${ZALO_FUZZ_SECONDS:-30}
export ZALO_HARNESS_DIR=$ROOT/build/harness
exec </dev/null
# CI may start us with a bare environment; Wine and PulseAudio clients want HOME.
: "${HOME:=$(getent passwd "$(id -u)" | cut -d: -f6)}"
export HOME

section() { printf '\n========== %s ==========\n' "$*"; }

stop_harness() { "$ROOT/scripts/harness.sh" stop >/dev/null 2>&1 || true; }
trap stop_harness EXIT
trap 'exit 130' INT TERM

# ctest totals over all runs, for the closing line. The steps run in
# subshells, so the totals are read back from their logs at the end.
count_ctest() {  # count_ctest LOG: adds "N% tests passed, F tests failed out of T"
  local line failed total
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n1 || true)
  [[ -n $line ]] || return 0
  failed=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
  total=$(sed -E 's/.*failed out of ([0-9]+).*/\1/' <<<"$line")
  TESTS_PASSED=$((TESTS_PASSED + total - failed))
  TESTS_FAILED=$((TESTS_FAILED + failed))
}

# Runs ctest with its output going to BUILD_DIR/ctest.log, streamed live by
# a tail that lives exactly as long as ctest (exec keeps the subshell's pid).
# Not a pipe on purpose: a Wine process started during a test inherits
# ctest's output, and on a pipe it would keep the reader (and CI) waiting.
# ctest stays in the foreground, so Ctrl-C reaches it.
run_ctest() {  # run_ctest BUILD_DIR [ctest args...]
  local dir=$1
  shift
  : >"$dir/ctest.log"
  local rc=0
  (
    ctest_pid=$BASHPID  # read here: inside the & below it would be tail's own pid
    tail -n +1 -f --pid="$ctest_pid" "$dir/ctest.log" &
    exec timeout --foreground --kill-after=30 2400 \
      ctest --test-dir "$dir" --output-on-failure "$@" >"$dir/ctest.log" 2>&1
  ) || rc=$?
  sleep 1  # let the tail print the last lines before anything else does
  return "$rc"
}

step_asan() {
  cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=g++ -DZALO_SANITIZE=address,undefined
  ninja -C build/asan "${JOBS[@]}"
  UBSAN_OPTIONS=print_stacktrace=1 run_ctest build/asan -j2
}

step_native() {
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_COMPILER=g++ -DZALO_BUILD_BENCH=ON
  ninja -C build/native "${JOBS[@]}"
  # The optimised build runs the suites too (the chain's vector loops only
  # exist at -O3), plus the benchmark's own checks; the benchmark itself is
  # not run here.
  run_ctest build/native -j2
}

step_tsan() {
  # The threaded parts under ThreadSanitizer: the unit suites, which include
  # a UI thread replacing the settings while blocks are processed.
  cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=g++ -DZALO_SANITIZE=thread
  ninja -C build/tsan "${JOBS[@]}" zalo_tests
  TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/zalo_tests --gtest_brief=1
}

step_windows() {
  cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake"
  ninja -C build/win "${JOBS[@]}"
  scripts/harness.sh start
  # shellcheck disable=SC1091
  source build/harness/env.sh
  pactl list short sinks
  # Serial: the audio tests share one sound server and measure real time.
  local rc=0
  run_ctest build/win || rc=$?
  scripts/harness.sh stop
  return "$rc"
}

step_fuzz() {
  if [[ ! -f tests/fuzz/CMakeLists.txt ]]; then
    echo "NOTE: tests/fuzz/CMakeLists.txt does not exist yet; fuzzing skipped"
    return 0
  fi
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZALO_BUILD_FUZZ=ON -DZALO_BUILD_TESTS=OFF
  if ! ninja -C build/fuzz -t targets all | grep -q '^zalo_fuzz_process_block:'; then
    echo "NOTE: no target zalo_fuzz_process_block in tests/fuzz yet; fuzzing skipped"
    return 0
  fi
  ninja -C build/fuzz "${JOBS[@]}" zalo_fuzz_process_block
  local fuzzer
  fuzzer=$(find build/fuzz -type f -name zalo_fuzz_process_block -perm -u+x | head -n1)
  [[ -n $fuzzer ]] || { echo "fuzzer binary not found under build/fuzz" >&2; return 1; }
  # New inputs go to the first corpus dir (kept in the build tree); a seed
  # corpus shipped with the sources, if any, is only read.
  local corpus=(build/fuzz/corpus)
  [[ -d tests/fuzz/corpus ]] && corpus+=(tests/fuzz/corpus)
  mkdir -p build/fuzz/corpus build/fuzz/artifacts
  # Long inputs from the start (-len_control=0): a hostile block is the
  # point, not a short one.
  "$fuzzer" -max_total_time="$FUZZ_SECONDS" -timeout=25 -print_final_stats=1 \
    -len_control=0 -max_len=4096 \
    -artifact_prefix=build/fuzz/artifacts/ "${corpus[@]}"
  echo "fuzzer ran ${FUZZ_SECONDS} s without a crash"
}

rm -f build/asan/ctest.log build/native/ctest.log build/win/ctest.log  # only this run's counts

section "Set-up (scripts/setup.sh)"
start=$SECONDS
scripts/setup.sh
echo "set-up took $((SECONDS - start)) s"

STEPS=(asan native tsan windows fuzz)
declare -A TITLE=(
  [asan]="Native build, AddressSanitizer + UBSan (build/asan)"
  [native]="Native Release build with benchmark (build/native)"
  [tsan]="Native build, ThreadSanitizer, unit suites (build/tsan)"
  [windows]="Windows x64 cross build, tests under Wine (build/win)"
  [fuzz]="Clang fuzz build, ${FUZZ_SECONDS} s of zalo_fuzz_process_block (build/fuzz)"
)
declare -A RESULT
failed=0
for s in "${STEPS[@]}"; do
  section "${TITLE[$s]}"
  start=$SECONDS
  set +e
  (set -e; "step_$s")
  rc=$?
  set -e
  if ((rc == 0)); then RESULT[$s]="ok"; else RESULT[$s]="FAILED (exit $rc)"; failed=1; fi
  RESULT[$s]+=" in $((SECONDS - start)) s"
  # A step that died of a signal (Ctrl-C, a kill) ends the run.
  if ((rc > 128)); then echo "step $s interrupted (exit $rc); stopping" >&2; exit "$rc"; fi
done

TESTS_PASSED=0
TESTS_FAILED=0
for log in build/asan/ctest.log build/native/ctest.log build/win/ctest.log; do
  [[ -f $log ]] && count_ctest "$log"
done

section "Summary"
for s in "${STEPS[@]}"; do printf '  %-8s %s\n' "$s" "${RESULT[$s]}"; done
echo "ctest: ${TESTS_PASSED} passed, ${TESTS_FAILED} failed"
exit "$failed"
