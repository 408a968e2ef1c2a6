# The scan window opened from the main window's folder list, against the stand-in.
tallyport_add_test(NAME gui_scan
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scan_window.cpp ${CMAKE_CURRENT_LIST_DIR}/operations_support.cpp
    LIBS tp_guitest LABELS gui db TIMEOUT 300)
