# Shut-down: the stored choices (widget-free), the dialog and the close request.
target_sources(tavrel_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ShutDownChoices.cpp ${CMAKE_CURRENT_LIST_DIR}/ShutDownChoices.h
    ${CMAKE_CURRENT_LIST_DIR}/ShutDownHost.h
)
target_sources(tavrel_gui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Form_ShutDown.cpp ${CMAKE_CURRENT_LIST_DIR}/Form_ShutDown.h
    ${CMAKE_CURRENT_LIST_DIR}/ShutDownSequence.cpp ${CMAKE_CURRENT_LIST_DIR}/ShutDownSequence.h
)
