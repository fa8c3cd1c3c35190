# The engine driver that the Wine audio scripts talk to (see its header).
add_executable(zalo_engine_probe ${CMAKE_CURRENT_SOURCE_DIR}/wine/engine_probe.cpp)
target_link_libraries(zalo_engine_probe PRIVATE zalo_engine zalo_wave)

add_test(NAME wine_engine_thread_failure
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/thread_failure_test.sh
          $<TARGET_FILE:zalo_engine_probe> $<TARGET_FILE:zalo-render> ${CMAKE_CROSSCOMPILING_EMULATOR})
set_tests_properties(wine_engine_thread_failure PROPERTIES
  TIMEOUT 60 LABELS wine_audio RUN_SERIAL TRUE)
