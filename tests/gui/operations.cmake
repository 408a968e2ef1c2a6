# Detach, shrink log and shrink data file from the main window, against the stand-in.
tallyport_add_test(NAME gui_operations
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_operations.cpp ${CMAKE_CURRENT_LIST_DIR}/operations_support.cpp
    LIBS tp_guitest LABELS gui TIMEOUT 300)
