# The engine's Wine audio tests: bash scripts that drive zalo_engine_probe
# (probe.cmake) against the harness's sound server and judge what reached the
# sinks with tests/wine/audio_checks.py. They share one sound server and
# measure real time, so they run one at a time. By hand, with the harness up:
#   source build/harness/env.sh
#   ctest --test-dir build/win -R wine_engine_ --output-on-failure
# or one script directly (its work files land in the current directory):
#   bash tests/wine/speech_test.sh build/win/tests/zalo_engine_probe.exe \
#        build/win/tools/zalo-render.exe wine
set(ZALO_ENGINE_WINE_TESTS
  speech     150  # live speech against zalo-render, filter off and a pitched voice
  dropouts   300  # 62 s of tones without a gap (up to three tries)
  latency    60   # microphone to cable, printed
  cable      60   # cable sink absent at start, removed and returning
  stress     200  # 200 microphone switches
  mic44k     60   # a 44.1 kHz microphone
  monitor    60   # the live monitor at half volume, then stopped
  voicetest  60   # the five-second voice test
)
list(LENGTH ZALO_ENGINE_WINE_TESTS _zalo_n)
math(EXPR _zalo_last "${_zalo_n} - 1")
foreach(_zalo_i RANGE 0 ${_zalo_last} 2)
  math(EXPR _zalo_j "${_zalo_i} + 1")
  list(GET ZALO_ENGINE_WINE_TESTS ${_zalo_i} _zalo_name)
  list(GET ZALO_ENGINE_WINE_TESTS ${_zalo_j} _zalo_timeout)
  add_test(NAME wine_engine_${_zalo_name}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${_zalo_name}_test.sh
            $<TARGET_FILE:zalo_engine_probe> $<TARGET_FILE:zalo-render>
            ${CMAKE_CROSSCOMPILING_EMULATOR})
  set_tests_properties(wine_engine_${_zalo_name} PROPERTIES
    TIMEOUT ${_zalo_timeout} LABELS wine_audio RUN_SERIAL TRUE)
endforeach()
