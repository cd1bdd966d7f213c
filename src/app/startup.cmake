# Start-up pieces: command line, stored settings and window placement, single instance,
# termination signals. All widget-free.
target_sources(tavrel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp ${CMAKE_CURRENT_LIST_DIR}/CommandLine.h
    ${CMAKE_CURRENT_LIST_DIR}/IniSettings.cpp ${CMAKE_CURRENT_LIST_DIR}/IniSettings.h
    ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.h
    ${CMAKE_CURRENT_LIST_DIR}/TerminationSignals.cpp ${CMAKE_CURRENT_LIST_DIR}/TerminationSignals.h
    ${CMAKE_CURRENT_LIST_DIR}/Twips.cpp ${CMAKE_CURRENT_LIST_DIR}/Twips.h
)
