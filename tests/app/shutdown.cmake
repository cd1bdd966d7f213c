# Tests of the shut-down pieces.
tavrel_add_test(shutdown_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/ShutDownTest.cpp)
