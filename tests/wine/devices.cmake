# zalo-devices run under Wine against the test sound server; takes the cable
# sink away for a few seconds, so it shares the wine_audio label's serial run.
add_test(NAME zalo_devices
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine/devices_test.sh
          $<TARGET_FILE:zalo-devices> ${CMAKE_CROSSCOMPILING_EMULATOR})
set_tests_properties(zalo_devices PROPERTIES TIMEOUT 60 LABELS wine_audio)
