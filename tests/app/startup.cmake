# Tests of the start-up pieces.
tavrel_add_test(command_line_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/CommandLineTest.cpp)
tavrel_add_test(ini_settings_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/IniSettingsTest.cpp)
