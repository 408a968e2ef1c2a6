# Main window: the lists feeding the data root, the number boxes, select-on-focus, the exit
# paths, the file window button; the path display, the data file test, the grid refresh.
tallyport_add_test(NAME mainwin_inputs_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainwin_inputs_test.cpp ${CMAKE_CURRENT_LIST_DIR}/mainwin_support.h
    LIBS tp_guitest
    LABELS gui)

tallyport_add_test(NAME mainwin_paths_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainwin_paths_test.cpp ${CMAKE_CURRENT_LIST_DIR}/mainwin_support.h
    LIBS tp_guitest
    LABELS gui)
