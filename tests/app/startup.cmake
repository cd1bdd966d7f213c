# Tests of the start-up pieces.
tavrel_add_test(command_line_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/CommandLineTest.cpp)
tavrel_add_test(ini_settings_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/IniSettingsTest.cpp)

add_executable(single_instance_probe ${CMAKE_CURRENT_LIST_DIR}/single_instance_probe.cpp)
target_link_libraries(single_instance_probe PRIVATE tavrel_core)
tavrel_add_test(single_instance_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/SingleInstanceTest.cpp)
target_compile_definitions(single_instance_test PRIVATE SINGLE_INSTANCE_PROBE="$<TARGET_FILE:single_instance_probe>")
add_dependencies(single_instance_test single_instance_probe)
tavrel_add_test(termination_signals_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/TerminationSignalsTest.cpp)
