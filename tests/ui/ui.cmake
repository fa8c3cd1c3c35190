# The main window under Wine: ui_probe.exe lists and drives the controls of
# a running ZaloAudio.exe; ui_test.py runs one scenario per ctest entry
# against the harness (Xvfb, the test sound server, the Wine prefix).
add_executable(zalo_ui_probe ${CMAKE_CURRENT_LIST_DIR}/ui_probe.cpp)
target_link_libraries(zalo_ui_probe PRIVATE user32 comctl32 shell32)
if(MINGW)
  target_link_options(zalo_ui_probe PRIVATE -municode)
endif()

foreach(scenario layout settings commands sound_and_status screenshots gallery tray hotkeys devices second_launch
        imports)
  add_test(NAME ui_${scenario}
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/ui_test.py ${scenario}
            $<TARGET_FILE:ZaloAudio> $<TARGET_FILE:zalo_ui_probe> ${CMAKE_CURRENT_BINARY_DIR}/ui)
  set_tests_properties(ui_${scenario} PROPERTIES LABELS wine_ui RUN_SERIAL TRUE TIMEOUT 240)
endforeach()

# Gallery tiles painted in-process: GDI objects, selection, palette points.
add_executable(zalo_head_tiles_test ${CMAKE_CURRENT_LIST_DIR}/head_tiles_test.cpp)
target_link_libraries(zalo_head_tiles_test PRIVATE zalo_heads GTest::gtest_main)
add_test(NAME ui_head_tiles COMMAND zalo_head_tiles_test)
set_tests_properties(ui_head_tiles PROPERTIES LABELS wine_ui TIMEOUT 240)
